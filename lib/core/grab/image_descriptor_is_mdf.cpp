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

// The Q frame of 96 raw P-W bytes is a position frame of an audio track.
bool HasAudioQ(const std::uint8_t* p__PUCHAR__RawPW) {
  std::uint8_t q[12];
  HalvorinI_UnpackSubQ(p__PUCHAR__RawPW, q);
  HalvorinI_SubQPosition position;
  return HalvorinI_ReadSubQPosition(q, &position) && !(position.m__UCHAR__Control & 0x04);
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
    got = file.Read(sector, sizeof sector);  // reads on to the count or the end
  } catch (const platform::fs::FsError&) {
    return false;
  }
  if (got < kRaw) return false;
  std::int32_t mode = -1;
  if (HalvorinI_HasSectorSync(sector))
    mode = sector[15] & 0x03;
  else if (got == sizeof sector && HasAudioQ(sector + kRaw))
    mode = 0;
  const bool is = mode >= 0;
  if (is && p__PLONG__Mode) *p__PLONG__Mode = mode;
  DebugTrace("\n%s(): IsMDF of '%s' is %ld, MODE %ld\n", kMethod, p__PCHAR__FileName,
             static_cast<long>(is), static_cast<long>(is ? mode : 0));
  return is;
}
