// The reader of a raw image's own Q. Its input is untrusted: every field is checked before it
// counts, and what does not fit a layout (a bad CRC, a track number out of order) only leaves
// its sector to the track before it.
#include "lib/core/grab/image_layout.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
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

// The position a sector's Q gives, when it is a sound position frame of a track.
bool PositionOf(const std::uint8_t* p__PUCHAR__Sector, HalvorinI_SubQPosition* p__PPosition) {
  std::uint8_t q[12];
  HalvorinI_UnpackSubQ(p__PUCHAR__Sector + kRaw, q);
  return HalvorinI_ReadSubQPosition(q, p__PPosition);
}

std::uint8_t DataModeOf(const std::uint8_t* p__PUCHAR__Sector) {
  return HalvorinI_HasSectorSync(p__PUCHAR__Sector) ? p__PUCHAR__Sector[15] & 0x03 : 0;
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
        HalvorinI_SubQPosition p;
        if (!PositionOf(s, &p)) continue;
        if (isFirst) {
          layout.m__LONG__FirstLBA = static_cast<std::int32_t>(p.m__LONG__LBA - sector);
          isFirst = false;
        } else if (p.m__LONG__LBA - sector != layout.m__LONG__FirstLBA) {
          layout.m__BOOLEAN__IsContiguous = false;
        }
        if (tracks.empty() || p.m__LONG__Track > tracks.back().m__LONG__Number) {
          // A track that never reached INDEX 1 was none: its sectors stay with the one before.
          if (!tracks.empty() && tracks.back().m__LONGLONG__Index1 < 0) tracks.pop_back();
          if (tracks.empty() || p.m__LONG__Track > tracks.back().m__LONG__Number)
            tracks.push_back({p.m__LONG__Track, p.m__UCHAR__Control, 0, sector, -1});
        }
        HalvorinI_ImageTrack& t = tracks.back();
        if (p.m__LONG__Track != t.m__LONG__Number) continue;
        if (p.m__LONG__Index >= 1 && t.m__LONGLONG__Index1 < 0) {
          t.m__LONGLONG__Index1 = sector;
          t.m__UCHAR__Control = p.m__UCHAR__Control;
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

void HalvorinI_ImageLayoutWithoutQ(const char* p__PCHAR__FileName,
                                   HalvorinI_ImageLayout* p__PLayout) {
  HalvorinI_ImageLayout& layout = *p__PLayout;
  std::vector<HalvorinI_ImageTrack>& tracks = layout.m__VECTOR__Tracks;
  if (!tracks.empty()) return;
  const std::string image(p__PCHAR__FileName);
  const std::string folder = platform::fs::ParentFolder(image);
  const std::string name = platform::fs::FileNamePart(image);
  // The descriptor a grab wrote beside its data file: "<base>.qvf" and "<base>.mds".
  if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) {
    const std::string descriptor = folder + name.substr(0, dot) + ".mds";
    auto list = std::make_unique<SAO_TRACK_ARRAY>();
    std::int32_t mode = 1;
    char dataFile[kHalvorinMaxPath] = {};
    if (platform::fs::IsRegularFile(descriptor) &&
        HalvorinI_ParseMDS(descriptor.c_str(), list.get(), &mode, dataFile, folder.c_str()) == 0 &&
        name == dataFile) {
      // Its tracks as the grab wrote them: each up to the next one's INDEX 1.
      std::int64_t start = 0;
      const std::int32_t n = list->m__LONG__NumberOfRawTracks;
      for (std::int32_t i = 0; i < n; ++i) {
        const bool isAudio = list->m__SAO_TRACK_ENTRY__Tracks[i].m__BOOLEAN__IsAudio != 0;
        tracks.push_back({i + 1, static_cast<std::uint8_t>(isAudio ? 0 : 4),
                          static_cast<std::uint8_t>(isAudio ? 0 : mode), start, start});
        start += list->m__LONG__RawTrackSizeInLBs[i] + (i + 1 < n ? 150 : 0);
      }
      if (start == layout.m__LONGLONG__Sectors) {
        DebugTrace("\n%s(): '%s' has no Q, its %ld tracks are those of '%s'\n", kMethod,
                   p__PCHAR__FileName, static_cast<long>(n), descriptor.c_str());
        return;
      }
      DebugTrace("\n%s(): '%s' describes %lld sectors, not the %lld of '%s'\n", kMethod,
                 descriptor.c_str(), static_cast<long long>(start),
                 static_cast<long long>(layout.m__LONGLONG__Sectors), p__PCHAR__FileName);
      tracks.clear();
    }
  }
  // Without a descriptor: one data track when the image begins with a data sector.
  std::uint8_t sector[kRaw] = {};
  std::size_t got = 0;
  try {
    platform::fs::File file(p__PCHAR__FileName, platform::fs::OpenMode::Read);
    got = file.Read(sector, sizeof sector);  // reads on to the count or the end
  } catch (const platform::fs::FsError&) {
    got = 0;
  }
  if (got == sizeof sector && layout.m__LONGLONG__Sectors > 0) {
    if (const std::uint8_t mode = DataModeOf(sector)) {
      tracks.push_back({1, 4, mode, 0, 0});
      DebugTrace("\n%s(): '%s' has no Q and no descriptor, one data track of MODE %ld\n", kMethod,
                 p__PCHAR__FileName, static_cast<long>(mode));
    }
  }
}

void HalvorinI_CheckImageTrackNumbers(const HalvorinI_ImageLayout& p__Layout,
                                      const char* p__PCHAR__Export) {
  const std::vector<HalvorinI_ImageTrack>& tracks = p__Layout.m__VECTOR__Tracks;
  for (std::size_t i = 0; i < tracks.size(); ++i)
    if (tracks[i].m__LONG__Number != static_cast<std::int32_t>(i) + 1)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                               "\nHalvorin:%s(): The raw image's track %ld is numbered %ld in its "
                               "Q, not %ld!!!\n",
                               p__PCHAR__Export, static_cast<long>(i) + 1,
                               static_cast<long>(tracks[i].m__LONG__Number),
                               static_cast<long>(i) + 1);
}

