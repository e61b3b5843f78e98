// Session-at-once writing: a cue sheet for the whole session, then one uninterrupted pass from
// LBA -150 through every track's pre-gap, data and post-gap. One producer reads all the
// tracks, so the drive stays fed across track boundaries.
#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <memory>
#include <vector>

#include "halvorin.h"
#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/core/burner/session_feed.h"
#include "lib/core/burner/write_reports.h"
#include "lib/core/debug_trace.h"
#include "lib/core/scsi/dumps.h"
#include "lib/mastering/raw/raw_subchannel.h"
#include "lib/mastering/tree/file_chain.h"

namespace {

constexpr const char* kMethod = "CHalvorin_CdvdBurnerGrabber::SessionAtOnce";
constexpr const char* kTrackMethod = "CHalvorin_CdvdBurnerGrabber::SessionAtOnceTrack";
constexpr const char* kLeadInMethod = "CHalvorin_CdvdBurnerGrabber::WriteLeadIn";
constexpr std::uint32_t kGapChunk = 10;
constexpr std::uint32_t kGapBufferSize = 61440;
constexpr std::uint32_t kRawPW = 2448;
constexpr std::uint32_t kLeadInPacket = 16;
constexpr std::uint32_t kLeadInUnit = 96;
constexpr std::uint32_t kCueSheetSize = 1616;
// Track numbers are two BCD digits.
constexpr std::int32_t kMostTracks = 99;

// The sector size of a track: the later rules override the earlier.
std::uint32_t LBSizeOf(const SAO_TRACK_ENTRY& p__Track, bool p__BOOLEAN__IsXA) {
  std::uint32_t size = 2048;
  if (p__Track.m__BOOLEAN__IsAudio) size = 2352;
  if (p__Track.m__BOOLEAN__IsXA) size = 2336;
  if (!p__Track.m__BOOLEAN__IsAudio && !p__Track.m__BOOLEAN__IsXA && p__BOOLEAN__IsXA) size = 2336;
  if (p__Track.m__BOOLEAN__IsRawPW) size = kRawPW;
  return size;
}

// A session holds Mode 2 sectors when one of its tracks does (a Mode 2 track, or a data track
// under the session's XA flag, as the cue sheet has them): its format is CD-ROM XA then.
bool IsXASession(const SAO_TRACK_ARRAY& p__Tracks, bool p__BOOLEAN__IsXA) {
  for (std::int32_t i = 0; i < p__Tracks.m__LONG__NumberOfTracks; ++i) {
    const SAO_TRACK_ENTRY& t = p__Tracks.m__SAO_TRACK_ENTRY__Tracks[i];
    if (t.m__BOOLEAN__IsXA || (p__BOOLEAN__IsXA && !t.m__BOOLEAN__IsAudio)) return true;
  }
  return false;
}

CHalvorin_FileChain* ChainOf(void* p__PVOID__Tree) {
  return p__PVOID__Tree
             ? dynamic_cast<CHalvorin_FileChain*>(static_cast<CHalvorin_Object*>(p__PVOID__Tree))
             : nullptr;
}

// The session's producer is stopped and forgotten on every way out of the write.
struct CHalvorin_SessionFeedGuard {
  CHalvorin_CdvdBurnerGrabber* m__PBurner;
  const CHalvorin_SessionFeed** m__PPFeed;
  ~CHalvorin_SessionFeedGuard() { Stop(); }
  void Stop() {
    m__PBurner->ShutDownCacheThread();
    *m__PPFeed = nullptr;
  }
};

}  // namespace

