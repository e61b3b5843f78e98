#include "lib/mastering/udf/udf_system_structures_file.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "lib/mastering/udf/udf_descriptors.h"
#include "lib/mastering/udf/udf_entries.h"

namespace {

constexpr std::uint32_t kBlock = kHalvorinUdfBlock;

}  // namespace

CHalvorin_UdfSystemStructuresFile::CHalvorin_UdfSystemStructuresFile(
    std::vector<Slot> p__VECTOR__Slots)
    : m__VECTOR__Slots(std::move(p__VECTOR__Slots)) {
  m__ULONGLONG__SizeInUCHARs = std::uint64_t(m__VECTOR__Slots.size()) * kBlock;
}

void CHalvorin_UdfSystemStructuresFile::FormatBlock(const Slot& s, std::uint8_t* block) const {
  const HALVORIN_UDF_TREE_ITEM* item = s.item;
  switch (s.kind) {
    case Kind::FileEntry:
      HalvorinI_UdfFormatFileEntry(item, s.value, block);
      break;
    case Kind::Identifier:
      HalvorinI_UdfFormatIdentifier(block, item->m__ULONG__IdentifierLocation,
                                    item->m__BOOLEAN__IsDirectory ? 0x02 : 0x00,
                                    item->m__ULONG__FileEntryLocation, HalvorinI_UdfNameOf(item));
      break;
    case Kind::ParentIdentifier:
      HalvorinI_UdfFormatIdentifier(block, item->m__ULONG__ContentLocation, 0x0A, s.value, "");
      break;
  }
}

void CHalvorin_UdfSystemStructuresFile::RealRead(std::uint64_t p__ULONGLONG__Count,
                                                 std::uint8_t* p__PUCHAR__Buffer) {
  std::uint64_t at = m__ULONGLONG__PositionInUCHARs;
  std::uint8_t scratch[kBlock];
  while (p__ULONGLONG__Count > 0) {
    const Slot& slot = m__VECTOR__Slots[at / kBlock];
    const std::uint64_t offset = at % kBlock;
    const std::uint64_t n = std::min<std::uint64_t>(p__ULONGLONG__Count, kBlock - offset);
    if (n == kBlock) {
      FormatBlock(slot, p__PUCHAR__Buffer);
    } else {  // a read that starts or ends inside the block
      FormatBlock(slot, scratch);
      std::memcpy(p__PUCHAR__Buffer, scratch + offset, n);
    }
    p__PUCHAR__Buffer += n;
    at += n;
    p__ULONGLONG__Count -= n;
  }
}
