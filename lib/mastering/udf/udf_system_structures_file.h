// The system structures of a UDF image, from the root's file entry to the last descriptor
// block: every block is a file entry or a file identifier descriptor of a laid-out item,
// formatted from the item when it is read. The image thus holds no copy of them.
#pragma once

#include <cstdint>
#include <vector>

#include "halvorin.h"
#include "lib/mastering/tree/file_objects.h"

class CHalvorin_UdfSystemStructuresFile : public CHalvorin_File {
 public:
  enum class Kind : std::uint8_t {
    FileEntry,         // the item's file entry; value: its unique identifier
    Identifier,        // the item's identifier descriptor in its folder
    ParentIdentifier,  // a folder's descriptor of its parent; value: the parent's file entry
  };
  struct Slot {
    const HALVORIN_UDF_TREE_ITEM* item;
    std::uint32_t value;
    Kind kind;
  };

  // One slot per block, in block order.
  explicit CHalvorin_UdfSystemStructuresFile(std::vector<Slot> p__VECTOR__Slots);

 protected:
  void RealRead(std::uint64_t p__ULONGLONG__Count, std::uint8_t* p__PUCHAR__Buffer) override;
  std::uint64_t CoveredByRealRead(std::uint64_t p__ULONGLONG__Count) const override {
    return p__ULONGLONG__Count;
  }

 private:
  void FormatBlock(const Slot& p__Slot, std::uint8_t* p__PUCHAR__Block) const;

  std::vector<Slot> m__VECTOR__Slots;
};