void CHalvorin_CdvdBurnerGrabber::SessionAtOnce(SAO_TRACK_ARRAY* p__PSAO_TRACK_ARRAY__Tracks,
                                                bool p__BOOLEAN__IsXA, bool p__BOOLEAN__IsTestWrite,
                                                bool p__BOOLEAN__IsMultiSession,
                                                std::uint32_t p__ULONG__ProgressInterval,
                                                std::uint32_t p__ULONG__BufferInterval,
                                                bool p__BOOLEAN__IsWriteLeadIn,
                                                const HalvorinI_TrackForms* p__PForms) {
  DebugTrace("\n%s(): ENTERed for 0x%08X\n", kMethod,
             static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(this)));
  // A list no disc can hold is refused before the drive hears of it.
  const SAO_TRACK_ARRAY* list = p__PSAO_TRACK_ARRAY__Tracks;
  if (!list || list->m__LONG__NumberOfTracks < 1 || list->m__LONG__NumberOfTracks > kMostTracks)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "%s(): The track list is missing or not of 1..99 tracks!!!", kMethod);
  if (list->m__SAO_TRACK_ENTRY__Tracks[0].m__BOOLEAN__IsRawPW &&
      (list->m__LONG__NumberOfRawTracks < 1 || list->m__LONG__NumberOfRawTracks > kMostTracks))
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "%s(): Number of raw tracks %ld is not 1..99!!!", kMethod,
                             static_cast<long>(list->m__LONG__NumberOfRawTracks));
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  TestUnitReadyCDB();
  m__BOOLEAN__IsCancel.store(false);
  m__UCHAR__LastWriteMode = kHalvorinWriteModeSessionAtOnce;
  const DISC_TYPE type = GetDiscTypeSafe();
  if (type > DISC_TYPE_CDRW)
    HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                             "%s(): Disc type (%ld) not valid for SAO!!!", kMethod,
                             static_cast<long>(type));
  std::int32_t address = -150;
  CHalvorin_SessionFeed feed;
  CHalvorin_SessionFeedGuard guard{this, &m__PCHalvorin_SessionFeed__Session};
  try {
    SAO_TRACK_ARRAY& tracks = *p__PSAO_TRACK_ARRAY__Tracks;
    const bool isRawForm = tracks.m__SAO_TRACK_ENTRY__Tracks[0].m__BOOLEAN__IsRawPW != 0;

    DebugTrace("\n%s(): Setting write parameters\n", kMethod);
    RestoreWriteParameters();
    SetWriteParameters(2, isRawForm ? 0 : 8, 4, p__BOOLEAN__IsTestWrite,
                       isRawForm ? false : p__BOOLEAN__IsMultiSession,
                       IsXASession(tracks, p__BOOLEAN__IsXA) ? 0x20 : 0, nullptr, false);

    // Every source is measured before anything is written; a missing or empty one is refused.
    Callback(TARGET_FILE_ANALYZE_BEGIN, nullptr, nullptr);
    std::uint64_t totalUCHARs = 0, totalLBs = 0;
    for (std::int32_t i = 0; i < tracks.m__LONG__NumberOfTracks; ++i) {
      SAO_TRACK_ENTRY& t = tracks.m__SAO_TRACK_ENTRY__Tracks[i];
      CHalvorin_FileChain* chain = ChainOf(t.m__PVOID__Tree);
      if (!chain)
        HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                                 "%s(): Track %ld has no source!!!", kMethod, static_cast<long>(i));
      if (t.m__LONG__PreGapInLBs < 0 || t.m__LONG__PostGapInLBs < 0)
        HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                                 "%s(): Track %ld has a negative gap!!!", kMethod,
                                 static_cast<long>(i));
      const std::uint32_t lbSize = LBSizeOf(t, p__BOOLEAN__IsXA);
      const std::uint64_t size = chain->GetSizeInUCHARs();
      // A last partial sector is written padded with zeros, so it counts.
      const std::uint64_t lbs = (size + lbSize - 1) / lbSize;
      if (lbs == 0 || lbs > 0x7FFFFFFF)
        HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                                 "%s(): Track %ld: the source holds %" PRIu64
                                 " UCHARs, nothing to write or too much!!!",
                                 kMethod, static_cast<long>(i), size);
      t.m__LONG__SizeInLBs = static_cast<std::int32_t>(lbs);
      totalUCHARs += size;
      totalLBs += lbs;
    }
    Callback(TARGET_FILE_ANALYZE_END, &totalUCHARs, &totalLBs);

    DebugTrace("\n%s(): Reading track information\n", kMethod);
    std::vector<std::uint8_t> info(4096);
    ReadTrackInformation(1, 0xFF, info.data(), 4096);
    bool isBlank = false, isNwaValid = false;
    std::uint32_t freeBlocks = 0, nwa = 0;
    std::uint8_t trackNumber = 0;
    CHalvorin_DumpAndParseTrackInformation(info.data(), 4096, &isBlank, &isNwaValid, &freeBlocks,
                                           &nwa, &trackNumber);
    if (!isBlank)
      HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0, "%s(): Track is not blank!!!",
                               kMethod);
    if (!isNwaValid)
      HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0, "%s(): NWA not valid!!!", kMethod);
    std::int32_t start = static_cast<std::int32_t>(nwa);
    if (start == 0) {
      start = -150;
      DebugTrace("\n%s(): Replaced 0 with ( -150 ) as NWA\n", kMethod);
    }
    if (start != -150)
      HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                               "%s(): NWA not valid, %ld instead of ( -150 )!!!", kMethod,
                               static_cast<long>(start));

    // The count patches work on a copy: the caller's list keeps its own count.
    auto session = std::make_unique<SAO_TRACK_ARRAY>(tracks);
    if (isRawForm) {
      DebugTrace("\n%s(): Patching number of tracks to number of raw + raw P-W subchannel tracks\n",
                 kMethod);
      const std::int32_t raw = tracks.m__LONG__NumberOfRawTracks;
      session->m__LONG__NumberOfTracks = raw;
      // The image holds every track and the pauses between them (150 sectors and the extra
      // pre-gap each), in whole sectors: one that is cut short or belongs to another descriptor
      // would leave the drive's cue sheet early.
      std::int64_t describedLBs = 0;
      for (std::int32_t i = 0; i < raw; ++i) {
        SAO_TRACK_ENTRY& t = session->m__SAO_TRACK_ENTRY__Tracks[i];
        t.m__LONG__SizeInLBs = tracks.m__LONG__RawTrackSizeInLBs[i];
        t.m__BOOLEAN__IsRawPW = 1;
        describedLBs += t.m__LONG__SizeInLBs;
        if (i > 0) describedLBs += 150 + static_cast<std::int64_t>(t.m__LONG__PreGapInLBs);
      }
      const SAO_TRACK_ENTRY& image = tracks.m__SAO_TRACK_ENTRY__Tracks[0];
      const std::uint64_t imageUCHARs = ChainOf(image.m__PVOID__Tree)->GetSizeInUCHARs();
      if (imageUCHARs % kRawPW != 0 || image.m__LONG__SizeInLBs != describedLBs)
        HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                                 "%s(): Raw image of %" PRIu64 " UCHARs does not hold the %" PRId64
                                 " LBs of its tracks!!!",
                                 kMethod, imageUCHARs, describedLBs);
    }
    // Refused before anything is written: the drive would stop at the end of the disc.
    std::int64_t sessionLBs = 0;
    for (std::int32_t i = 0; i < session->m__LONG__NumberOfTracks; ++i) {
      const SAO_TRACK_ENTRY& t = session->m__SAO_TRACK_ENTRY__Tracks[i];
      sessionLBs += 150 + static_cast<std::int64_t>(t.m__LONG__PreGapInLBs) + t.m__LONG__SizeInLBs +
                    t.m__LONG__PostGapInLBs;
    }
    sessionLBs -= 150;  // the first pre-gap lies before LBA 0
    if (sessionLBs > static_cast<std::int64_t>(freeBlocks))
      HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                               "%s(): File chain size in LBs %" PRId64
                               " is larger the free LBs %ld!!!",
                               kMethod, sessionLBs, static_cast<long>(freeBlocks));

    std::uint8_t cueSheet[kCueSheetSize];
    std::uint32_t cueSheetLength = 0;
    CompileCueSheet(session.get(), cueSheet, &cueSheetLength, p__BOOLEAN__IsXA,
                    p__BOOLEAN__IsWriteLeadIn, p__PForms);
    DumpCueSheet(cueSheet, cueSheetLength);
    SendCueSheet(cueSheet, cueSheetLength);
    if (isRawForm) {
      DebugTrace("\n%s(): Patching number of tracks to one in raw + raw P-W subchannel mode\n",
                 kMethod);
      session->m__LONG__NumberOfTracks = 1;
    }

    for (std::int32_t i = 0; i < session->m__LONG__NumberOfTracks; ++i) {
      const SAO_TRACK_ENTRY& t = session->m__SAO_TRACK_ENTRY__Tracks[i];
      feed.m__VECTOR__Tracks.push_back({ChainOf(t.m__PVOID__Tree), LBSizeOf(t, p__BOOLEAN__IsXA)});
    }
    // The producer starts with the first track's write and reads the whole session.
    m__PCHalvorin_SessionFeed__Session = &feed;
    std::uint64_t writtenLBs = 0;
    address = start;
    for (std::int32_t i = 0; i < session->m__LONG__NumberOfTracks; ++i) {
      const SAO_TRACK_ENTRY& t = session->m__SAO_TRACK_ENTRY__Tracks[i];
      m__ULONG__LBSize = feed.m__VECTOR__Tracks[static_cast<std::size_t>(i)].m__ULONG__LBSize;
      SessionAtOnceTrack(t, totalLBs, &address, t.m__LONG__PreGapInLBs, t.m__LONG__PostGapInLBs,
                         p__ULONG__ProgressInterval, p__ULONG__BufferInterval, type,
                         t.m__BOOLEAN__IsRawPW != 0, p__BOOLEAN__IsXA, i,
                         t.m__BOOLEAN__IsAudio != 0,
                         HalvorinI_ControlOf(p__PForms, i, !t.m__BOOLEAN__IsAudio),
                         p__BOOLEAN__IsWriteLeadIn, &writtenLBs);
    }
    guard.Stop();
    Callback(SYNCHRONIZE_CACHE_BEGIN, nullptr, nullptr);
    SynchronizeCache();
    Callback(SYNCHRONIZE_CACHE_END, nullptr, nullptr);
    DebugTrace("\n%s(): EXITing with success\n", kMethod);
  } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    TraceWriteFailure(kMethod, p__PCHalvorin_Exception__Exception);
    // The producer stops first: nothing reads the sources once this call has returned.
    guard.Stop();
    if (address >= -149) {
      SynchronizeCacheAfterFailure(kMethod);
    }
    EjectAfterFailure(kMethod);
    throw;
  }
}

