// The four grabs: a track or a range of one track into a file, a CD as a raw image beside its
// descriptor, a DVD as parts of a cooked image beside its descriptor. Each removes what it
// made when it fails (finished DVD parts stay).
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/core/critical_section_lock.h"
#include "lib/core/debug_trace.h"
#include "lib/core/grab/grab_file.h"
#include "lib/core/grab/grab_pass.h"
#include "lib/core/grab/grab_writer.h"
#include "lib/core/grab/image_descriptor.h"
#include "lib/core/trace_scope.h"

namespace {

// The full path of the caller's name. One that would not fit the path limit with its
// extension fails as its creation would: status 5 with the system's error.
std::string FullPathOf(const char* p__PCHAR__Method, const char* p__PCHAR__Name,
                       std::size_t p__SIZE_T__Extension) {
  std::string full;
  const std::uint32_t error = HalvorinI_GetFullPathName(p__PCHAR__Name, &full);
  if (error == ENAMETOOLONG || (!error && full.size() + p__SIZE_T__Extension >= kHalvorinMaxPath))
    HalvorinI_ThrowException(kHalvorinStatusSystemCall, ENAMETOOLONG,
                             "%s(): CreateFile( '%s' ) failed, status %ld!!!", p__PCHAR__Method,
                             p__PCHAR__Name ? p__PCHAR__Name : "", static_cast<long>(ENAMETOOLONG));
  if (error)
    HalvorinI_ThrowException(
        kHalvorinStatusSystemCall, error, "%s(): GetFullPathName( '%s' ) failed, status %ld!!!",
        p__PCHAR__Method, p__PCHAR__Name ? p__PCHAR__Name : "", static_cast<long>(error));
  return full;
}

std::unique_ptr<TOC_INFORMATION> ZeroedToc() {
  auto toc = std::make_unique<TOC_INFORMATION>();
  std::memset(toc.get(), 0, sizeof(TOC_INFORMATION));
  return toc;
}

}  // namespace

void CHalvorin_CdvdBurnerGrabber::GrabTrack(std::uint8_t p__UCHAR__TrackNumber,
                                            const char* p__PCHAR__FileName,
                                            std::uint32_t p__ULONG__RetryDepth,
                                            bool p__BOOLEAN__IsIgnore, bool p__BOOLEAN__IsForce,
                                            std::uint32_t p__ULONG__ProgressInterval) {
  constexpr const char* kMethod = "CHalvorin_CdvdBurnerGrabber::GrabTrack";
  CHalvorin_TraceScope trace(kMethod);
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  auto toc = ReadyForGrab();
  // Track 0 names no track either.
  if (p__UCHAR__TrackNumber == 0 || p__UCHAR__TrackNumber > toc->m__UCHAR__NumberOfTracks)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "%s(): Track number %ld exceeds TOC tracks %ld!!!", kMethod,
                             static_cast<long>(p__UCHAR__TrackNumber),
                             static_cast<long>(toc->m__UCHAR__NumberOfTracks));
  const std::int32_t index = p__UCHAR__TrackNumber - 1;
  const TOC_TRACK_ENTRY& track = toc->m__TOC_TRACK_ENTRY__Tracks[index];
  const std::uint32_t lbSize = toc->m__BOOLEAN__IsDVD ? 2048 : track.m__ULONG__UserBytesPerSector;
  if (lbSize == 0)
    HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                             "%s(): LB size %ld is unsupported!!!", kMethod,
                             static_cast<long>(lbSize));
  CHalvorin_GrabFile file(FullPathOf(kMethod, p__PCHAR__FileName, 0), kMethod);
  if (track.m__BOOLEAN__IsAudioTrack && !toc->m__BOOLEAN__IsDVD) {
    const auto sectors =
        static_cast<std::uint32_t>(track.m__LONG__EndLBA - track.m__LONG__StartLBA + 1);
    const WAVE_FILE_HEADER header = HalvorinI_MakeWaveFileHeader(sectors * 2352u);
    HalvorinI_WriteGrabFile(file.File(), &header, sizeof header, kMethod, " WAVE_FILE_HEADER ");
  }
  {
    CHalvorin_GrabWriter writer(file.File());
    CHalvorin_GrabPass pass;
    pass.m__LONG__TrackIndex = index;
    pass.m__PTOC_INFORMATION__Toc = toc.get();
    pass.m__PCHalvorin_GrabWriter__Writer = &writer;
    pass.m__ULONG__ProgressInterval = p__ULONG__ProgressInterval;
    pass.m__ULONG__RetryDepth = p__ULONG__RetryDepth;
    pass.m__BOOLEAN__IsIgnore = p__BOOLEAN__IsIgnore;
    pass.m__BOOLEAN__IsForce = p__BOOLEAN__IsForce;
    GrabTrackCooked(pass);
  }
  file.Keep(kMethod);
}

