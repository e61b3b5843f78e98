// Disc-at-once writing (DAO_PQ and DAO_RAW_PW): one pass from the lead-in start the drive
// reports through the generated lead-in and pre-gap, the program area from the write-cache
// thread and the generated lead-out, all raw sectors whose subchannel the host makes. No cue
// sheet: the lead-in's Q is the disc's TOC. The two modes differ only by the row of the table.
#include <cinttypes>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "halvorin.h"
#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/core/burner/write_reports.h"
#include "lib/core/debug_trace.h"
#include "lib/core/scsi/dumps.h"
#include "lib/mastering/raw/iso9660_file_tree_lead_in.h"
#include "lib/mastering/raw/iso9660_file_tree_lead_out.h"
#include "lib/mastering/raw/iso9660_file_tree_pre_gap.h"
#include "lib/mastering/tree/file_chain.h"

struct CHalvorin_CdvdBurnerGrabber::DiscAtOnceMode {
  const char* m__PCHAR__Method;
  std::uint32_t m__ULONG__LBSize;
  std::uint8_t m__UCHAR__DataBlockType;
  bool m__BOOLEAN__IsRawPW;
  const char* m__PCHAR__LeadIn;
  const char* m__PCHAR__PreGap;
  const char* m__PCHAR__LeadOut;
};

namespace {

constexpr CHalvorin_CdvdBurnerGrabber::DiscAtOnceMode kPQ = {
    "CHalvorin_CdvdBurnerGrabber::DiscAtOncePQ",
    2368,
    1,
    false,
    "l__PCHalvorin_ISO9660FileTreeLeadInRawPQ",
    "l__PCHalvorin_ISO9660FileTreePreGapRawPQ",
    "l__PCHalvorin_ISO9660FileTreeLeadOutRawPQ"};
constexpr CHalvorin_CdvdBurnerGrabber::DiscAtOnceMode kRawPW = {
    "CHalvorin_CdvdBurnerGrabber::DiscAtOnceRawPW",
    2448,
    3,
    true,
    "l__PCHalvorin_ISO9660FileTreeLeadInRawRawPW",
    "l__PCHalvorin_ISO9660FileTreePreGapRawRawPW",
    "l__PCHalvorin_ISO9660FileTreeLeadOutRawRawPW"};

constexpr std::uint32_t kPacket = 16;
constexpr std::uint32_t kPacketBufferSize = 61440;
constexpr std::int32_t kPreGap = 150;
// Lead-in starts of 90:00:00 to 99:59:74, all before the pre-gap of track 1.
constexpr std::int32_t kEarliestLeadIn = -45150;
constexpr std::int32_t kLatestLeadIn = -151;

// A list the lead-in can describe: 1..99 tracks, refused before the drive hears of it.
void CheckTrackCount(const TRACK_ARRAY* p__PTRACK_ARRAY__Tracks, const char* p__PCHAR__Method) {
  if (!p__PTRACK_ARRAY__Tracks || p__PTRACK_ARRAY__Tracks->m__LONG__NumberOfTracks < 1 ||
      p__PTRACK_ARRAY__Tracks->m__LONG__NumberOfTracks > 99)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "%s(): The track list is missing or not of 1..99 tracks!!!",
                             p__PCHAR__Method);
}