bool HalvorinI_ApplyImagePauses(const HalvorinI_ImageLayout& p__Layout,
                                SAO_TRACK_ARRAY* p__PSAO_TRACK_ARRAY__Tracks,
                                HalvorinI_TrackForms* p__PForms) {
  SAO_TRACK_ARRAY& list = *p__PSAO_TRACK_ARRAY__Tracks;
  const std::int32_t n = list.m__LONG__NumberOfRawTracks;
  *p__PForms = {};
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
    SAO_TRACK_ENTRY& e = list.m__SAO_TRACK_ENTRY__Tracks[i];
    if (i > 0) {
      e.m__LONG__PreGapInLBs = static_cast<std::int32_t>(pause) - 150;
      list.m__LONG__RawTrackSizeInLBs[i - 1] = static_cast<std::int32_t>(
          start[static_cast<std::size_t>(i)] - start[static_cast<std::size_t>(i) - 1] - pause);
    }
    if (isSame)
      e.m__BOOLEAN__IsAudio = (tracks[static_cast<std::size_t>(i)].m__UCHAR__Control & 0x04) == 0;
    p__PForms->m__Tracks[i] = {isSame ? tracks[static_cast<std::size_t>(i)].m__UCHAR__Control
                                      : static_cast<std::uint8_t>(e.m__BOOLEAN__IsAudio ? 0 : 4),
                               static_cast<std::int32_t>(pause)};
  }
  list.m__LONG__RawTrackSizeInLBs[n - 1] = static_cast<std::int32_t>(
      start[static_cast<std::size_t>(n)] - start[static_cast<std::size_t>(n) - 1]);
  DebugTrace("\nHalvorinI_ApplyImagePauses(): %ld tracks, pauses %s\n", static_cast<long>(n),
             isSame ? "from the image's Q" : "none: the image's Q is not the descriptor's");
  return isSame;
}

void HalvorinI_ImageTrackArray(const HalvorinI_ImageLayout& p__Layout, const char* p__PCHAR__Export,
                               TRACK_ARRAY* p__PTRACK_ARRAY__Tracks,
                               HalvorinI_TrackForms* p__PForms) {
  const std::vector<HalvorinI_ImageTrack>& tracks = p__Layout.m__VECTOR__Tracks;
  if (tracks.empty())
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "\nHalvorin:%s(): The raw image's subchannel, descriptor and first "
                             "sector give no track!!!\n",
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
  HalvorinI_CheckImageTrackNumbers(p__Layout, p__PCHAR__Export);
  TRACK_ARRAY& list = *p__PTRACK_ARRAY__Tracks;
  std::memset(&list, 0, sizeof list);
  *p__PForms = {};
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
    // Track 1's pause is the generated pre-gap before LBA 0; a later one's lies in the image.
    p__PForms->m__Tracks[i] = {tracks[i].m__UCHAR__Control,
                               i == 0 ? 0
                                      : static_cast<std::int32_t>(tracks[i].m__LONGLONG__Index1 -
                                                                  tracks[i].m__LONGLONG__Pause)};
  }
}