void CHalvorin_CdvdBurnerGrabber::SessionAtOnceTrack(
    const SAO_TRACK_ENTRY& p__Track, std::uint64_t p__ULONGLONG__TotalLBs,
    std::int32_t* p__PLONG__Address, std::int32_t p__LONG__PreGapInLBs,
    std::int32_t p__LONG__PostGapInLBs, std::uint32_t p__ULONG__ProgressInterval,
    std::uint32_t p__ULONG__BufferInterval, DISC_TYPE p__DISC_TYPE__Type, bool p__BOOLEAN__IsRawPW,
    bool p__BOOLEAN__IsXA, std::int32_t p__LONG__TrackIndex, bool p__BOOLEAN__IsAudio,
    std::uint8_t p__UCHAR__Control, bool p__BOOLEAN__IsWriteLeadIn,
    std::uint64_t* p__PULONGLONG__WrittenLBs) {
  (void)p__Track;
  (void)p__DISC_TYPE__Type;
  s__ULONGLONG__ScrambledLBs.store(0);
  try {
    // Each track waits for a full cache before its pre-gap; after the first one the producer
    // has been reading it while the track before was written.
    if (p__LONG__TrackIndex == 0) {
      const CHalvorin_SessionFeedTrack& first =
          m__PCHalvorin_SessionFeed__Session->m__VECTOR__Tracks.front();
      LaunchCacheThread(first.m__PCHalvorin_FileChain__Source, first.m__ULONG__LBSize,
                        kTrackMethod);
    } else {
      m__EVENT__CacheFull.Reset();
    }
    WaitForCacheFull(kTrackMethod);
    if (p__BOOLEAN__IsWriteLeadIn && p__LONG__TrackIndex == 0 && p__BOOLEAN__IsRawPW) {
      DebugTrace("\n%s(): First track and raw + raw P-W subchannel, writing lead-in\n",
                 kTrackMethod);
      WriteLeadIn(p__PLONG__Address);
    }
    const std::uint32_t lbSize = m__ULONG__LBSize;
    const std::uint8_t tno = HalvorinI_Bcd(static_cast<std::uint32_t>(p__LONG__TrackIndex) + 1);
    std::vector<std::uint8_t> gap(kGapBufferSize);
    const std::int32_t preGap = 150 + p__LONG__PreGapInLBs;
    const std::int32_t index1 = *p__PLONG__Address + preGap;
    // Gap sectors: zeros for cooked tracks; raw sectors with their own Q for a raw P-W track.
    auto writeGap = [&](std::int32_t p__LONG__Count, bool p__BOOLEAN__IsPreGap) {
      for (std::int32_t done = 0; done < p__LONG__Count;) {
        ThrowIfCancelled(kTrackMethod, *p__PULONGLONG__WrittenLBs * lbSize);
        const std::uint32_t n =
            static_cast<std::uint32_t>(std::min<std::int32_t>(kGapChunk, p__LONG__Count - done));
        std::memset(gap.data(), 0, n * lbSize);
        if (p__BOOLEAN__IsRawPW) {
          if (!p__BOOLEAN__IsAudio) {
            FormatRawSectors(gap.data(), n, kRawPW, *p__PLONG__Address, p__BOOLEAN__IsXA ? 2 : 1);
            ScrambleRawSectors(gap.data(), n, kRawPW);
          }
          // The pause counts down to 00:00:00 at its last sector, as pressed discs read.
          const std::uint32_t relative =
              p__BOOLEAN__IsPreGap ? static_cast<std::uint32_t>(index1 - *p__PLONG__Address - 1)
                                   : static_cast<std::uint32_t>(*p__PLONG__Address - index1);
          FormatQSubChannel(relative, *p__PLONG__Address, p__UCHAR__Control, tno, gap.data(),
                            p__BOOLEAN__IsPreGap, false, true, n, p__BOOLEAN__IsPreGap);
          InterleaveSubChannels(gap.data(), n);
        }
        Write10(gap.data(), n * lbSize, static_cast<std::uint32_t>(*p__PLONG__Address),
                static_cast<std::uint16_t>(n));
        *p__PLONG__Address += static_cast<std::int32_t>(n);
        done += static_cast<std::int32_t>(n);
      }
    };
    writeGap(preGap, true);

    CHalvorin_WriteReports reports(p__ULONGLONG__TotalLBs, p__ULONG__ProgressInterval,
                                   p__ULONG__BufferInterval);
    for (bool isTrackEnd = false; !isTrackEnd;) {
      CHalvorin_CacheObject* object = GetNextCacheObject(kTrackMethod);
      if (!object)
        HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                                 "%s(): The data of track %ld ended early!!!", kTrackMethod,
                                 static_cast<long>(p__LONG__TrackIndex));
      try {
        if (object->m__LONG__TrackIndex != p__LONG__TrackIndex)
          HalvorinI_ThrowException(kHalvorinStatusInternalState, 0,
                                   "%s(): Cache object of track %ld in track %ld!!!", kTrackMethod,
                                   static_cast<long>(object->m__LONG__TrackIndex),
                                   static_cast<long>(p__LONG__TrackIndex));
        if (p__BOOLEAN__IsRawPW) {
          ScrambleRawSectors(object->m__PUCHAR__Buffer, object->m__ULONG__FilledLBs, kRawPW);
          if (*p__PLONG__Address == 0) SetPChannelOfRawSector(object->m__PUCHAR__Buffer);
        }
        Write10(object->m__PUCHAR__Buffer, object->m__ULONG__FilledUCHARs,
                static_cast<std::uint32_t>(*p__PLONG__Address),
                static_cast<std::uint16_t>(object->m__ULONG__FilledLBs));
      } catch (...) {
        ReleaseCacheObject(object);
        throw;
      }
      isTrackEnd = object->m__BOOLEAN__IsTrackEnd;
      *p__PLONG__Address += static_cast<std::int32_t>(object->m__ULONG__FilledLBs);
      *p__PULONGLONG__WrittenLBs += object->m__ULONG__FilledLBs;
      ReleaseCacheObject(object);
      ReportWrite(reports, *p__PULONGLONG__WrittenLBs, true, kTrackMethod);
    }
    writeGap(p__LONG__PostGapInLBs, false);
    DebugTrace("\n%s(): %" PRIu64 " LBs scrambled\n", kTrackMethod,
               s__ULONGLONG__ScrambledLBs.load());
    DebugTrace("\n%s(): EXITing with success\n", kTrackMethod);
  } catch (CHalvorin_Exception*) {
    DebugTrace("\n%s(): Method in sequence failed!!!\n", kTrackMethod);
    ShutDownCacheThread();
    throw;
  }
}

