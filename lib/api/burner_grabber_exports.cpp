// Exports of the burner/grabber: thin frames over CHalvorin_CdvdBurnerGrabber. A handle that is
// not a burner/grabber gives status 2 (or the neutral result for the functions without one).
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "halvorin.h"
#include "lib/api/burner_handle.h"
#include "lib/api/export_frame.h"
#include "lib/audio/tidewell.h"
#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/mastering/iso9660/iso9660_file_tree.h"
#include "lib/mastering/tree/file_chain.h"
#include "lib/mastering/tree/file_objects.h"

namespace {

template <class T>
T* NotNull(T* p__Pointer, const char* p__PCHAR__Export) {
  if (!p__Pointer)
    HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                             "Halvorin:%s(): A pointer argument is NULL!!!", p__PCHAR__Export);
  return p__Pointer;
}

// Runs `body` with the burner/grabber of the handle inside the frame.
template <class Body>
HALVORIN_STATUS RunBurner(const char* p__PCHAR__Export, void* p__PVOID__BurnerGrabber,
                          const HalvorinI_ExportPrefix& p__Prefix, Body&& body) {
  return HalvorinI_RunExport(p__PCHAR__Export, p__Prefix, [&] {
    body(HalvorinI_BurnerOrThrow(p__PVOID__BurnerGrabber, p__PCHAR__Export));
  });
}

CHalvorin_TrackAtOnceOptions Options(CHalvorin_FileChain* p__PCHalvorin_FileChain__Source,
                                     uint32_t p__ULONG__TrackMode, uint8_t xa, uint8_t test,
                                     uint8_t multi, uint32_t progress, uint32_t buffer) {
  CHalvorin_TrackAtOnceOptions o;
  o.m__PCHalvorin_FileChain__Source = p__PCHalvorin_FileChain__Source;
  o.m__ULONG__TrackMode = p__ULONG__TrackMode;
  o.m__BOOLEAN__IsXA = xa != 0;
  o.m__BOOLEAN__IsTestWrite = test != 0;
  o.m__BOOLEAN__IsMultiSession = multi != 0;
  o.m__ULONG__ProgressInterval = progress;
  o.m__ULONG__BufferInterval = buffer;
  return o;
}

}  // namespace

extern "C" {

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_Create(
    void** p__PPVOID__BurnerGrabber, char* p__PCHAR__ExceptionText,
    uint32_t p__ULONG__ExceptionTextLength, uint32_t* p__PULONG__SystemError,
    CDB_FAILURE_INFORMATION* p__PCDB_FAILURE_INFORMATION__Failure,
    HALVORIN_CALLBACK p__HALVORIN_CALLBACK__Callback, void* p__PVOID__Context,
    uint8_t p__UCHAR__HostAdapter, uint8_t p__UCHAR__Bus, uint8_t p__UCHAR__TargetID,
    uint8_t p__UCHAR__LUN, uint32_t p__ULONG__CacheSizeInMB) {
  return HalvorinI_RunCreatingExport(
      "Halvorin_CdvdBurnerGrabber_Create", p__PPVOID__BurnerGrabber,
      HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS), [&] {
        return std::unique_ptr<CHalvorin_Object>(std::make_unique<CHalvorin_CdvdBurnerGrabber>(
            p__HALVORIN_CALLBACK__Callback, p__PVOID__Context, p__UCHAR__HostAdapter, p__UCHAR__Bus,
            p__UCHAR__TargetID, p__UCHAR__LUN, p__ULONG__CacheSizeInMB));
      });
}

void Halvorin_CdvdBurnerGrabber_GetDeviceInformation(void* p__PVOID__BurnerGrabber,
                                                     char* p__PCHAR__Vendor,
                                                     char* p__PCHAR__Product,
                                                     char* p__PCHAR__Revision,
                                                     uint32_t* p__PULONG__BufferSize) {
  if (CHalvorin_CdvdBurnerGrabber* burner = HalvorinI_BurnerOf(p__PVOID__BurnerGrabber))
    burner->GetDeviceInformation(p__PCHAR__Vendor, p__PCHAR__Product, p__PCHAR__Revision,
                                 p__PULONG__BufferSize);
}

