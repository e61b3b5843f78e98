// VideoCD and Super VideoCD exports: the patched data track and the MPEG track of one MPEG
// file, written track-at-once or session-at-once.
#include <cinttypes>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include "lib/api/track_export_support.h"
#include "lib/core/scsi/dumps.h"
#include "lib/mastering/videocd/mpeg12_track.h"
#include "lib/mastering/videocd/mpeg_program_stream.h"
#include "lib/mastering/videocd/videocd_data_track.h"
#include "lib/mastering/videocd/videocd_template.h"

namespace {

constexpr HALVORIN_STATUS kModeNotSupported = 16;

struct VideoCDKind {
  const char* m__PCHAR__Export;
  const char* m__PCHAR__ExportEx;
  const char* m__PCHAR__Template;
  std::uint32_t m__ULONG__PatchOffset;
  bool m__BOOLEAN__IsSuper;
};

constexpr VideoCDKind kVideoCD{"Halvorin_CdvdBurnerGrabber_VideoCD",
                               "Halvorin_CdvdBurnerGrabber_VideoCDEx", kHalvorinVideoCDTemplateName,
                               43104, false};
constexpr VideoCDKind kSuperVideoCD{"Halvorin_CdvdBurnerGrabber_SuperVideoCD",
                                    "Halvorin_CdvdBurnerGrabber_SuperVideoCDEx",
                                    kHalvorinSuperVideoCDTemplateName, 41056, true};

struct VideoCDArguments {
  const char* m__PCHAR__MPEGFileName;
  const char* m__PCHAR__Label;
  std::uint32_t m__ULONG__Volumes;
  std::uint32_t m__ULONG__VolumeNumber;
  bool m__BOOLEAN__IsTestWrite;
  std::uint32_t m__ULONG__ProgressInterval;
  std::uint32_t m__ULONG__BufferInterval;
};

// The arguments, and the MPEG file a stream of the disc's kind: a VideoCD plays MPEG-1, a Super
// VideoCD MPEG-2; any other file would make a disc that plays nothing.
void CheckArguments(const VideoCDKind& p__Kind, const VideoCDArguments& p__Arguments,
                    const char* p__PCHAR__Export) {
  if (!p__Arguments.m__PCHAR__MPEGFileName)
    HalvorinI_RefuseArgument(p__PCHAR__Export, "p__PCHAR__MPEGFileName == NULL");
  if (!p__Arguments.m__PCHAR__Label)
    HalvorinI_RefuseArgument(p__PCHAR__Export, "p__PCHAR__Label == NULL");
  const int kind = HalvorinI_MPEGFileKind(p__Arguments.m__PCHAR__MPEGFileName);
  const int wanted = p__Kind.m__BOOLEAN__IsSuper ? kHalvorinMPEG2Stream : kHalvorinMPEG1Stream;
  if (kind == kHalvorinNoMPEGStream)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "\nHalvorin:%s(): '%s' is not an MPEG program stream!!!\n",
                             p__PCHAR__Export, p__Arguments.m__PCHAR__MPEGFileName);
  if (kind != wanted)
    HalvorinI_ThrowException(
        kHalvorinStatusInvalidArgument, 0,
        "\nHalvorin:%s(): '%s' is an MPEG-%d program stream, a %s takes MPEG-%d!!!\n",
        p__PCHAR__Export, p__Arguments.m__PCHAR__MPEGFileName, kind,
        p__Kind.m__BOOLEAN__IsSuper ? "Super VideoCD" : "VideoCD", wanted);
}

