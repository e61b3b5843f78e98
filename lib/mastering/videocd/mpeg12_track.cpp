#include "lib/mastering/videocd/mpeg12_track.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "lib/core/halvorin_exception.h"
#include "lib/mastering/raw/raw_sector_expansion.h"

namespace {

constexpr const char* kMethod = "CHalvorin_MPEG12Track::CHalvorin_MPEG12Track";
constexpr std::uint64_t kUnit = CHalvorin_MPEG12DiskFile::kUnit;
constexpr std::uint64_t kPadding = kHalvorinMPEG12PaddingUnits * kUnit;  // 69,960 bytes
constexpr std::uint64_t kWorkSize = 61440;

template <class T, class... A>
std::unique_ptr<T> Make(const char* p__PCHAR__Member, A&&... p__Arguments) {
  std::unique_ptr<T> made(new (std::nothrow) T(std::forward<A>(p__Arguments)...));
  if (!made)
    HalvorinI_ThrowException(kHalvorinStatusOutOfMemory, 0, "%s(): %s == NULL!!!", kMethod,
                             p__PCHAR__Member);
  return made;
}

}  // namespace

CHalvorin_MPEG12Track::CHalvorin_MPEG12Track(const char* p__PCHAR__MPEGPath)
    : CHalvorin_ISO9660FileTree(nullptr, nullptr, false, false, false) {
  // Members made so far are freed by their owners when a later one fails.
  m__PCHalvorin_MPEG12DiskFile =
      Make<CHalvorin_MPEG12DiskFile>("m__PCHalvorin_MPEG12DiskFile", p__PCHAR__MPEGPath);
  m__PCHalvorin_MPEG12ZeroFile__FrontSide =
      Make<CHalvorin_MPEG12ZeroFile>("m__PCHalvorin_MPEG12ZeroFile__FrontSide", kPadding);
  m__PCHalvorin_MPEG12ZeroFile__BackSide =
      Make<CHalvorin_MPEG12ZeroFile>("m__PCHalvorin_MPEG12ZeroFile__BackSide", kPadding);
  AddChainTail(m__PCHalvorin_MPEG12ZeroFile__FrontSide.get());
  AddChainTail(m__PCHalvorin_MPEG12DiskFile.get());
  AddChainTail(m__PCHalvorin_MPEG12ZeroFile__BackSide.get());
  SeekToBegin();
}

CHalvorin_MPEG12Track::~CHalvorin_MPEG12Track() = default;

void CHalvorin_MPEG12TrackMode2::Read(std::uint64_t p__ULONGLONG__Count,
                                      std::uint8_t* p__PUCHAR__Buffer) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Chain);
  std::uint64_t units = p__ULONGLONG__Count / kHalvorinMode2UnitSize;
  std::uint8_t work[kWorkSize];
  while (units > 0) {
    const std::uint64_t n = std::min(units, kWorkSize / kUnit);
    std::memset(work, 0, n * kUnit);
    CHalvorin_FileChain::Read(n * kUnit, work);
    Mode2Form2UnitsTo2336(work, p__PUCHAR__Buffer, static_cast<std::uint32_t>(n));
    p__PUCHAR__Buffer += n * kHalvorinMode2UnitSize;
    units -= n;
  }
}

std::uint64_t CHalvorin_MPEG12TrackMode2::GetSizeInUCHARs() {
  return CHalvorin_FileChain::GetSizeInUCHARs() / kUnit * kHalvorinMode2UnitSize;
}
