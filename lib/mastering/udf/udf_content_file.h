// The content of a UDF tree item on disk, opened from the item's path only while it is read:
// a tree of 100,000 files holds one descriptor at a time, and the item keeps all it needs.
#pragma once

#include <cstdint>

#include "halvorin.h"
#include "lib/mastering/tree/file_objects.h"

class CHalvorin_UdfContentFile : public CHalvorin_DiskFile {
 public:
  // Reads the item's m__ULONGLONG__Size bytes, then zeros to its whole blocks. Nothing is
  // opened here: the format function has checked that the file opens.
  explicit CHalvorin_UdfContentFile(const HALVORIN_UDF_TREE_ITEM* p__PItem);

  CHalvorin_File* SeekToBeginUnsafe(std::int32_t* p__PLONG__Budget) override;

 protected:
  void RealRead(std::uint64_t p__ULONGLONG__Count, std::uint8_t* p__PUCHAR__Buffer) override;

 private:
  const HALVORIN_UDF_TREE_ITEM* m__PItem;
};
