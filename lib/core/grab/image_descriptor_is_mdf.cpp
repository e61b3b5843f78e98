// The check of an image data file: a raw image begins with a data sector's sync pattern, or,
// when it begins with an audio track, with a sector whose subchannel carries a valid Q frame.
#include <cctype>
#include <cstring>
#include <string>

#include "lib/core/debug_trace.h"
#include "lib/core/grab/image_descriptor.h"
#include "lib/core/sector/sector_helpers.h"
#include "platform/fs/fs.h"

namespace {

constexpr const char* kMethod = "HalvorinI_IsMDF";
constexpr std::size_t kRaw = 2352;

bool IsBcd(std::uint8_t p__UCHAR__Value) {
  return (p__UCHAR__Value >> 4) <= 9 && (p__UCHAR__Value & 0x0F) <= 9;
}

// The Q frame of 96 raw P-W bytes (bit 6 of each), its CRC right and its fields a position.
bool HasValidQ(const std::uint8_t* p__PUCHAR__RawPW) {
  std::uint8_t q[12] = {};
  for (int i = 0; i < 96; ++i)
    if (p__PUCHAR__RawPW[i] & 0x40) q[i / 8] = static_cast<std::uint8_t>(q[i / 8] | 0x80 >> i % 8);
  std::uint8_t check[12];
  std::memcpy(check, q, sizeof check);
  CalculateSubQCRC(check);
  if (check[10] != q[10] || check[11] != q[11]) return false;
  if ((q[0] & 0x0F) != 1 || (q[0] & 0x40)) return false;  // a position frame of an audio track
  for (int i = 1; i < 10; ++i)
    if (!IsBcd(q[i])) return false;
  return q[1] != 0;
}

}  // namespace

bool HalvorinI_IsMDF(const char* p__PCHAR__FileName, std::int32_t* p__PLONG__Mode) {
  if (!p__PCHAR__FileName) return false;
  // The upper-cased copy serves the extension test only; the file opens by the name given.
  std::string upper(p__PCHAR__FileName);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper.find(".MDF") == std::string::npos && upper.find(".QVF") == std::string::npos) {
    DebugTrace("\n%s(): File name extension is NOT correct!!!\n", kMethod);
    return false;
  }
  std::uint8_t sector[kHalvorinImageSectorSize] = {};
  std::size_t got = 0;
  try {
    platform::fs::File file(p__PCHAR__FileName, platform::fs::OpenMode::Read);
    while (got < sizeof sector) {
      const std::size_t n = file.Read(sector + got, sizeof sector - got);
      if (n == 0) break;
      got += n;
    }
  } catch (const platform::fs::FsError&) {
    return false;
  }
  if (got < kRaw) return false;
  static const std::uint8_t kSync[12] = {0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                         0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
  std::int32_t mode = -1;
  if (std::memcmp(sector, kSync, sizeof kSync) == 0)
    mode = sector[15] & 0x03;
  else if (got == sizeof sector && HasValidQ(sector + kRaw))
    mode = 0;
  const bool is = mode >= 0;
  if (is && p__PLONG__Mode) *p__PLONG__Mode = mode;
  DebugTrace("\n%s(): IsMDF of '%s' is %ld, MODE %ld\n", kMethod, p__PCHAR__FileName,
             static_cast<long>(is), static_cast<long>(is ? mode : 0));
  return is;
}