void CHalvorin_CdvdBurnerGrabber::GrabRange(std::int32_t p__LONG__StartLBA,
                                            std::int32_t p__LONG__EndingLBA,
                                            const char* p__PCHAR__FileName,
                                            std::uint32_t p__ULONG__RetryDepth,
                                            bool p__BOOLEAN__IsIgnore, bool p__BOOLEAN__IsForce,
                                            std::uint32_t p__ULONG__ProgressInterval) {
  constexpr const char* kMethod = "CHalvorin_CdvdBurnerGrabber::GrabRange";
  CHalvorin_TraceScope trace(kMethod);
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  auto toc = ReadyForGrab();
  if (p__LONG__EndingLBA < p__LONG__StartLBA)
    HalvorinI_ThrowException(
        kHalvorinStatusInvalidArgument, 0, "%s(): Range ending LBA %ld is before its start %ld!!!",
        kMethod, static_cast<long>(p__LONG__EndingLBA), static_cast<long>(p__LONG__StartLBA));
  // The one track that holds the start: the first whose end is at or after it.
  std::int32_t index = -1;
  for (std::int32_t i = 0; i < toc->m__UCHAR__NumberOfTracks; ++i)
    if (toc->m__TOC_TRACK_ENTRY__Tracks[i].m__LONG__EndLBA >= p__LONG__StartLBA) {
      index = i;
      break;
    }
  if (index < 0 || p__LONG__StartLBA < toc->m__TOC_TRACK_ENTRY__Tracks[index].m__LONG__StartLBA)
    HalvorinI_ThrowException(
        kHalvorinStatusRangeNotFound, 0, "%s(): Range %ld - %ld was not found!!!", kMethod,
        static_cast<long>(p__LONG__StartLBA), static_cast<long>(p__LONG__EndingLBA));
  const TOC_TRACK_ENTRY& track = toc->m__TOC_TRACK_ENTRY__Tracks[index];
  if (p__LONG__EndingLBA > track.m__LONG__EndLBA)
    HalvorinI_ThrowException(kHalvorinStatusRangeBeyondTrack, 0,
                             "%s(): Range ending LBA %ld is larger then track's ending LBA %ld!!!",
                             kMethod, static_cast<long>(p__LONG__EndingLBA),
                             static_cast<long>(track.m__LONG__EndLBA));
  if ((toc->m__BOOLEAN__IsDVD ? 2048 : track.m__ULONG__UserBytesPerSector) == 0)
    HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                             "%s(): LB size %ld is unsupported!!!", kMethod, 0L);
  CHalvorin_GrabFile file(FullPathOf(kMethod, p__PCHAR__FileName, 0), kMethod);
  {
    CHalvorin_GrabWriter writer(file.File());
    CHalvorin_GrabPass pass;
    pass.m__LONG__TrackIndex = index;
    pass.m__PTOC_INFORMATION__Toc = toc.get();
    pass.m__PCHalvorin_GrabWriter__Writer = &writer;
    pass.m__ULONG__ProgressInterval = p__ULONG__ProgressInterval;
    pass.m__ULONG__NestingDepth = 1;
    pass.m__ULONG__RetryDepth = p__ULONG__RetryDepth + 1;
    pass.m__LONG__StartLBA = p__LONG__StartLBA;
    pass.m__LONG__EndingLBA = p__LONG__EndingLBA;
    pass.m__BOOLEAN__IsIgnore = p__BOOLEAN__IsIgnore;
    pass.m__BOOLEAN__IsForce = p__BOOLEAN__IsForce;
    GrabTrackCooked(pass);
  }
  file.Keep(kMethod);
}