// Its tracks of one kind (of any kinds when every track is a raw image's, whose sectors are all
// of one size), starting at 0 and ascending inside the program area.
void CheckTrackList(const TRACK_ARRAY* p__PTRACK_ARRAY__Tracks, std::uint64_t p__ULONGLONG__LBs,
                    const char* p__PCHAR__Method) {
  const TRACK_ENTRY* tracks = p__PTRACK_ARRAY__Tracks->m__TRACK_ENTRY__Tracks;
  const bool isData = tracks[0].m__BOOLEAN__IsData != 0;
  bool isRaw = true;
  for (std::int32_t i = 0; i < p__PTRACK_ARRAY__Tracks->m__LONG__NumberOfTracks; ++i)
    isRaw = isRaw && tracks[i].m__BOOLEAN__IsRaw == 1;
  for (std::int32_t i = 0; i < p__PTRACK_ARRAY__Tracks->m__LONG__NumberOfTracks; ++i) {
    // One kind only: the size rule takes the first track's unit.
    if (!isRaw && (tracks[i].m__BOOLEAN__IsData != 0) != isData)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                               "%s(): Track %ld is %s after %s, mixed mode is not supported!!!",
                               p__PCHAR__Method, static_cast<long>(i), isData ? "audio" : "data",
                               isData ? "data" : "audio");
    const std::int64_t start = tracks[i].m__LONG__TrackStartInLBs;
    const std::int64_t previous = i ? tracks[i - 1].m__LONG__TrackStartInLBs : -1;
    if ((i == 0 && start != 0) || start <= previous ||
        static_cast<std::uint64_t>(start) >= p__ULONGLONG__LBs)
      HalvorinI_ThrowException(
          kHalvorinStatusInvalidArgument, 0,
          "%s(): Track %ld starts at %ld, outside the program area of %" PRIu64 " LBs!!!",
          p__PCHAR__Method, static_cast<long>(i), static_cast<long>(start), p__ULONGLONG__LBs);
  }
}

template <class T, class... A>
std::unique_ptr<T> MakeSource(const char* p__PCHAR__Method, const char* p__PCHAR__Name,
                              A&&... p__Arguments) {
  std::unique_ptr<T> source(new (std::nothrow) T(std::forward<A>(p__Arguments)...));
  if (!source)
    HalvorinI_ThrowException(kHalvorinStatusOutOfMemory, 0, "%s(): %s == NULL!!!", p__PCHAR__Method,
                             p__PCHAR__Name);
  return source;
}

}  // namespace

void CHalvorin_CdvdBurnerGrabber::DiscAtOncePQ(CHalvorin_FileChain* p__PCHalvorin_FileChain__Source,
                                               bool p__BOOLEAN__IsXA, bool p__BOOLEAN__IsTestWrite,
                                               bool p__BOOLEAN__IsMultiSession,
                                               std::uint32_t p__ULONG__ProgressInterval,
                                               std::uint32_t p__ULONG__BufferInterval,
                                               TRACK_ARRAY* p__PTRACK_ARRAY__Tracks,
                                               const HalvorinI_TrackForms* p__PForms) {
  DiscAtOnce(kPQ, p__PCHalvorin_FileChain__Source, p__BOOLEAN__IsXA, p__BOOLEAN__IsTestWrite,
             p__BOOLEAN__IsMultiSession, p__ULONG__ProgressInterval, p__ULONG__BufferInterval,
             p__PTRACK_ARRAY__Tracks, p__PForms);
}

void CHalvorin_CdvdBurnerGrabber::DiscAtOnceRawPW(
    CHalvorin_FileChain* p__PCHalvorin_FileChain__Source, bool p__BOOLEAN__IsXA,
    bool p__BOOLEAN__IsTestWrite, bool p__BOOLEAN__IsMultiSession,
    std::uint32_t p__ULONG__ProgressInterval, std::uint32_t p__ULONG__BufferInterval,
    TRACK_ARRAY* p__PTRACK_ARRAY__Tracks, const HalvorinI_TrackForms* p__PForms) {
  DiscAtOnce(kRawPW, p__PCHalvorin_FileChain__Source, p__BOOLEAN__IsXA, p__BOOLEAN__IsTestWrite,
             p__BOOLEAN__IsMultiSession, p__ULONG__ProgressInterval, p__ULONG__BufferInterval,
             p__PTRACK_ARRAY__Tracks, p__PForms);
}

