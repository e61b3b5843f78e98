#include "lib/mastering/videocd/mpeg_program_stream.h"

#include <algorithm>

#include "lib/mastering/tree/file_chain.h"
#include "lib/mastering/tree/file_objects.h"

namespace {

constexpr std::size_t kMPEG1PackHeader = 12;
constexpr std::size_t kMPEG2PackHeader = 14;
constexpr std::uint8_t kSystemHeader = 0xBB;

bool IsStartCode(const std::uint8_t* p, std::size_t at, std::size_t size) {
  return at + 4 <= size && p[at] == 0 && p[at + 1] == 0 && p[at + 2] == 1;
}

// The end of a pack header at the start of the bytes, and its kind; 0 when there is none.
std::size_t PackHeaderEnd(const std::uint8_t* p, std::size_t size, int* kind) {
  if (!IsStartCode(p, 0, size) || p[3] != 0xBA || size < kMPEG1PackHeader) return 0;
  // '0010', then the system clock in three parts, each closed by a marker bit; then the
  // marker-framed multiplex rate.
  if ((p[4] & 0xF1) == 0x21) {
    if (!(p[6] & 1) || !(p[8] & 1) || !(p[9] & 0x80) || !(p[11] & 1)) return 0;
    *kind = kHalvorinMPEG1Stream;
    return kMPEG1PackHeader;
  }
  // '01', the clock with its markers and extension, the rate, two markers and the stuffing.
  if ((p[4] & 0xC4) != 0x44 || size < kMPEG2PackHeader) return 0;
  if (!(p[6] & 4) || !(p[8] & 4) || !(p[9] & 1) || (p[12] & 3) != 3) return 0;
  const std::size_t end = kMPEG2PackHeader + (p[13] & 7);
  if (end > size) return 0;
  for (std::size_t i = kMPEG2PackHeader; i < end; ++i)
    if (p[i] != 0xFF) return 0;
  *kind = kHalvorinMPEG2Stream;
  return end;
}

}  // namespace

int HalvorinI_MPEGPackHeaderKind(const std::uint8_t* p__PUCHAR__Bytes, std::size_t p__ULONG__Size) {
  if (!p__PUCHAR__Bytes) return kHalvorinNoMPEGStream;
  int kind = kHalvorinNoMPEGStream;
  const std::size_t end = PackHeaderEnd(p__PUCHAR__Bytes, p__ULONG__Size, &kind);
  // A pack goes on with the system header or the first packet of a stream.
  if (!end || !IsStartCode(p__PUCHAR__Bytes, end, p__ULONG__Size) ||
      p__PUCHAR__Bytes[end + 3] < kSystemHeader)
    return kHalvorinNoMPEGStream;
  return kind;
}

int HalvorinI_MPEGFileKind(const char* p__PCHAR__Path) {
  CHalvorin_DiskFile file(p__PCHAR__Path);
  std::uint8_t bytes[kHalvorinMPEGProbeSize] = {};
  const std::size_t size = static_cast<std::size_t>(
      std::min<std::uint64_t>(kHalvorinMPEGProbeSize, file.GetSizeInUCHARs()));
  if (size) {
    CHalvorin_FileChain chain;
    chain.AddChainTail(&file);
    chain.SeekToBegin();
    chain.Read(size, bytes);
  }
  return HalvorinI_MPEGPackHeaderKind(bytes, size);
}
