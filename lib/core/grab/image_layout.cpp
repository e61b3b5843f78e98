// The reader of a raw image's own Q. Its input is untrusted: every field is checked before it
// counts, and what does not fit a layout (a bad CRC, a track number out of order) only leaves
// its sector to the track before it.
#include "lib/core/grab/image_layout.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "lib/core/debug_trace.h"
#include "lib/core/grab/image_descriptor.h"
#include "lib/core/halvorin_exception.h"
#include "lib/core/sector/sector_helpers.h"
#include "platform/fs/fs.h"

namespace {

constexpr const char* kMethod = "HalvorinI_ReadImageLayout";
constexpr std::size_t kRaw = 2352;
constexpr std::size_t kChunk = 256;  // sectors a read

int FromBcd(std::uint8_t p__UCHAR__Value) {
  if ((p__UCHAR__Value >> 4) > 9 || (p__UCHAR__Value & 0x0F) > 9) return -1;
  return (p__UCHAR__Value >> 4) * 10 + (p__UCHAR__Value & 0x0F);
}

struct Position {
  int track, index;
  std::uint8_t control;
  std::int32_t lba;
};

// The position a sector's Q gives, when it is a sound position frame of a track.
bool PositionOf(const std::uint8_t* p__PUCHAR__Sector, Position* p__PPosition) {
  std::uint8_t q[12] = {};
  for (int i = 0; i < 96; ++i)
    if (p__PUCHAR__Sector[kRaw + i] & 0x40)
      q[i / 8] = static_cast<std::uint8_t>(q[i / 8] | 0x80 >> i % 8);
  std::uint8_t check[12];
  std::memcpy(check, q, sizeof check);
  CalculateSubQCRC(check);
  if (check[10] != q[10] || check[11] != q[11] || (q[0] & 0x0F) != 1) return false;
  const int track = FromBcd(q[1]), index = FromBcd(q[2]);
  const int minute = FromBcd(q[7]), second = FromBcd(q[8]), frame = FromBcd(q[9]);
  if (track < 1 || index < 0 || minute < 0 || second < 0 || second > 59 || frame < 0 || frame > 74)
    return false;
  *p__PPosition = {track, index, static_cast<std::uint8_t>(q[0] >> 4),
                   (minute * 60 + second) * 75 + frame - 150};
  return true;
}

std::uint8_t DataModeOf(const std::uint8_t* p__PUCHAR__Sector) {
  static const std::uint8_t kSync[12] = {0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                         0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
  if (std::memcmp(p__PUCHAR__Sector, kSync, sizeof kSync) != 0) return 0;
  return p__PUCHAR__Sector[15] & 0x03;
}

}  // namespace

HalvorinI_ImageLayout HalvorinI_ReadImageLayout(const char* p__PCHAR__FileName) {
  HalvorinI_ImageLayout layout;
  std::vector<HalvorinI_ImageTrack>& tracks = layout.m__VECTOR__Tracks;
  bool isFirst = true;
  try {
    platform::fs::File file(p__PCHAR__FileName, platform::fs::OpenMode::Read);
    std::vector<std::uint8_t> buffer(kChunk * kHalvorinImageSectorSize);
    for (std::int64_t sector = 0;;) {
      std::size_t got = 0;
      while (got < buffer.size()) {
        const std::size_t n = file.Read(buffer.data() + got, buffer.size() - got);
        if (n == 0) break;
        got += n;
      }
      const std::size_t whole = got / kHalvorinImageSectorSize;
      for (std::size_t i = 0; i < whole; ++i, ++sector) {
        const std::uint8_t* s = buffer.data() + i * kHalvorinImageSectorSize;
        Position p;
        if (!PositionOf(s, &p)) continue;
        if (isFirst) {
          layout.m__LONG__FirstLBA = static_cast<std::int32_t>(p.lba - sector);
          isFirst = false;
        } else if (p.lba - sector != layout.m__LONG__FirstLBA) {
          layout.m__BOOLEAN__IsContiguous = false;
        }
        if (tracks.empty() || p.track > tracks.back().m__LONG__Number) {
          // A track that never reached INDEX 1 was none: its sectors stay with the one before.
          if (!tracks.empty() && tracks.back().m__LONGLONG__Index1 < 0) tracks.pop_back();
          if (tracks.empty() || p.track > tracks.back().m__LONG__Number)
            tracks.push_back({p.track, p.control, 0, sector, -1});
        }
        HalvorinI_ImageTrack& t = tracks.back();
        if (p.track != t.m__LONG__Number) continue;
        if (p.index >= 1 && t.m__LONGLONG__Index1 < 0) {
          t.m__LONGLONG__Index1 = sector;
          t.m__UCHAR__Control = p.control;
          t.m__UCHAR__DataMode = DataModeOf(s);
        }
      }
      if (got < buffer.size()) break;
    }
    layout.m__LONGLONG__Sectors = static_cast<std::int64_t>(file.Size() / kHalvorinImageSectorSize);
  } catch (const platform::fs::FsError& e) {
    const std::uint32_t error = e.error() ? static_cast<std::uint32_t>(e.error()) : EIO;
    HalvorinI_ThrowException(kHalvorinStatusSystemCall, error,
                             "%s(): Reading '%s' failed, status %ld!!!", kMethod,
                             p__PCHAR__FileName, static_cast<long>(error));
  }
  if (!tracks.empty() && tracks.back().m__LONGLONG__Index1 < 0) tracks.pop_back();
  // Whatever comes before the first track's first frame is the first track's.
  if (!tracks.empty()) tracks.front().m__LONGLONG__Pause = 0;
  DebugTrace("\n%s(): '%s' holds %ld tracks in %lld sectors, first LBA %ld, %s\n", kMethod,
             p__PCHAR__FileName, static_cast<long>(tracks.size()),
             static_cast<long long>(layout.m__LONGLONG__Sectors),
             static_cast<long>(layout.m__LONG__FirstLBA),
             layout.m__BOOLEAN__IsContiguous ? "contiguous" : "NOT contiguous");
  return layout;
}

bool HalvorinI_IsModeTwoLayout(const HalvorinI_ImageLayout& p__Layout) {
  for (const HalvorinI_ImageTrack& t : p__Layout.m__VECTOR__Tracks)
    if (t.m__UCHAR__Control & 0x04) return t.m__UCHAR__DataMode == 2;
  return false;
}

bool HalvorinI_ApplyImagePauses(const HalvorinI_ImageLayout& p__Layout,
                                SAO_TRACK_ARRAY* p__PSAO_TRACK_ARRAY__Tracks) {
  SAO_TRACK_ARRAY& list = *p__PSAO_TRACK_ARRAY__Tracks;
  const std::int32_t n = list.m__LONG__NumberOfRawTracks;
  if (n < 1 || n > 100) return false;
  // The descriptor's tracks as the grab read them: each up to the next one's INDEX 1.
  std::vector<std::int64_t> start(static_cast<std::size_t>(n) + 1, 0);
  for (std::int32_t i = 0; i < n; ++i)
    start[static_cast<std::size_t>(i) + 1] = start[static_cast<std::size_t>(i)] +
                                             list.m__LONG__RawTrackSizeInLBs[i] +
                                             (i + 1 < n ? 150 : 0);
  const std::vector<HalvorinI_ImageTrack>& tracks = p__Layout.m__VECTOR__Tracks;
  bool isSame = static_cast<std::int32_t>(tracks.size()) == n;
  for (std::int32_t i = 1; isSame && i < n; ++i) {
    const HalvorinI_ImageTrack& t = tracks[static_cast<std::size_t>(i)];
    isSame = t.m__LONGLONG__Index1 == start[static_cast<std::size_t>(i)] &&
             t.m__LONGLONG__Pause > tracks[static_cast<std::size_t>(i) - 1].m__LONGLONG__Index1;
  }
  for (std::int32_t i = 0; i < n; ++i) {
    const std::int64_t pause = isSame && i > 0
                                   ? tracks[static_cast<std::size_t>(i)].m__LONGLONG__Index1 -
                                         tracks[static_cast<std::size_t>(i)].m__LONGLONG__Pause
                                   : 0;
    if (i > 0) {
      list.m__SAO_TRACK_ENTRY__Tracks[i].m__LONG__PreGapInLBs =
          static_cast<std::int32_t>(pause) - 150;
      list.m__LONG__RawTrackSizeInLBs[i - 1] = static_cast<std::int32_t>(
          start[static_cast<std::size_t>(i)] - start[static_cast<std::size_t>(i) - 1] - pause);
    }
    if (isSame)
      list.m__SAO_TRACK_ENTRY__Tracks[i].m__BOOLEAN__IsAudio =
          (tracks[static_cast<std::size_t>(i)].m__UCHAR__Control & 0x04) == 0;
  }
  list.m__LONG__RawTrackSizeInLBs[n - 1] = static_cast<std::int32_t>(
      start[static_cast<std::size_t>(n)] - start[static_cast<std::size_t>(n) - 1]);
  DebugTrace("\nHalvorinI_ApplyImagePauses(): %ld tracks, pauses %s\n", static_cast<long>(n),
             isSame ? "from the image's Q" : "none: the image's Q is not the descriptor's");
  return isSame;
}

void HalvorinI_ImageTrackArray(const HalvorinI_ImageLayout& p__Layout, const char* p__PCHAR__Export,
                               TRACK_ARRAY* p__PTRACK_ARRAY__Tracks) {
  const std::vector<HalvorinI_ImageTrack>& tracks = p__Layout.m__VECTOR__Tracks;
  if (tracks.empty())
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "\nHalvorin:%s(): The raw image's subchannel gives no track!!!\n",
                             p__PCHAR__Export);
  if (tracks.size() > 99)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "\nHalvorin:%s(): The raw image holds more than 99 tracks!!!\n",
                             p__PCHAR__Export);
  if (!p__Layout.m__BOOLEAN__IsContiguous || p__Layout.m__LONG__FirstLBA != 0)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "\nHalvorin:%s(): The raw image holds several sessions (or does not "
                             "start at LBA 0), disc-at-once writes one session from LBA 0!!!\n",
                             p__PCHAR__Export);
  TRACK_ARRAY& list = *p__PTRACK_ARRAY__Tracks;
  std::memset(&list, 0, sizeof list);
  list.m__LONG__NumberOfTracks = static_cast<std::int32_t>(tracks.size());
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    const std::int64_t from = i == 0 ? 0 : tracks[i].m__LONGLONG__Index1;
    const std::int64_t to =
        i + 1 < tracks.size() ? tracks[i + 1].m__LONGLONG__Index1 : p__Layout.m__LONGLONG__Sectors;
    TRACK_ENTRY& e = list.m__TRACK_ENTRY__Tracks[i];
    e.m__LONG__TrackSizeInLBs = static_cast<std::int32_t>(to - from);
    e.m__LONG__TrackStartInLBs = static_cast<std::int32_t>(from);
    e.m__BOOLEAN__IsData = (tracks[i].m__UCHAR__Control & 0x04) ? 1 : 0;
    e.m__BOOLEAN__IsRaw = 1;
  }
}