void CHalvorin_CdvdBurnerGrabber::DiscAtOnce(
    const DiscAtOnceMode& p__Mode, CHalvorin_FileChain* p__PCHalvorin_FileChain__Source,
    bool p__BOOLEAN__IsXA, bool p__BOOLEAN__IsTestWrite, bool p__BOOLEAN__IsMultiSession,
    std::uint32_t p__ULONG__ProgressInterval, std::uint32_t p__ULONG__BufferInterval,
    TRACK_ARRAY* p__PTRACK_ARRAY__Tracks, const HalvorinI_TrackForms* p__PForms) {
  const char* const kMethod = p__Mode.m__PCHAR__Method;
  DebugTrace("\n%s(): ENTERed for 0x%08X\n", kMethod,
             static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(this)));
  CheckTrackCount(p__PTRACK_ARRAY__Tracks, kMethod);
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  TestUnitReadyCDB();
  const DISC_TYPE type = GetDiscTypeSafe();
  if (type > DISC_TYPE_CDRW)
    HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                             "%s(): Disc type (%ld) not valid for DAO!!!", kMethod,
                             static_cast<long>(type));
  std::int32_t address = 0;
  bool isWriting = false;
  std::unique_ptr<CHalvorin_ISO9660FileTreeGenerated> leadIn, preGap, leadOut;
  try {
    m__BOOLEAN__IsCancel.store(false);
    m__UCHAR__LastWriteMode = kHalvorinWriteModeDiscAtOnce;
    m__ULONG__LBSize = p__Mode.m__ULONG__LBSize;
    const TRACK_ENTRY* entries = p__PTRACK_ARRAY__Tracks->m__TRACK_ENTRY__Tracks;
    const std::int32_t count = p__PTRACK_ARRAY__Tracks->m__LONG__NumberOfTracks;
    const bool isData = entries[0].m__BOOLEAN__IsData != 0;
    // The lead-out follows the last track: audio after a data track ends in an audio lead-out.
    const bool isLastData = entries[count - 1].m__BOOLEAN__IsData != 0;
    // Track 1's pre-gap and the lead-out carry their tracks' whole control, as the TOC does.
    const std::uint8_t firstControl = HalvorinI_ControlOf(p__PForms, 0, isData);
    const std::uint8_t lastControl = HalvorinI_ControlOf(p__PForms, count - 1, isLastData);
    // The format follows the tracks: the XA flag makes data Mode 2, an audio disc stays CD-DA
    // (session format and the lead-in's disc type alike).
    bool isAnyData = false;
    for (std::int32_t i = 0; i < count; ++i) isAnyData = isAnyData || entries[i].m__BOOLEAN__IsData;
    const bool isXAFormat = p__BOOLEAN__IsXA && isAnyData;
    DebugTrace(isData ? "\n%s(): Setting write parameters to DATA\n"
                      : "\n%s(): Setting write parameters to AUDIO\n",
               kMethod);
    DebugTrace(isXAFormat ? "\n%s(): Setting write parameters to CDROM/XA\n"
                          : "\n%s(): Setting write parameters to CDDA/CDROM\n",
               kMethod);
    DebugTrace("\n%s(): Setting write parameters\n", kMethod);
    RestoreWriteParameters();
    SetWriteParameters(3, p__Mode.m__UCHAR__DataBlockType, 0, p__BOOLEAN__IsTestWrite,
                       p__BOOLEAN__IsMultiSession, isXAFormat ? 0x20 : 0, nullptr, false);

    Callback(TARGET_FILE_ANALYZE_BEGIN, nullptr, nullptr);
    if (!p__PCHalvorin_FileChain__Source)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0, "%s(): No source!!!", kMethod);
    std::uint64_t totalUCHARs = p__PCHalvorin_FileChain__Source->GetSizeInUCHARs();
    // A last partial sector is written padded with zeros, so it counts: the TOC's lead-out
    // lies where the lead-out is written.
    std::uint64_t totalLBs =
        (totalUCHARs + p__Mode.m__ULONG__LBSize - 1) / p__Mode.m__ULONG__LBSize;
    Callback(TARGET_FILE_ANALYZE_END, &totalUCHARs, &totalLBs);
    if (totalLBs == 0)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                               "%s(): The source is empty, nothing to write!!!", kMethod);
    CheckTrackList(p__PTRACK_ARRAY__Tracks, totalLBs, kMethod);

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
    if (!isNwaValid) DebugTrace("\n%s(): WARNING! NWA is not valid!!!\n", kMethod);
    // Refused before anything is written: the drive would stop at the end of the disc.
    if (totalLBs > freeBlocks)
      HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                               "%s(): File chain size in LBs %" PRIu64
                               " is larger the free LBs %ld!!!",
                               kMethod, totalLBs, static_cast<long>(freeBlocks));

    GetDiscInformation(info.data(), 4096);
    // Only a blank disc has its lead-in before LBA -150; on an appendable one the next lead-in
    // lies behind the data, and an address of no lead-in would have the write start anywhere.
    if ((info[2] & 0x03) != 0)
      HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                               "%s(): Disc status %ld is not empty, DAO needs a blank disc!!!",
                               kMethod, static_cast<long>(info[2] & 0x03));
    const std::int32_t minute = info[17], second = info[18], frame = info[19];
    const std::int32_t leadInLBA =
        minute * 4500 + second * 75 + frame - (minute < 90 ? 150 : 450150);
    if (minute < 90 || second > 59 || frame > 74 || leadInLBA < kEarliestLeadIn ||
        leadInLBA > kLatestLeadIn)
      HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                               "%s(): Lead-in start %02ld:%02ld:%02ld is not a lead-in!!!", kMethod,
                               static_cast<long>(minute), static_cast<long>(second),
                               static_cast<long>(frame));
    const std::int32_t leadInSize = -150 - leadInLBA;
    DebugTrace("\n%s(): Lead-in LBA ( %ld ), NWA %ld, Lead-in size in LBs %ld\n", kMethod,
               static_cast<long>(leadInLBA), static_cast<long>(nwa), static_cast<long>(leadInSize));
    address = leadInLBA;

    const std::int32_t leadOutLBA = static_cast<std::int32_t>(totalLBs);
    if (p__Mode.m__BOOLEAN__IsRawPW) {
      leadIn = MakeSource<CHalvorin_ISO9660FileTreeLeadInRawRawPW>(
          kMethod, p__Mode.m__PCHAR__LeadIn, leadInLBA, static_cast<std::uint32_t>(leadInSize),
          leadOutLBA, p__PTRACK_ARRAY__Tracks, isXAFormat, &m__CHalvorin_CDText, p__PForms);
      preGap = MakeSource<CHalvorin_ISO9660FileTreePreGapRawRawPW>(
          kMethod, p__Mode.m__PCHAR__PreGap, -kPreGap, static_cast<std::uint32_t>(kPreGap),
          std::uint8_t{1}, isData, isXAFormat, firstControl);
      leadOut = MakeSource<CHalvorin_ISO9660FileTreeLeadOutRawRawPW>(
          kMethod, p__Mode.m__PCHAR__LeadOut, leadOutLBA, isLastData, isXAFormat, lastControl);
    } else {
      leadIn = MakeSource<CHalvorin_ISO9660FileTreeLeadInRawPQ>(
          kMethod, p__Mode.m__PCHAR__LeadIn, leadInLBA, static_cast<std::uint32_t>(leadInSize),
          leadOutLBA, p__PTRACK_ARRAY__Tracks, isXAFormat, p__PForms);
      preGap = MakeSource<CHalvorin_ISO9660FileTreePreGapRawPQ>(
          kMethod, p__Mode.m__PCHAR__PreGap, -kPreGap, static_cast<std::uint32_t>(kPreGap),
          std::uint8_t{1}, isData, isXAFormat, firstControl);
      leadOut = MakeSource<CHalvorin_ISO9660FileTreeLeadOutRawPQ>(
          kMethod, p__Mode.m__PCHAR__LeadOut, leadOutLBA, isLastData, isXAFormat, lastControl);
    }

    StartCacheThread(p__PCHalvorin_FileChain__Source, p__Mode.m__ULONG__LBSize, kMethod);
    isWriting = true;

    // A generated area in packets of 16 sectors through one buffer, the last one shorter.
    std::vector<std::uint8_t> packet(kPacketBufferSize);
    auto writeArea = [&](CHalvorin_FileChain& p__Area, std::uint32_t p__ULONG__Count,
                         const char* p__PCHAR__Name) {
      const std::uint32_t lbSize = p__Mode.m__ULONG__LBSize;
      p__Area.SeekToBegin();
      std::uint32_t left = p__ULONG__Count;
      while (left > kPacket) {
        std::memset(packet.data(), 0, packet.size());
        p__Area.Read(kPacket * lbSize, packet.data());
        Write10(packet.data(), kPacket * lbSize, static_cast<std::uint32_t>(address), kPacket);
        address += kPacket;
        left -= kPacket;
      }
      DebugTrace("\n%s(): %s last packet ( %ld ), generic packet ( %ld )\n", kMethod,
                 p__PCHAR__Name, static_cast<long>(left), static_cast<long>(kPacket));
      std::memset(packet.data(), 0, packet.size());
      p__Area.Read(std::uint64_t{left} * lbSize, packet.data());
      Write10(packet.data(), left * lbSize, static_cast<std::uint32_t>(address),
              static_cast<std::uint16_t>(left));
      address += static_cast<std::int32_t>(left);
    };
    DebugTrace("\n%s(): Before writing lead-in, NWA %ld, lead-in size in LBs %ld\n", kMethod,
               static_cast<long>(address), static_cast<long>(leadInSize));
    writeArea(*leadIn, static_cast<std::uint32_t>(leadInSize), "Lead-in");
    DebugTrace(
        "\n%s(): After writing lead-in, before writing pregap, NWA %ld, pregap size in LBs %ld\n",
        kMethod, static_cast<long>(address), static_cast<long>(kPreGap));
    writeArea(*preGap, static_cast<std::uint32_t>(kPreGap), "Pregap");
    DebugTrace("\n%s(): After writing pregap, before writing track, NWA %ld\n", kMethod,
               static_cast<long>(address));

    std::uint64_t writtenLBs = 0;
    CHalvorin_WriteReports reports(totalLBs, p__ULONG__ProgressInterval, p__ULONG__BufferInterval);
    // The producer's objects as they come; an empty queue waits on the producer's signal.
    while (CHalvorin_CacheObject* object = GetNextCacheObject(kMethod)) {
      try {
        Write10(object->m__PUCHAR__Buffer, object->m__ULONG__FilledUCHARs,
                static_cast<std::uint32_t>(address),
                static_cast<std::uint16_t>(object->m__ULONG__FilledLBs));
      } catch (...) {
        ReleaseCacheObject(object);
        throw;
      }
      address += static_cast<std::int32_t>(object->m__ULONG__FilledLBs);
      writtenLBs += object->m__ULONG__FilledLBs;
      ReleaseCacheObject(object);
      ReportWrite(reports, writtenLBs, true, kMethod);
    }
    if (address != leadOutLBA)
      HalvorinI_ThrowException(kHalvorinStatusInternalState, 0,
                               "%s(): The track ended at %ld instead of %ld!!!", kMethod,
                               static_cast<long>(address), static_cast<long>(leadOutLBA));
    DebugTrace("\n%s(): After writing track, before writing lead-out, NWA %ld\n", kMethod,
               static_cast<long>(address));
    writeArea(*leadOut, kHalvorinLeadOutSectors, "Lead-out");
    DebugTrace("\n%s(): After writing lead-out, NWA %ld\n", kMethod, static_cast<long>(address));

    Callback(SYNCHRONIZE_CACHE_BEGIN, nullptr, nullptr);
    SynchronizeCache();
    Callback(SYNCHRONIZE_CACHE_END, nullptr, nullptr);
    leadIn.reset();
    preGap.reset();
    leadOut.reset();
    ShutDownCacheThread();
    DebugTrace("\n%s(): EXITing with success\n", kMethod);
  } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    TraceWriteFailure(kMethod, p__PCHalvorin_Exception__Exception);
    // The producer stops first: nothing reads the source once this call has returned.
    ShutDownCacheThread();
    // The cache holds program-area data only once the write reached LBA 1.
    if (isWriting && address >= 1) {
      SynchronizeCacheAfterFailure(kMethod);
    }
    EjectAfterFailure(kMethod);
    throw;
  } catch (...) {
    ShutDownCacheThread();
    throw;
  }
}