// Track-at-once writes the data track, then the MPEG track behind it, and the template's
// addresses start at LBA 0: the disc must be a blank CD with room for both, which is known
// before the first sector is written. (Session-at-once checks the same in its own steps.)
void CheckDiscForTrackAtOnce(CHalvorin_CdvdBurnerGrabber* p__PBurner,
                             std::uint64_t p__ULONGLONG__Units, const char* p__PCHAR__Export) {
  const DISC_TYPE type = p__PBurner->GetInsertedDiscType();
  if (type > DISC_TYPE_CDRW)
    HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                             "\nHalvorin:%s(): Disc type (%ld) not valid for a VideoCD!!!\n",
                             p__PCHAR__Export, static_cast<long>(type));
  std::uint8_t info[4096] = {};
  p__PBurner->GetDiscInformation(info, sizeof info);
  if ((info[2] & 0x03) != 0)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "\nHalvorin:%s(): Disc status %ld is not empty, a VideoCD is laid "
                             "out from LBA 0 of a blank disc!!!\n",
                             p__PCHAR__Export, static_cast<long>(info[2] & 0x03));
  p__PBurner->GetTrackInformation(0xFF, info, sizeof info);
  bool isBlank = false, isNwaValid = false;
  std::uint32_t freeBlocks = 0, nwa = 0;
  std::uint8_t trackNumber = 0;
  CHalvorin_DumpAndParseTrackInformation(info, sizeof info, &isBlank, &isNwaValid, &freeBlocks,
                                         &nwa, &trackNumber);
  // The data track, its run-out, the MPEG track's pre-gap, then its units and empty units.
  const std::uint64_t needed =
      kHalvorinVideoCDMPEGTrackLBA + p__ULONGLONG__Units + 2 * kHalvorinMPEG12PaddingUnits;
  if (needed > freeBlocks)
    HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                             "\nHalvorin:%s(): File chain size in LBs %" PRIu64
                             " is larger the free LBs %ld!!!\n",
                             p__PCHAR__Export, needed, static_cast<long>(freeBlocks));
}

// The data track in the form the write mode reads: 2048-byte blocks or 2336-byte units.
template <bool IsMode2>
std::unique_ptr<CHalvorin_VCDDATATrack> MakeDataTrack(const VideoCDKind& p__Kind,
                                                      const VideoCDArguments& p__A) {
  using Plain = std::conditional_t<IsMode2, CHalvorin_VCDDATATrackMode2, CHalvorin_VCDDATATrack>;
  using Super = std::conditional_t<IsMode2, CHalvorin_SVCDDATATrackMode2, CHalvorin_SVCDDATATrack>;
  if (p__Kind.m__BOOLEAN__IsSuper)
    return std::unique_ptr<CHalvorin_VCDDATATrack>(new (std::nothrow) Super(
        p__A.m__PCHAR__MPEGFileName, p__A.m__PCHAR__Label, p__A.m__ULONG__Volumes,
        p__A.m__ULONG__VolumeNumber, p__Kind.m__PCHAR__Template, p__Kind.m__ULONG__PatchOffset));
  return std::unique_ptr<CHalvorin_VCDDATATrack>(new (std::nothrow) Plain(
      p__A.m__PCHAR__MPEGFileName, p__A.m__PCHAR__Label, p__A.m__ULONG__Volumes,
      p__A.m__ULONG__VolumeNumber, p__Kind.m__PCHAR__Template, p__Kind.m__ULONG__PatchOffset));
}

CHalvorin_TrackAtOnceOptions Options(CHalvorin_FileChain* p__PSource, const VideoCDArguments& p__A,
                                     bool p__BOOLEAN__IsMultiSession, std::uint32_t p__ULONG__Mode,
                                     std::uint8_t p__UCHAR__SubMode) {
  CHalvorin_TrackAtOnceOptions o;
  o.m__PCHalvorin_FileChain__Source = p__PSource;
  o.m__BOOLEAN__IsXA = true;
  o.m__BOOLEAN__IsTestWrite = p__A.m__BOOLEAN__IsTestWrite;
  o.m__BOOLEAN__IsMultiSession = p__BOOLEAN__IsMultiSession;
  o.m__ULONG__ProgressInterval = p__A.m__ULONG__ProgressInterval;
  o.m__ULONG__BufferInterval = p__A.m__ULONG__BufferInterval;
  o.m__ULONG__TrackMode = p__ULONG__Mode;
  o.m__UCHAR__SubHeader[2] = p__UCHAR__SubMode;
  return o;
}