void CHalvorin_CdvdBurnerGrabber::WriteLeadIn(std::int32_t* p__PLONG__Address) {
  std::vector<std::uint8_t> info(4096);
  ReadDiscInformation(info.data(), 4096);
  const std::int32_t minute = info[17], second = info[18], frame = info[19];
  const std::int32_t start = minute * 4500 + second * 75 + frame - (minute < 90 ? 150 : 450150);
  DebugTrace("\n%s(): Lead-in LBA ( %ld ), Lead-in size in LBs %ld\n", kLeadInMethod,
             static_cast<long>(start), static_cast<long>(-150 - start));
  if (start >= -150 || start < -45150)
    HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                             "%s(): Lead-in LBA ( %ld ) is not in the lead-in!!!", kLeadInMethod,
                             static_cast<long>(start));
  // Only subchannel goes there: 96 bytes a sector.
  std::vector<std::uint8_t> zeros(kLeadInPacket * kLeadInUnit, 0);
  std::int32_t lba = start;
  while (lba + static_cast<std::int32_t>(kLeadInPacket) <= -150) {
    ThrowIfCancelled(kLeadInMethod, 0);
    Write10(zeros.data(), kLeadInPacket * kLeadInUnit, static_cast<std::uint32_t>(lba),
            kLeadInPacket);
    lba += kLeadInPacket;
  }
  if (lba < -150) {
    const std::uint32_t rest = static_cast<std::uint32_t>(-150 - lba);
    DebugTrace("\n%s(): Writing lead-in, Lead-in LBA ( %ld ), Padding packet size in LBs %ld\n",
               kLeadInMethod, static_cast<long>(lba), static_cast<long>(rest));
    Write10(zeros.data(), rest * kLeadInUnit, static_cast<std::uint32_t>(lba),
            static_cast<std::uint16_t>(rest));
    lba += static_cast<std::int32_t>(rest);
  }
  DebugTrace("\n%s(): Lead-in LBA ( %ld )\n", kLeadInMethod, static_cast<long>(lba));
  *p__PLONG__Address = lba;
}