void CHalvorin_CdvdBurnerGrabber::GrabDisc(const char* p__PCHAR__BaseName,
                                           std::uint32_t p__ULONG__ReadMode,
                                           std::uint32_t p__ULONG__RetryDepth,
                                           bool p__BOOLEAN__IsIgnore, bool p__BOOLEAN__IsForce,
                                           std::uint32_t p__ULONG__ProgressInterval,
                                           bool p__BOOLEAN__IsErrorCorrectionOff) {
  constexpr const char* kMethod = "CHalvorin_CdvdBurnerGrabber::GrabDisc";
  CHalvorin_TraceScope trace(kMethod);
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  TestUnitReadyCDB();
  m__BOOLEAN__IsCancel.store(false);
  // The drive's own error correction comes back on however the grab ends.
  struct PutBack {
    CHalvorin_CdvdBurnerGrabber* self;
    bool armed;
    ~PutBack() {
      if (armed) self->RestoreReadErrorRecoverySafe();
    }
  } putBack{this, false};
  if (p__BOOLEAN__IsErrorCorrectionOff) {
    putBack.armed = true;
    DisableHardwareErrorCorrectionSafe();
  } else {
    RestoreReadErrorRecoverySafe();
  }
  auto toc = ZeroedToc();
  GetTOCInformation(toc.get());
  if (toc->m__BOOLEAN__IsDVD)
    HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0, "%s(): DVD media is unsupported!!!",
                             kMethod);
  bool modes[6] = {};
  ProbeSupportedReadModes(modes);
  if (p__ULONG__ReadMode < 1 || p__ULONG__ReadMode > 3 || !modes[p__ULONG__ReadMode])
    HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0, "%s(): Read mode is unsupported !!!",
                             kMethod);
  const std::string base = FullPathOf(kMethod, p__PCHAR__BaseName, 4);
  CHalvorin_GrabFile descriptor(base + ".mds", kMethod);
  CHalvorin_GrabFile data(base + ".qvf", kMethod);
  FormatFileMDSForCD(descriptor.File(), *toc, base.c_str());
  auto writer = std::make_unique<CHalvorin_GrabWriter>(data.File());
  std::int32_t count = toc->m__UCHAR__NumberOfTracks;
  for (std::int32_t n = 1; n <= count; ++n) {
    Callback(HALVORIN_CALLBACK_REASON_GRAB_TRACK_BEGIN, &n, &count);
    CHalvorin_GrabPass pass;
    pass.m__LONG__TrackIndex = n - 1;
    pass.m__PTOC_INFORMATION__Toc = toc.get();
    pass.m__PCHalvorin_GrabWriter__Writer = writer.get();
    pass.m__ULONG__ProgressInterval = p__ULONG__ProgressInterval;
    pass.m__ULONG__RetryDepth = p__ULONG__RetryDepth;
    pass.m__BOOLEAN__IsIgnore = p__BOOLEAN__IsIgnore;
    pass.m__BOOLEAN__IsForce = p__BOOLEAN__IsForce;
    pass.m__ULONG__ReadMode = p__ULONG__ReadMode;
    GrabTrackRaw(pass);
    Callback(HALVORIN_CALLBACK_REASON_GRAB_TRACK_END, &n, &count);
  }
  writer.reset();
  data.Keep(kMethod);
  descriptor.Keep(kMethod);
}