// Track-at-once: the data track, then the MPEG track of Mode 2 Form 2 units.
HALVORIN_STATUS TrackAtOnce(const VideoCDKind& p__Kind, void* p__PVOID__BurnerGrabber,
                            const HalvorinI_ExportPrefix& p__Prefix, const VideoCDArguments& p__A) {
  const char* kExport = p__Kind.m__PCHAR__Export;
  HALVORIN_STATUS notMade = HALVORIN_STATUS_SUCCESS;
  const HALVORIN_STATUS status = HalvorinI_RunExport(kExport, p__Prefix, [&] {
    CHalvorin_CdvdBurnerGrabber* burner =
        HalvorinI_TrackBurnerOrThrow(p__PVOID__BurnerGrabber, kExport);
    CheckArguments(p__Kind, p__A, kExport);
    std::unique_ptr<CHalvorin_VCDDATATrack> data = MakeDataTrack<false>(p__Kind, p__A);
    if (!data) {
      notMade = HALVORIN_STATUS_OUT_OF_MEMORY;
      return;
    }
    std::unique_ptr<CHalvorin_MPEG12Track> mpeg(
        new (std::nothrow) CHalvorin_MPEG12Track(p__A.m__PCHAR__MPEGFileName));
    if (!mpeg) {
      notMade = HALVORIN_STATUS_OUT_OF_MEMORY;
      return;
    }
    CheckDiscForTrackAtOnce(burner, data->GetMPEGUnits(), kExport);
    // The "track flag" of the data track is the multi-session option: it keeps the disc open
    // for the MPEG track behind it. Submode 08h marks the data track's units as data.
    burner->TrackAtOnce(Options(data.get(), p__A, true, 1, 0x08));
    burner->TrackAtOnce(Options(mpeg.get(), p__A, false, 3, 0x00));
  });
  return status ? status : notMade;
}

// Session-at-once: both tracks as 2336-byte Mode 2 units, the MPEG track 2 sectors further.
HALVORIN_STATUS SessionAtOnce(const VideoCDKind& p__Kind, void* p__PVOID__BurnerGrabber,
                              const HalvorinI_ExportPrefix& p__Prefix,
                              const VideoCDArguments& p__A) {
  const char* kExport = p__Kind.m__PCHAR__ExportEx;
  HALVORIN_STATUS notMade = HALVORIN_STATUS_SUCCESS;
  const HALVORIN_STATUS status = HalvorinI_RunExport(kExport, p__Prefix, [&] {
    CHalvorin_CdvdBurnerGrabber* burner =
        HalvorinI_TrackBurnerOrThrow(p__PVOID__BurnerGrabber, kExport);
    CheckArguments(p__Kind, p__A, kExport);
    std::unique_ptr<CHalvorin_VCDDATATrack> data = MakeDataTrack<true>(p__Kind, p__A);
    if (!data) {
      notMade = HALVORIN_STATUS_OUT_OF_MEMORY;
      return;
    }
    std::unique_ptr<CHalvorin_MPEG12Track> mpeg(
        new (std::nothrow) CHalvorin_MPEG12TrackMode2(p__A.m__PCHAR__MPEGFileName));
    if (!mpeg) {
      notMade = HALVORIN_STATUS_OUT_OF_MEMORY;
      return;
    }
    auto tracks = std::make_unique<SAO_TRACK_ARRAY>();
    std::memset(tracks.get(), 0, sizeof *tracks);
    tracks->m__LONG__NumberOfTracks = 2;
    SAO_TRACK_ENTRY& first = tracks->m__SAO_TRACK_ENTRY__Tracks[0];
    first.m__BOOLEAN__IsXA = 1;
    first.m__PVOID__Tree = HalvorinI_HandleOf(static_cast<CHalvorin_FileChain*>(data.get()));
    SAO_TRACK_ENTRY& second = tracks->m__SAO_TRACK_ENTRY__Tracks[1];
    second.m__BOOLEAN__IsXA = 1;
    second.m__LONG__PreGapInLBs = 2;
    second.m__PVOID__Tree = HalvorinI_HandleOf(static_cast<CHalvorin_FileChain*>(mpeg.get()));
    burner->SessionAtOnce(tracks.get(), true, p__A.m__BOOLEAN__IsTestWrite, false,
                          p__A.m__ULONG__ProgressInterval, p__A.m__ULONG__BufferInterval, false);
  });
  return status ? status : notMade;
}

