// Track-at-once writing: one track from one source at the next writable address, fed by the
// write-cache thread.
#include <cinttypes>
#include <cstring>
#include <memory>
#include <vector>

#include "halvorin.h"
#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/core/burner/write_reports.h"
#include "lib/core/debug_trace.h"
#include "lib/core/scsi/dumps.h"
#include "lib/mastering/tree/file_chain.h"

namespace {

constexpr const char* kMethod = "CHalvorin_CdvdBurnerGrabber::TrackAtOnce";
constexpr std::uint32_t kPaddingLimit = 0x80000;
constexpr std::uint32_t kPacket = 16;

// DVD media that take the disc-at-once sequence with a reservation.
bool IsSequentialDvd(DISC_TYPE p__DISC_TYPE__Type) {
  return p__DISC_TYPE__Type == DISC_TYPE_DVDROM || p__DISC_TYPE__Type == DISC_TYPE_DVDR ||
         p__DISC_TYPE__Type == DISC_TYPE_DVDRW_SEQUENTIAL;
}

// Media written at random once formatted: restricted overwrite behaves as DVD+RW.
bool IsRandomDvd(DISC_TYPE p__DISC_TYPE__Type) {
  return p__DISC_TYPE__Type == DISC_TYPE_DVDRAM || p__DISC_TYPE__Type == DISC_TYPE_DVDPLUSRW ||
         p__DISC_TYPE__Type == DISC_TYPE_DVDRW_RESTRICTED_OVERWRITE;
}

bool IsDvd(DISC_TYPE p__DISC_TYPE__Type) {
  return (p__DISC_TYPE__Type >= DISC_TYPE_DVDROM && p__DISC_TYPE__Type <= DISC_TYPE_DVDPLUSRW) ||
         p__DISC_TYPE__Type == DISC_TYPE_DVDPLUSR;
}

}  // namespace

void CHalvorin_CdvdBurnerGrabber::ThrowIfCancelled(const char* p__PCHAR__Method,
                                                   std::uint64_t p__ULONGLONG__Offset) {
  if (m__BOOLEAN__IsCancel.load())
    HalvorinI_ThrowException(kHalvorinStatusCancelled, 0,
                             "%s(): Cancel set at offset %" PRIu64 "!!!", p__PCHAR__Method,
                             p__ULONGLONG__Offset);
}