void Halvorin_CdvdBurnerGrabber_GetSupportedMediaFormats(void* p__PVOID__BurnerGrabber, uint8_t* a,
                                                         uint8_t* b, uint8_t* c, uint8_t* d,
                                                         uint8_t* e, uint8_t* f, uint8_t* g,
                                                         uint8_t* h, uint8_t* i, uint8_t* j) {
  bool flags[10] = {};
  if (CHalvorin_CdvdBurnerGrabber* burner = HalvorinI_BurnerOf(p__PVOID__BurnerGrabber))
    burner->GetSupportedMediaFormats(flags);
  uint8_t* out[10] = {a, b, c, d, e, f, g, h, i, j};
  for (int k = 0; k < 10; ++k)
    if (out[k]) *out[k] = flags[k] ? 1 : 0;
}

void Halvorin_CdvdBurnerGrabber_GetSupportedMediaFormatsEx(void* p__PVOID__BurnerGrabber,
                                                           uint8_t* a, uint8_t* b, uint8_t* c,
                                                           uint8_t* d) {
  bool flags[4] = {};
  if (CHalvorin_CdvdBurnerGrabber* burner = HalvorinI_BurnerOf(p__PVOID__BurnerGrabber))
    burner->GetSupportedMediaFormatsEx(flags);
  uint8_t* out[4] = {a, b, c, d};
  for (int k = 0; k < 4; ++k)
    if (out[k]) *out[k] = flags[k] ? 1 : 0;
}

DISC_TYPE Halvorin_CdvdBurnerGrabber_GetInsertedDiscType(void* p__PVOID__BurnerGrabber) {
  CHalvorin_CdvdBurnerGrabber* burner = HalvorinI_BurnerOf(p__PVOID__BurnerGrabber);
  return burner ? burner->GetInsertedDiscType() : DISC_TYPE_UNKNOWN;
}

