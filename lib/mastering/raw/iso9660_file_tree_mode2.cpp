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
  // The view starts where the source stands.
  for (const CHalvorin_File* file = m__PCHalvorin_File__Head; file; file = file->GetNext()) {
    if (file == m__PCHalvorin_File__LastTouched) {
      m__ULONGLONG__SourcePosition += file->GetPositionInUCHARs();
      break;
    }
    m__ULONGLONG__SourcePosition += file->GetSizeInUCHARs();
  }
}

void CHalvorin_ISO9660FileTreeMode2::Read(std::uint64_t p__ULONGLONG__Count,
                                          std::uint8_t* p__PUCHAR__Buffer) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Chain);
  const std::uint64_t size = CHalvorin_FileChain::GetSizeInUCHARs();
  // A count larger than the work buffer is served in chunks of 30 blocks.
  std::uint64_t units = p__ULONGLONG__Count / kHalvorinMode2UnitSize;
  std::uint8_t work[kWorkSize];
  while (units > 0) {
    const std::uint64_t n = std::min(units, kWorkSize / kBlock);
    const std::uint64_t bytes = n * kBlock;
    const std::uint64_t left =
        size > m__ULONGLONG__SourcePosition ? size - m__ULONGLONG__SourcePosition : 0;
    // Short only by the padding of the last block: the zeros of the work buffer fill it. A
    // read past that asks the chain for all of it, which refuses it.
    const std::uint64_t take = left < bytes && bytes - left < kBlock ? left : bytes;
    std::memset(work, 0, bytes);
    if (take) CHalvorin_FileChain::Read(take, work);
    m__ULONGLONG__SourcePosition += bytes;
    CookedToMode2Form1(work, p__PUCHAR__Buffer, static_cast<std::uint32_t>(n));
    p__PUCHAR__Buffer += n * kHalvorinMode2UnitSize;
    units -= n;
  }
}

std::uint64_t CHalvorin_ISO9660FileTreeMode2::GetSizeInUCHARs() {
  return (CHalvorin_FileChain::GetSizeInUCHARs() + kBlock - 1) / kBlock * kHalvorinMode2UnitSize;
}

void CHalvorin_ISO9660FileTreeMode2::ChainRewound() {
  m__ULONGLONG__SourcePosition = 0;
}