HALVORIN_STATUS WriteEx(const VideoCDKind& p__Kind, std::uint32_t p__ULONG__Mode,
                        void* p__PVOID__BurnerGrabber, const HalvorinI_ExportPrefix& p__Prefix,
                        const VideoCDArguments& p__A) {
  if (p__ULONG__Mode > 1) return kModeNotSupported;
  if (p__ULONG__Mode == 0) return TrackAtOnce(p__Kind, p__PVOID__BurnerGrabber, p__Prefix, p__A);
  return SessionAtOnce(p__Kind, p__PVOID__BurnerGrabber, p__Prefix, p__A);
}

}  // namespace

#define VIDEOCD_ARGUMENTS                                                                  \
  VideoCDArguments {                                                                       \
    p__PCHAR__MPEGFileName, p__PCHAR__Label, p__ULONG__Volumes, p__ULONG__VolumeNumber,    \
        p__BOOLEAN__IsTestWrite != 0, p__ULONG__ProgressInterval, p__ULONG__BufferInterval \
  }

extern "C" {

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_VideoCD(
    HALVORIN_BURNER_PREFIX, const char* p__PCHAR__MPEGFileName, const char* p__PCHAR__Label,
    uint32_t p__ULONG__Volumes, uint32_t p__ULONG__VolumeNumber, uint8_t p__BOOLEAN__IsTestWrite,
    uint32_t p__ULONG__ProgressInterval, uint32_t p__ULONG__BufferInterval) {
  return TrackAtOnce(kVideoCD, p__PVOID__BurnerGrabber, HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS),
                     VIDEOCD_ARGUMENTS);
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_VideoCDEx(
    HALVORIN_BURNER_PREFIX, uint32_t p__ULONG__Mode, const char* p__PCHAR__MPEGFileName,
    const char* p__PCHAR__Label, uint32_t p__ULONG__Volumes, uint32_t p__ULONG__VolumeNumber,
    uint8_t p__BOOLEAN__IsTestWrite, uint32_t p__ULONG__ProgressInterval,
    uint32_t p__ULONG__BufferInterval) {
  return WriteEx(kVideoCD, p__ULONG__Mode, p__PVOID__BurnerGrabber,
                 HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS), VIDEOCD_ARGUMENTS);
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_SuperVideoCD(
    HALVORIN_BURNER_PREFIX, const char* p__PCHAR__MPEGFileName, const char* p__PCHAR__Label,
    uint32_t p__ULONG__Volumes, uint32_t p__ULONG__VolumeNumber, uint8_t p__BOOLEAN__IsTestWrite,
    uint32_t p__ULONG__ProgressInterval, uint32_t p__ULONG__BufferInterval) {
  return TrackAtOnce(kSuperVideoCD, p__PVOID__BurnerGrabber,
                     HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS), VIDEOCD_ARGUMENTS);
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_SuperVideoCDEx(
    HALVORIN_BURNER_PREFIX, uint32_t p__ULONG__Mode, const char* p__PCHAR__MPEGFileName,
    const char* p__PCHAR__Label, uint32_t p__ULONG__Volumes, uint32_t p__ULONG__VolumeNumber,
    uint8_t p__BOOLEAN__IsTestWrite, uint32_t p__ULONG__ProgressInterval,
    uint32_t p__ULONG__BufferInterval) {
  return WriteEx(kSuperVideoCD, p__ULONG__Mode, p__PVOID__BurnerGrabber,
                 HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS), VIDEOCD_ARGUMENTS);
}

}  // extern "C"