void Halvorin_CdvdBurnerGrabber_Cancel(void* p__PVOID__BurnerGrabber) {
  if (CHalvorin_CdvdBurnerGrabber* burner = HalvorinI_BurnerOf(p__PVOID__BurnerGrabber))
    burner->Cancel();
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_TestUnitReady(HALVORIN_BURNER_PREFIX) {
  return RunBurner("Halvorin_CdvdBurnerGrabber_TestUnitReady", p__PVOID__BurnerGrabber,
                   HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS),
                   [&](auto* b) { b->TestUnitReady(10); });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_TestUnitReadyEx(HALVORIN_BURNER_PREFIX,
                                                           uint32_t p__ULONG__Seconds) {
  return RunBurner("Halvorin_CdvdBurnerGrabber_TestUnitReadyEx", p__PVOID__BurnerGrabber,
                   HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS),
                   [&](auto* b) { b->TestUnitReady(p__ULONG__Seconds); });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_GetBUP(HALVORIN_BURNER_PREFIX,
                                                  uint8_t* p__PBOOLEAN__IsEnabled,
                                                  uint8_t* p__PBOOLEAN__IsSupported) {
  constexpr const char* kExport = "Halvorin_CdvdBurnerGrabber_GetBUP";
  return RunBurner(kExport, p__PVOID__BurnerGrabber, HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS),
                   [&](auto* b) {
                     bool enabled = false, supported = false;
                     NotNull(p__PBOOLEAN__IsEnabled, kExport);
                     NotNull(p__PBOOLEAN__IsSupported, kExport);
                     b->GetBUP(&enabled, &supported);
                     *p__PBOOLEAN__IsEnabled = enabled;
                     *p__PBOOLEAN__IsSupported = supported;
                   });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_SetBUP(HALVORIN_BURNER_PREFIX,
                                                  uint8_t p__BOOLEAN__IsEnabled) {
  return RunBurner("Halvorin_CdvdBurnerGrabber_SetBUP", p__PVOID__BurnerGrabber,
                   HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS),
                   [&](auto* b) { b->SetBUP(p__BOOLEAN__IsEnabled != 0); });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_GetSpeeds(HALVORIN_BURNER_PREFIX, uint32_t* a,
                                                     uint32_t* c, uint32_t* d, uint32_t* e) {
  constexpr const char* kExport = "Halvorin_CdvdBurnerGrabber_GetSpeeds";
  return RunBurner(kExport, p__PVOID__BurnerGrabber, HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS),
                   [&](auto* b) {
                     b->GetCdvdSpeeds(NotNull(a, kExport), NotNull(c, kExport), NotNull(d, kExport),
                                      NotNull(e, kExport));
                   });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_SetSpeeds(HALVORIN_BURNER_PREFIX, uint32_t r,
                                                     uint32_t w) {
  return RunBurner("Halvorin_CdvdBurnerGrabber_SetSpeeds", p__PVOID__BurnerGrabber,
                   HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS),
                   [&](auto* b) { b->SetCdvdSpeeds(r, w); });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_SendOPC(HALVORIN_BURNER_PREFIX) {
  return RunBurner("Halvorin_CdvdBurnerGrabber_SendOPC", p__PVOID__BurnerGrabber,
                   HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS), [&](auto* b) { b->SendOPC(); });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_CloseSession(HALVORIN_BURNER_PREFIX) {
  return RunBurner("Halvorin_CdvdBurnerGrabber_CloseSession", p__PVOID__BurnerGrabber,
                   HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS), [&](auto* b) { b->CloseSession(); });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_Blank(HALVORIN_BURNER_PREFIX,
                                                 uint8_t p__UCHAR__BlankingType) {
  return RunBurner("Halvorin_CdvdBurnerGrabber_Blank", p__PVOID__BurnerGrabber,
                   HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS),
                   [&](auto* b) { b->Blank(p__UCHAR__BlankingType, 0); });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_Eject(HALVORIN_BURNER_PREFIX) {
  return RunBurner("Halvorin_CdvdBurnerGrabber_Eject", p__PVOID__BurnerGrabber,
                   HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS), [&](auto* b) { b->Eject(); });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_Load(HALVORIN_BURNER_PREFIX) {
  return RunBurner("Halvorin_CdvdBurnerGrabber_Load", p__PVOID__BurnerGrabber,
                   HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS), [&](auto* b) { b->Load(); });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_Lock(HALVORIN_BURNER_PREFIX) {
  return RunBurner("Halvorin_CdvdBurnerGrabber_Lock", p__PVOID__BurnerGrabber,
                   HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS), [&](auto* b) { b->Lock(); });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_Release(HALVORIN_BURNER_PREFIX) {
  return RunBurner("Halvorin_CdvdBurnerGrabber_Release", p__PVOID__BurnerGrabber,
                   HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS), [&](auto* b) { b->Release(); });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_GetDVDProtectionSystem(HALVORIN_BURNER_PREFIX,
                                                                  uint8_t* p__PUCHAR__System) {
  constexpr const char* kExport = "Halvorin_CdvdBurnerGrabber_GetDVDProtectionSystem";
  return RunBurner(
      kExport, p__PVOID__BurnerGrabber, HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS),
      [&](auto* b) { b->GetDVDProtectionSystem(NotNull(p__PUCHAR__System, kExport)); });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_GetTrackInformation(HALVORIN_BURNER_PREFIX,
                                                               uint8_t p__UCHAR__TrackNumber,
                                                               TRACK_INFORMATION* p__PInfo) {
  constexpr const char* kExport = "Halvorin_CdvdBurnerGrabber_GetTrackInformation";
  if (p__PInfo) p__PInfo->m__UCHAR__IsValid = 0;
  return RunBurner(
      kExport, p__PVOID__BurnerGrabber, HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS), [&](auto* b) {
        NotNull(p__PInfo, kExport);
        std::vector<std::uint8_t> d(4096);
        b->GetTrackInformation(p__UCHAR__TrackNumber, d.data(), 4096);
        auto u32 = [&](int i) {
          return static_cast<uint32_t>(d[i]) << 24 | d[i + 1] << 16 | d[i + 2] << 8 | d[i + 3];
        };
        TRACK_INFORMATION t{};
        t.m__UCHAR__IsValid = 1;
        t.m__UCHAR__TrackNumber = d[2];
        t.m__UCHAR__SessionNumber = d[3];
        t.m__UCHAR__TrackMode = d[5] & 0x0F;
        t.m__BOOLEAN__IsCopy = (d[5] >> 4) & 1;
        t.m__BOOLEAN__IsDamage = (d[5] >> 5) & 1;
        t.m__UCHAR__DataMode = d[6] & 0x0F;
        t.m__BOOLEAN__IsFixedPacket = (d[6] >> 4) & 1;
        t.m__BOOLEAN__IsPacket = (d[6] >> 5) & 1;
        t.m__BOOLEAN__IsBlank = (d[6] >> 6) & 1;
        t.m__BOOLEAN__IsReservedTrack = (d[6] >> 7) & 1;
        t.m__BOOLEAN__IsNextWritableAddressValid = d[7] & 1;
        t.m__LONG__TrackStartAddress = static_cast<int32_t>(u32(8));
        t.m__LONG__NextWritableAddress = static_cast<int32_t>(u32(12));
        t.m__ULONG__FreeBlocks = u32(16);
        t.m__ULONG__FixedPacketSize = u32(20);
        *p__PInfo = t;
      });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_GetDiscInformation(HALVORIN_BURNER_PREFIX,
                                                              DISC_INFORMATION* p__PInfo) {
  constexpr const char* kExport = "Halvorin_CdvdBurnerGrabber_GetDiscInformation";
  if (p__PInfo) p__PInfo->m__UCHAR__IsValid = 0;
  return RunBurner(kExport, p__PVOID__BurnerGrabber, HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS),
                   [&](auto* b) {
                     NotNull(p__PInfo, kExport);
                     std::vector<std::uint8_t> d(4096);
                     b->GetDiscInformation(d.data(), 4096);
                     DISC_INFORMATION i{};
                     i.m__UCHAR__IsValid = 1;
                     i.m__UCHAR__DiscStatus = d[2] & 0x03;
                     i.m__UCHAR__StateOfLastSession = (d[2] >> 2) & 0x03;
                     i.m__BOOLEAN__IsErasable = (d[2] >> 4) & 1;
                     i.m__UCHAR__FirstTrackOnDisc = d[3];
                     i.m__UCHAR__NumberOfSessions = d[4];
                     i.m__UCHAR__FirstTrackInLastSession = d[5];
                     i.m__UCHAR__LastTrackInLastSession = d[6];
                     i.m__BOOLEAN__IsURU = (d[7] >> 5) & 1;
                     i.m__BOOLEAN__IsDBC_V = (d[7] >> 6) & 1;
                     i.m__BOOLEAN__IsDID_V = (d[7] >> 7) & 1;
                     i.m__UCHAR__DiscType = d[8];
                     std::memcpy(i.m__UCHAR__DiscIdentification, &d[12], 4);
                     std::memcpy(i.m__UCHAR__LastSessionLeadInStart, &d[16], 4);
                     std::memcpy(i.m__UCHAR__LastPossibleLeadOutStart, &d[20], 4);
                     std::memcpy(i.m__UCHAR__DiscBarCode, &d[24], 8);
                     i.m__UCHAR__NumberOfOPCTables = d[33];
                     *p__PInfo = i;
                   });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_GetTOCInformation(HALVORIN_BURNER_PREFIX,
                                                             TOC_INFORMATION* p__PToc) {
  constexpr const char* kExport = "Halvorin_CdvdBurnerGrabber_GetTOCInformation";
  if (p__PToc) std::memset(p__PToc, 0, sizeof(TOC_INFORMATION));
  return RunBurner(kExport, p__PVOID__BurnerGrabber, HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS),
                   [&](auto* b) { b->GetTOCInformation(NotNull(p__PToc, kExport)); });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_ProbeSupportedReadModes(HALVORIN_BURNER_PREFIX,
                                                                   uint8_t* a, uint8_t* c,
                                                                   uint8_t* d, uint8_t* e,
                                                                   uint8_t* f, uint8_t* g) {
  return RunBurner("Halvorin_CdvdBurnerGrabber_ProbeSupportedReadModes", p__PVOID__BurnerGrabber,
                   HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS), [&](auto* b) {
                     bool flags[6] = {};
                     b->ProbeSupportedReadModes(flags);
                     uint8_t* out[6] = {a, c, d, e, f, g};
                     for (int k = 0; k < 6; ++k)
                       if (out[k]) *out[k] = flags[k] ? 1 : 0;
                   });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_ProbeSupportedWriteModes(HALVORIN_BURNER_PREFIX,
                                                                    uint8_t* a, uint8_t* c,
                                                                    uint8_t* d, uint8_t* e) {
  return RunBurner("Halvorin_CdvdBurnerGrabber_ProbeSupportedWriteModes", p__PVOID__BurnerGrabber,
                   HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS), [&](auto* b) {
                     bool flags[4] = {};
                     b->ProbeSupportedWriteModes(&flags[0], &flags[1], &flags[2], &flags[3]);
                     uint8_t* out[4] = {a, c, d, e};
                     for (int k = 0; k < 4; ++k)
                       if (out[k]) *out[k] = flags[k] ? 1 : 0;
                   });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_Read10(HALVORIN_BURNER_PREFIX, void* p__PVOID__Buffer,
                                                  uint32_t p__ULONG__BufferSize,
                                                  uint32_t p__ULONG__LBA,
                                                  uint16_t p__USHORT__Blocks) {
  constexpr const char* kExport = "Halvorin_CdvdBurnerGrabber_Read10";
  return RunBurner(
      kExport, p__PVOID__BurnerGrabber, HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS), [&](auto* b) {
        NotNull(p__PVOID__Buffer, kExport);
        // The transfer may never pass the caller's buffer.
        if (static_cast<uint64_t>(p__USHORT__Blocks) * 2048 > p__ULONG__BufferSize)
          HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                                   "Halvorin:%s(): %u blocks do not fit in %u UCHARs!!!", kExport,
                                   static_cast<unsigned>(p__USHORT__Blocks),
                                   static_cast<unsigned>(p__ULONG__BufferSize));
        b->Read10(p__PVOID__Buffer, static_cast<uint32_t>(p__USHORT__Blocks) * 2048, p__ULONG__LBA,
                  p__USHORT__Blocks);
      });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(HALVORIN_BURNER_PREFIX,
                                                               void* p__PVOID__Tree, uint8_t xa,
                                                               uint8_t test, uint8_t multi,
                                                               uint32_t progress, uint32_t buffer) {
  constexpr const char* kExport = "Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree";
  return RunBurner(
      kExport, p__PVOID__BurnerGrabber, HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS), [&](auto* b) {
        auto* tree = p__PVOID__Tree ? HalvorinI_ObjectOf<CHalvorin_ISO9660FileTree>(p__PVOID__Tree)
                                    : nullptr;
        if (!tree)
          HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                                   "Halvorin:%s(): The tree handle %p is not a file tree!!!",
                                   kExport, p__PVOID__Tree);
        if (!tree->IsBuilt())
          HalvorinI_ThrowException(kHalvorinStatusInternalState, 0,
                                   "Halvorin:%s(): The tree's image is not built!!!", kExport);
        tree->SeekImage();
        b->TrackAtOnce(Options(tree, 1, xa, test, multi, progress, buffer));
      });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_TrackAtOnceFromFile(HALVORIN_BURNER_PREFIX,
                                                               const char* p__PCHAR__FileName,
                                                               uint8_t xa, uint8_t test,
                                                               uint8_t multi, uint32_t progress,
                                                               uint32_t buffer) {
  constexpr const char* kExport = "Halvorin_CdvdBurnerGrabber_TrackAtOnceFromFile";
  return RunBurner(
      kExport, p__PVOID__BurnerGrabber, HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS), [&](auto* b) {
        NotNull(p__PCHAR__FileName, kExport);
        if (std::strlen(p__PCHAR__FileName) >= 260)
          HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                                   "Halvorin:%s(): The file name is too long!!!", kExport);
        std::unique_ptr<CHalvorin_File> file;
        std::uint32_t trackMode = 1;
        // The name as given: only it names the file here.
        if (Tidewell_CompressedFileSupportedIs(p__PCHAR__FileName) == kTidewellStatusSuccess) {
          file = std::make_unique<CHalvorin_TidewellFile>(p__PCHAR__FileName);
          trackMode = 2;
        } else {
          file = std::make_unique<CHalvorin_DiskFile>(p__PCHAR__FileName);
        }
        CHalvorin_FileChain chain;
        chain.AddChainTail(file.get());
        b->TrackAtOnce(Options(&chain, trackMode, xa, test, multi, progress, buffer));
      });
}

HALVORIN_STATUS Halvorin_CdvdBurnerGrabber_TrackAtOnceFromPipe(
    HALVORIN_BURNER_PREFIX, int p__HANDLE__Pipe, uint32_t p__ULONG__SizeLow,
    uint32_t p__ULONG__SizeHigh, uint8_t xa, uint8_t test, uint8_t multi, uint32_t progress,
    uint32_t buffer) {
  return RunBurner("Halvorin_CdvdBurnerGrabber_TrackAtOnceFromPipe", p__PVOID__BurnerGrabber,
                   HalvorinI_PrefixOf(HALVORIN_PREFIX_ARGS), [&](auto* b) {
                     const std::uint64_t size =
                         static_cast<std::uint64_t>(p__ULONG__SizeHigh) << 32 | p__ULONG__SizeLow;
                     CHalvorin_DiskFile file(p__HANDLE__Pipe, size);
                     CHalvorin_FileChain chain;
                     chain.AddChainTail(&file);
                     b->TrackAtOnce(Options(&chain, 1, xa, test, multi, progress, buffer));
                   });
}

}  // extern "C"
