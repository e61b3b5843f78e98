// The grab exports: thin frames over the burner/grabber's four grabs.
#include "halvorin.h"
#include "lib/api/burner_handle.h"
#include "lib/api/export_frame.h"
#include "lib/core/burner/cdvd_burner_grabber.h"

namespace {

// Runs `body` with the burner/grabber of the handle and a file name that is there.
template <class Body>
HALVORIN_STATUS RunGrab(const char* p__PCHAR__Export, void* p__PVOID__BurnerGrabber,
                        const char* p__PCHAR__FileName, const HalvorinI_ExportPrefix& p__Prefix,
                        Body&& body) {
  return HalvorinI_RunExport(p__PCHAR__Export, p__Prefix, [&] {
    CHalvorin_CdvdBurnerGrabber* burner =
        HalvorinI_BurnerOrThrow(p__PVOID__BurnerGrabber, p__PCHAR__Export);
    if (!p__PCHAR__FileName)
      HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                               "Halvorin:%s(): The file name is NULL!!!", p__PCHAR__Export);
    body(burner);
  });
}

}  // namespace

extern "C" {

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_GrabTrack(
    HALVORIN_BURNER_PREFIX, uint8_t p__UCHAR__TrackNumber, const char* p__PCHAR__FileName,
    uint32_t p__ULONG__RetryDepth, uint8_t p__BOOLEAN__IsIgnore, uint8_t p__BOOLEAN__IsForce,
    uint32_t p__ULONG__ProgressInterval) {
  return RunGrab("Halvorin_CdvdBurnerGrabber_GrabTrack", p__PVOID__BurnerGrabber,
                 p__PCHAR__FileName, HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS),
                 [&](CHalvorin_CdvdBurnerGrabber* b) {
                   b->GrabTrack(p__UCHAR__TrackNumber, p__PCHAR__FileName, p__ULONG__RetryDepth,
                                p__BOOLEAN__IsIgnore != 0, p__BOOLEAN__IsForce != 0,
                                p__ULONG__ProgressInterval);
                 });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_GrabRange(
    HALVORIN_BURNER_PREFIX, int32_t p__LONG__StartLBA, int32_t p__LONG__EndingLBA,
    const char* p__PCHAR__FileName, uint32_t p__ULONG__RetryDepth, uint8_t p__BOOLEAN__IsIgnore,
    uint8_t p__BOOLEAN__IsForce, uint32_t p__ULONG__ProgressInterval) {
  return RunGrab("Halvorin_CdvdBurnerGrabber_GrabRange", p__PVOID__BurnerGrabber,
                 p__PCHAR__FileName, HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS),
                 [&](CHalvorin_CdvdBurnerGrabber* b) {
                   b->GrabRange(p__LONG__StartLBA, p__LONG__EndingLBA, p__PCHAR__FileName,
                                p__ULONG__RetryDepth, p__BOOLEAN__IsIgnore != 0,
                                p__BOOLEAN__IsForce != 0, p__ULONG__ProgressInterval);
                 });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_GrabCD(
    HALVORIN_BURNER_PREFIX, const char* p__PCHAR__BaseName, uint32_t p__ULONG__ReadMode,
    uint32_t p__ULONG__RetryDepth, uint8_t p__BOOLEAN__IsIgnore, uint8_t p__BOOLEAN__IsForce,
    uint32_t p__ULONG__ProgressInterval, uint8_t p__BOOLEAN__IsErrorCorrectionOff) {
  return RunGrab("Halvorin_CdvdBurnerGrabber_GrabCD", p__PVOID__BurnerGrabber, p__PCHAR__BaseName,
                 HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS), [&](CHalvorin_CdvdBurnerGrabber* b) {
                   b->GrabDisc(p__PCHAR__BaseName, p__ULONG__ReadMode, p__ULONG__RetryDepth,
                               p__BOOLEAN__IsIgnore != 0, p__BOOLEAN__IsForce != 0,
                               p__ULONG__ProgressInterval, p__BOOLEAN__IsErrorCorrectionOff != 0);
                 });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_GrabDVD(
    HALVORIN_BURNER_PREFIX, const char* p__PCHAR__BaseName, uint32_t p__ULONG__PartSizeInMB,
    uint32_t p__ULONG__RetryDepth, uint8_t p__BOOLEAN__IsIgnore, uint8_t p__BOOLEAN__IsForce,
    uint32_t p__ULONG__ProgressInterval) {
  return RunGrab("Halvorin_CdvdBurnerGrabber_GrabDVD", p__PVOID__BurnerGrabber, p__PCHAR__BaseName,
                 HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS), [&](CHalvorin_CdvdBurnerGrabber* b) {
                   b->GrabDiscSplit(p__PCHAR__BaseName, p__ULONG__PartSizeInMB,
                                    p__ULONG__RetryDepth, p__BOOLEAN__IsIgnore != 0,
                                    p__BOOLEAN__IsForce != 0, p__ULONG__ProgressInterval);
                 });
}

}  // extern "C"