void CHalvorin_CdvdBurnerGrabber::GrabDiscSplit(const char* p__PCHAR__BaseName,
                                                std::uint32_t p__ULONG__PartSizeInMB,
                                                std::uint32_t p__ULONG__RetryDepth,
                                                bool p__BOOLEAN__IsIgnore, bool p__BOOLEAN__IsForce,
                                                std::uint32_t p__ULONG__ProgressInterval) {
  constexpr const char* kMethod = "CHalvorin_CdvdBurnerGrabber::GrabDiscSplit";
  CHalvorin_TraceScope trace(kMethod);
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  // Parts below 2 MB would hold no sector.
  if (p__ULONG__PartSizeInMB < 2)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "%s(): Part size %ld MB is below 2 MB!!!", kMethod,
                             static_cast<long>(p__ULONG__PartSizeInMB));
  auto toc = ReadyForGrab();
  if (!toc->m__BOOLEAN__IsDVD)
    HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                             "%s(): Non-DVD media is unsupported!!!", kMethod);
  const std::int64_t end = toc->m__TOC_TRACK_ENTRY__Tracks[0].m__LONG__EndLBA;
  const std::int64_t perPart =
      static_cast<std::int64_t>(static_cast<std::uint64_t>(p__ULONG__PartSizeInMB) * 1024 / 2048) *
      1024;
  const auto parts = static_cast<std::uint32_t>((end + 1 + perPart - 1) / perPart);
  const std::size_t longest = HalvorinI_GrabPartName("", parts ? parts - 1 : 0).size();
  const std::string base =
      FullPathOf(kMethod, p__PCHAR__BaseName, std::max<std::size_t>(4, longest));
  CHalvorin_GrabFile descriptor(base + ".mds", kMethod);
  std::uint32_t size = 0;
  FormatFileMDSForDVD(descriptor.File(), *toc, base.c_str(), &size, parts);
  std::int32_t count = static_cast<std::int32_t>(parts);
  for (std::int32_t i = 0; i < count; ++i) {
    CHalvorin_GrabFile part(HalvorinI_GrabPartName(base, static_cast<std::uint32_t>(i)), kMethod);
    Callback(HALVORIN_CALLBACK_REASON_SPLIT_SECTION_BEGIN, &i, &count);
    CHalvorin_GrabPass pass;
    pass.m__PTOC_INFORMATION__Toc = toc.get();
    CHalvorin_GrabWriter writer(part.File());
    pass.m__PCHalvorin_GrabWriter__Writer = &writer;
    pass.m__ULONG__ProgressInterval = p__ULONG__ProgressInterval;
    pass.m__ULONG__NestingDepth = 1;
    pass.m__ULONG__RetryDepth = p__ULONG__RetryDepth + 1;
    pass.m__LONG__StartLBA = static_cast<std::int32_t>(i * perPart);
    // The last part ends with the disc's last sector.
    pass.m__LONG__EndingLBA =
        static_cast<std::int32_t>(std::min<std::int64_t>((i + 1) * perPart - 1, end));
    pass.m__BOOLEAN__IsIgnore = p__BOOLEAN__IsIgnore;
    pass.m__BOOLEAN__IsForce = p__BOOLEAN__IsForce;
    pass.m__BOOLEAN__IsDVDPart = true;
    GrabTrackCooked(pass);
    part.Keep(kMethod);
    Callback(HALVORIN_CALLBACK_REASON_SPLIT_SECTION_END, &i, &count);
  }
  // The descriptor was whole before the first part was read: nothing of it is rewritten.
  descriptor.Keep(kMethod);
}

std::unique_ptr<TOC_INFORMATION> CHalvorin_CdvdBurnerGrabber::ReadyForGrab() {
  TestUnitReadyCDB();
  m__BOOLEAN__IsCancel.store(false);
  RestoreReadErrorRecoverySafe();
  auto toc = ZeroedToc();
  GetTOCInformation(toc.get());
  return toc;
}

void CHalvorin_CdvdBurnerGrabber::ReportGrabProgress(const CHalvorin_GrabPass& p__Pass,
                                                     CHalvorin_GrabProgress& p__Progress) {
  if (!p__Pass.m__ULONG__ProgressInterval) return;
  const std::uint64_t now = HalvorinI_GrabTickCount();
  if (now - p__Progress.m__ULONGLONG__LastReport > p__Pass.m__ULONG__ProgressInterval * 1000ull) {
    Callback(HALVORIN_CALLBACK_REASON_GRAB_PROGRESS, &p__Progress.m__ULONGLONG__Total,
             &p__Progress.m__ULONGLONG__Done);
    p__Progress.m__ULONGLONG__LastReport = now;
  }
}

void CHalvorin_CdvdBurnerGrabber::ThrowIfGrabCancelled(const char* p__PCHAR__Method,
                                                       std::int32_t p__LONG__LBA) const {
  if (IsCancel())
    HalvorinI_ThrowException(kHalvorinStatusCancelled, 0, "%s(): Cancel set at LBA offset %ld!!!",
                             p__PCHAR__Method, static_cast<long>(p__LONG__LBA));
}
