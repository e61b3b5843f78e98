#include "lib/mastering/raw/iso9660_file_tree_mode2.h"

#include <algorithm>
#include <cstring>

#include "lib/mastering/raw/raw_sector_expansion.h"

namespace {

constexpr std::uint64_t kWorkSize = 61440;
constexpr std::uint64_t kBlock = 2048;

}  // namespace

CHalvorin_ISO9660FileTreeMode2::CHalvorin_ISO9660FileTreeMode2(
    CHalvorin_FileChain* p__PCHalvorin_FileChain__Source)
    : CHalvorin_ISO9660FileTree(nullptr, nullptr, false, false, false) {
  ShareChainOf(p__PCHalvorin_FileChain__Source);
}

void CHalvorin_ISO9660FileTreeMode2::Read(std::uint64_t p__ULONGLONG__Count,
                                          std::uint8_t* p__PUCHAR__Buffer) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Chain);
  // A count larger than the work buffer is served in chunks of 30 blocks.
  std::uint64_t units = p__ULONGLONG__Count / kHalvorinMode2UnitSize;
  std::uint8_t work[kWorkSize];
  while (units > 0) {
    const std::uint64_t n = std::min(units, kWorkSize / kBlock);
    std::memset(work, 0, n * kBlock);
    CHalvorin_FileChain::Read(n * kBlock, work);
    CookedToMode2Form1(work, p__PUCHAR__Buffer, static_cast<std::uint32_t>(n));
    p__PUCHAR__Buffer += n * kHalvorinMode2UnitSize;
    units -= n;
  }
}

std::uint64_t CHalvorin_ISO9660FileTreeMode2::GetSizeInUCHARs() {
  return CHalvorin_FileChain::GetSizeInUCHARs() / kBlock * kHalvorinMode2UnitSize;
}