void CHalvorin_CdvdBurnerGrabber::TrackAtOnce(const CHalvorin_TrackAtOnceOptions& p__Options) {
  DebugTrace("\n%s(): ENTERed for 0x%08X\n", kMethod,
             static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(this)));
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  std::uint64_t writtenLBs = 0;
  try {
    TestUnitReadyCDB();
    m__BOOLEAN__IsCancel.store(false);
    m__UCHAR__LastWriteMode = kHalvorinWriteModeTrackAtOnce;
    const DISC_TYPE type = GetDiscTypeSafe();
    DebugTrace("\n%s(): Inserted disc type 0x%08X\n", kMethod, type);

    std::uint32_t lbSize = 2048, blockType = 8, trackMode = 4, sessionFormat = 0;
    if (p__Options.m__ULONG__TrackMode == 1 && !p__Options.m__BOOLEAN__IsXA) {
      DebugTrace("\n%s(): Setting write parameters to MODE1\n", kMethod);
    } else if (p__Options.m__ULONG__TrackMode == 1) {
      blockType = 10;
      sessionFormat = 0x20;
      DebugTrace("\n%s(): Setting write parameters to MODE2/Form1\n", kMethod);
    } else if (p__Options.m__ULONG__TrackMode == 2) {
      lbSize = 2352;
      blockType = 0;
      trackMode = 0;
      DebugTrace("\n%s(): Setting write parameters to audio\n", kMethod);
    } else {
      lbSize = 2332;
      blockType = 13;
      sessionFormat = 0x20;
      DebugTrace("\n%s(): Setting write parameters to MODE2/Form2\n", kMethod);
    }
    DebugTrace("\n%s(): Setting write parameters\n", kMethod);
    RestoreWriteParameters();
    if (IsSequentialDvd(type))
      SetWriteParameters(2, 8, 5, p__Options.m__BOOLEAN__IsTestWrite, false, 0, nullptr, true);
    else
      SetWriteParameters(
          1, static_cast<std::uint8_t>(blockType), static_cast<std::uint8_t>(trackMode),
          p__Options.m__BOOLEAN__IsTestWrite, p__Options.m__BOOLEAN__IsMultiSession,
          static_cast<std::uint8_t>(sessionFormat), p__Options.m__UCHAR__SubHeader, false);

    Callback(TARGET_FILE_ANALYZE_BEGIN, nullptr, nullptr);
    CHalvorin_FileChain* source = p__Options.m__PCHalvorin_FileChain__Source;
    if (!source)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0, "%s(): No source!!!", kMethod);
    std::uint64_t sizeInUCHARs = source->GetSizeInUCHARs();
    if (sizeInUCHARs == 0)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                               "%s(): The source is empty, nothing to write!!!", kMethod);
    // A last partial sector is written padded with zeros, so it counts.
    std::uint64_t sizeInLBs = (sizeInUCHARs + lbSize - 1) / lbSize;
    Callback(TARGET_FILE_ANALYZE_END, &sizeInUCHARs, &sizeInLBs);

    std::uint32_t padding = 0;
    if (IsDvd(type) && sizeInLBs <= kPaddingLimit - 1 && Halvorin_GetDVDPadding()) {
      padding = static_cast<std::uint32_t>(kPaddingLimit - sizeInLBs);
      Callback(DVD_MEDIA_PADDING_SIZE, &sizeInLBs, &padding);
    } else {
      DebugTrace("\n%s(): DVD padding is NOT used, chain size in LBs: %ld, padding state: %ld\n",
                 kMethod, static_cast<long>(sizeInLBs),
                 static_cast<long>(Halvorin_GetDVDPadding()));
    }

    DebugTrace("\n%s(): Reading track information\n", kMethod);
    std::vector<std::uint8_t> info(4096);
    auto readInformation = [&] {
      if (IsSequentialDvd(type))
        ReadTrackInformation(1, 1, info.data(), 4096);
      else if (IsRandomDvd(type))
        MakeTrackInformation(info.data());
      else
        ReadTrackInformation(1, 0xFF, info.data(), 4096);
    };
    readInformation();
    bool isBlank = false, isNwaValid = false;
    std::uint32_t freeBlocks = 0, nwa = 0;
    std::uint8_t trackNumber = 0;
    CHalvorin_DumpAndParseTrackInformation(info.data(), 4096, &isBlank, &isNwaValid, &freeBlocks,
                                           &nwa, &trackNumber);
    if (freeBlocks == 0 && (type == DISC_TYPE_DVDRAM || type == DISC_TYPE_DVDPLUSRW)) {
      if (type == DISC_TYPE_DVDRAM)
        FormatUnitForDVDRAM();
      else
        FormatUnitForDVDPLUSRW();
      readInformation();
      CHalvorin_DumpAndParseTrackInformation(info.data(), 4096, &isBlank, &isNwaValid, &freeBlocks,
                                             &nwa, &trackNumber);
    }
    if (!isBlank)
      HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0, "%s(): Track is not blank!!!",
                               kMethod);
    if (!isNwaValid && type != DISC_TYPE_DVDR)
      HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0, "%s(): NWA not valid!!!", kMethod);
    if (type == DISC_TYPE_DVDR && !isNwaValid) nwa = 0;
    // Refused before anything is written: the drive would stop at the end of the disc.
    if (sizeInLBs > freeBlocks)
      HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                               "%s(): File chain size in LBs %" PRIu64
                               " is larger the free LBs %ld!!!",
                               kMethod, sizeInLBs, static_cast<long>(freeBlocks));
    if (padding > freeBlocks - sizeInLBs)
      padding = static_cast<std::uint32_t>(freeBlocks - sizeInLBs);

    if (IsSequentialDvd(type)) {
      DebugTrace("\n%s(): Reserving track for DVD\n", kMethod);
      ReserveTrack(static_cast<std::uint32_t>(sizeInLBs + padding));
    }

    StartCacheThread(source, lbSize, kMethod);

    std::uint32_t address = nwa;
    CHalvorin_WriteReports reports(sizeInLBs, p__Options.m__ULONG__ProgressInterval,
                                   p__Options.m__ULONG__BufferInterval);
    while (CHalvorin_CacheObject* object = GetNextCacheObject(kMethod)) {
      try {
        Write10(object->m__PUCHAR__Buffer, object->m__ULONG__FilledUCHARs, address,
                static_cast<std::uint16_t>(object->m__ULONG__FilledLBs));
      } catch (...) {
        ReleaseCacheObject(object);
        throw;
      }
      address += object->m__ULONG__FilledLBs;
      writtenLBs += object->m__ULONG__FilledLBs;
      ReleaseCacheObject(object);
      ReportWrite(reports, writtenLBs, type != DISC_TYPE_DVDRAM, kMethod);
    }
    // The caller sees the track complete even when it took less than one interval.
    ReportWriteEnd(reports, writtenLBs);

    if (padding) {
      DebugTrace("\n%s(): Recording DVD padding...\n", kMethod);
      Callback(DVD_MEDIA_PADDING_BEGIN, nullptr, nullptr);
      std::vector<std::uint8_t> zeros(kPacket * 2048, 0);
      std::uint32_t left = padding;
      while (left > kPacket) {
        ThrowIfCancelled(kMethod, writtenLBs * lbSize);
        Write10(zeros.data(), kPacket * 2048, address, kPacket);
        address += kPacket;
        left -= kPacket;
      }
      ThrowIfCancelled(kMethod, writtenLBs * lbSize);
      DebugTrace("\n%s(): Padding last packet ( %ld ), generic packet ( %ld )\n", kMethod,
                 static_cast<long>(left), static_cast<long>(kPacket));
      Write10(zeros.data(), left * 2048, address, static_cast<std::uint16_t>(left));
      address += left;
      Callback(DVD_MEDIA_PADDING_END, nullptr, nullptr);
      DebugTrace("\n%s(): Done with recording DVD padding!\n", kMethod);
    }
    Callback(SYNCHRONIZE_CACHE_BEGIN, nullptr, nullptr);
    SynchronizeCache();
    Callback(SYNCHRONIZE_CACHE_END, nullptr, nullptr);
    ShutDownCacheThread();
    DebugTrace("\n%s(): EXITing with success\n", kMethod);
  } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    TraceWriteFailure(kMethod, p__PCHalvorin_Exception__Exception);
    // The producer stops first: nothing reads the source once this call has returned.
    ShutDownCacheThread();
    if (writtenLBs > 0) {
      DebugTrace("\n%s(): Synchronizing cache...\n", kMethod);
      try {
        SynchronizeCache();
      } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Sync) {
        std::unique_ptr<CHalvorin_Exception> exception(p__PCHalvorin_Exception__Sync);
      }
    }
    EjectAfterFailure(kMethod);
    throw;
  } catch (...) {
    ShutDownCacheThread();
    throw;
  }
}
