// Construction of the burner/grabber and its device and media queries.
#include "lib/core/burner/cdvd_burner_grabber.h"

#include <array>
#include <cstring>
#include <vector>

#include "lib/core/debug_trace.h"
#include "lib/core/scsi/dumps.h"
#include "lib/core/scsi/mode_page.h"
#include "lib/core/sector/lba_msf.h"
#include "lib/core/trace_scope.h"

namespace {

constexpr const char* kClass = "CHalvorin_CdvdBurnerGrabber";
constexpr std::uint32_t kBig = 4096;

std::uint32_t U16(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0] << 8 | p[1]);
}
std::uint32_t U32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

// Runs a command whose failure is only traced; true when it succeeded.
template <class Command>
bool Safely(const char* p__PCHAR__Method, Command&& command) {
  try {
    command();
    return true;
  } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    std::unique_ptr<CHalvorin_Exception> exception(p__PCHalvorin_Exception__Exception);
    DebugTrace("\n%s(): WARNING! Status %ld, message '%s'!!!\n", p__PCHAR__Method,
               static_cast<long>(exception ? exception->GetStatus() : 12),
               exception ? exception->GetText() : "");
    return false;
  }
}

DISC_TYPE DiscTypeOfProfile(std::uint32_t p__ULONG__Profile) {
  switch (p__ULONG__Profile) {
    case 0x08:
      return DISC_TYPE_CDROM;
    case 0x09:
      return DISC_TYPE_CDR;
    case 0x0A:
      return DISC_TYPE_CDRW;
    case 0x10:
      return DISC_TYPE_DVDROM;
    case 0x11:
      return DISC_TYPE_DVDR;
    case 0x12:
      return DISC_TYPE_DVDRAM;
    case 0x13:
      return DISC_TYPE_DVDRW_RESTRICTED_OVERWRITE;
    case 0x14:
      return DISC_TYPE_DVDRW_SEQUENTIAL;
    case 0x1A:
      return DISC_TYPE_DVDPLUSRW;
    case 0x1B:
      return DISC_TYPE_DVDPLUSR;
    case 0x20:
      return DISC_TYPE_DDCDROM;
    case 0x21:
      return DISC_TYPE_DDCDR;
    case 0x22:
      return DISC_TYPE_DDCDRW;
    default:
      return DISC_TYPE_UNKNOWN;
  }
}

}  // namespace

CHalvorin_CdvdBurnerGrabber::CHalvorin_CdvdBurnerGrabber(
    HALVORIN_CALLBACK p__HALVORIN_CALLBACK__Callback, void* p__PVOID__Context,
    std::uint8_t p__UCHAR__HostAdapter, std::uint8_t p__UCHAR__Bus, std::uint8_t p__UCHAR__TargetID,
    std::uint8_t p__UCHAR__LUN, std::uint32_t p__ULONG__CacheSizeInMB)
    : CHalvorin_ScsiDeviceCdvdRomWriter(p__UCHAR__HostAdapter, p__UCHAR__Bus, p__UCHAR__TargetID,
                                        p__UCHAR__LUN),
      m__HALVORIN_CALLBACK__Callback(p__HALVORIN_CALLBACK__Callback),
      m__PVOID__Context(p__PVOID__Context) {
  HalvorinI_Traced("CHalvorin_CdvdBurnerGrabber::CHalvorin_CdvdBurnerGrabber", [&] {
    std::uint64_t bytes =
        static_cast<std::uint64_t>(p__ULONG__CacheSizeInMB ? p__ULONG__CacheSizeInMB : 64) << 20;
    const std::uint64_t least = 2ull * m__ULONG__BufferSize;
    if (bytes < least) {
      bytes = least;
      DebugTrace("\n%s::%s(): Cache size updated to %ld UCHARs\n", kClass, kClass,
                 static_cast<long>(bytes));
    }
    const std::uint64_t most =
        static_cast<std::uint64_t>(kHalvorinMaximumCacheObjects) * kHalvorinMaximumTransfer;
    m__ULONG__CacheSizeInUCHARs = static_cast<std::uint32_t>(bytes < most ? bytes : most);
    try {
      m__PCHalvorin_CacheManager = std::make_unique<CHalvorin_CacheManager>(
          static_cast<std::int32_t>(bytes / kHalvorinMaximumTransfer), kHalvorinMaximumTransfer);
    } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
      std::unique_ptr<CHalvorin_Exception> exception(p__PCHalvorin_Exception__Exception);
      HalvorinI_ThrowException(kHalvorinStatusOutOfMemory, 0,
                               "%s::%s(): Failed to create cache manager!!!", kClass, kClass);
    }
  });
}

CHalvorin_CdvdBurnerGrabber::~CHalvorin_CdvdBurnerGrabber() {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::~CHalvorin_CdvdBurnerGrabber");
  ShutDownCacheThread();
  m__CHalvorin_LockedFifoQueue__WriteQueue.RemoveAll();
  m__PCHalvorin_CacheManager.reset();
}

void CHalvorin_CdvdBurnerGrabber::Callback(std::uint32_t p__ULONG__Reason, void* p__PVOID__Param1,
                                           void* p__PVOID__Param2) {
  if (m__HALVORIN_CALLBACK__Callback)
    m__HALVORIN_CALLBACK__Callback(p__ULONG__Reason, m__PVOID__Context, p__PVOID__Param1,
                                   p__PVOID__Param2);
}

bool CHalvorin_CdvdBurnerGrabber::IsVendor(const char* p__PCHAR__Vendor) const {
  return std::strstr(m__CHAR__VendorIdentification, p__PCHAR__Vendor) != nullptr;
}
bool CHalvorin_CdvdBurnerGrabber::IsProduct(const char* p__PCHAR__Product) const {
  return std::strstr(m__CHAR__ProductIdentification, p__PCHAR__Product) != nullptr;
}

DISC_TYPE CHalvorin_CdvdBurnerGrabber::GetDiscTypeSafe() {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::GetDiscTypeSafe");
  if (IsVendor("PHILIPS") && IsProduct("CDD5301")) {
    DebugTrace("\n%s::GetDiscTypeSafe(): Broken 'get configuration'...\n", kClass);
    return DISC_TYPE_CDR;
  }
  std::vector<std::uint8_t> data(kBig);
  if (!Safely("CHalvorin_CdvdBurnerGrabber::GetDiscTypeSafe",
              [&] { GetConfiguration(2, 0, data.data(), kBig); }))
    return DISC_TYPE_UNKNOWN;
  return DiscTypeOfProfile(U16(&data[6]));
}

DISC_TYPE CHalvorin_CdvdBurnerGrabber::GetInsertedDiscType() {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::GetInsertedDiscType");
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  const DISC_TYPE type = GetDiscTypeSafe();
  DebugTrace("\n%s::GetInsertedDiscType(): disc type == 0x%08X\n", kClass, type);
  return type;
}

void CHalvorin_CdvdBurnerGrabber::GetDeviceInformation(char* p__PCHAR__Vendor,
                                                       char* p__PCHAR__Product,
                                                       char* p__PCHAR__Revision,
                                                       std::uint32_t* p__PULONG__BufferSize) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::GetDeviceInformation");
  auto copy = [](char* to, const char* from, std::size_t most) {
    if (!to) return;
    std::size_t n = std::strlen(from);
    if (n > most) n = most;
    std::memcpy(to, from, n);
    to[n] = 0;
  };
  copy(p__PCHAR__Vendor, m__CHAR__VendorIdentification, 8);
  copy(p__PCHAR__Product, m__CHAR__ProductIdentification, 16);
  copy(p__PCHAR__Revision, m__CHAR__ProductRevision, 4);
  if (p__PULONG__BufferSize) *p__PULONG__BufferSize = m__ULONG__BufferSize;
}

void CHalvorin_CdvdBurnerGrabber::GetSupportedMediaFormats(bool* f) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::GetSupportedMediaFormats");
  const bool values[10] = {m__BOOLEAN__IsReadCDR,    m__BOOLEAN__IsReadCDRW,
                           m__BOOLEAN__IsReadDVDROM, m__BOOLEAN__IsReadDVDR,
                           m__BOOLEAN__IsReadDVDRAM, m__BOOLEAN__IsTestWrite,
                           m__BOOLEAN__IsWriteCDR,   m__BOOLEAN__IsWriteCDRW,
                           m__BOOLEAN__IsWriteDVDR,  m__BOOLEAN__IsWriteDVDRAM};
  for (int i = 0; i < 10; ++i) f[i] = values[i];
}

void CHalvorin_CdvdBurnerGrabber::GetSupportedMediaFormatsEx(bool* f) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::GetSupportedMediaFormatsEx");
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  for (int i = 0; i < 4; ++i) f[i] = false;
  const std::uint16_t features[2] = {0x002A, 0x002B};
  for (int i = 0; i < 2; ++i) {
    std::vector<std::uint8_t> data(kBig);
    if (!Safely("CHalvorin_CdvdBurnerGrabber::GetSupportedMediaFormatsEx",
                [&] { GetConfiguration(2, features[i], data.data(), kBig); }))
      continue;
    if (U32(&data[0]) >= 12) {
      f[i] = true;
      f[i + 2] = (data[12] & 0x01) != 0;
    }
  }
}

void CHalvorin_CdvdBurnerGrabber::GetCdvdSpeeds(std::uint32_t* cr, std::uint32_t* mr,
                                                std::uint32_t* cw, std::uint32_t* mw) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::GetCdvdSpeeds");
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  std::vector<std::uint8_t> data(kBig);
  ModeSense10(0x2A, 0, data.data(), kBig);
  const HalvorinI_ModePage page = HalvorinI_LocateModePage(data.data(), kBig, 0x2A);
  auto at = [&](std::uint32_t i) {
    return page.m__ULONG__Size >= i + 2 ? U16(page.m__PUCHAR__Page + i) : 0u;
  };
  *cr = at(14);
  *mr = at(8);
  *cw = at(20);
  *mw = at(18);
  DebugTrace(
      "\n%s::GetCdvdSpeeds(): Current Read %ld, Maximum Read %ld, Current Write %ld, Maximum Write "
      "%ld\n",
      kClass, static_cast<long>(*cr), static_cast<long>(*mr), static_cast<long>(*cw),
      static_cast<long>(*mw));
}

void CHalvorin_CdvdBurnerGrabber::SetCdvdSpeeds(std::uint32_t r, std::uint32_t w) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::SetCdvdSpeeds");
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  SetCDSpeed(static_cast<std::uint16_t>(r > 0xFFFF ? 0xFFFF : r),
             static_cast<std::uint16_t>(w > 0xFFFF ? 0xFFFF : w));
}

void CHalvorin_CdvdBurnerGrabber::GetBUP(bool* p__PBOOLEAN__IsEnabled,
                                         bool* p__PBOOLEAN__IsSupported) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::GetBUP");
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  std::vector<std::uint8_t> data(kBig);
  const bool vendorPage = Safely("CHalvorin_CdvdBurnerGrabber::GetBUP", [&] {
    ModeSense10(0x30, 0, data.data(), kBig);
    const HalvorinI_ModePage page = HalvorinI_LocateModePage(data.data(), kBig, 0x30);
    if (page.m__ULONG__Size < 4)
      HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0, "Page 30h is short!!!");
    *p__PBOOLEAN__IsSupported = page.m__PUCHAR__Page[2] & 0x01;
    *p__PBOOLEAN__IsEnabled = page.m__PUCHAR__Page[3] & 0x01;
  });
  if (vendorPage) {
    DebugTrace(
        "\n%s::GetBUP(): JustLink buffer underrun protection, supported status 0x%02X, enabled "
        "status 0x%02X\n",
        kClass, *p__PBOOLEAN__IsSupported, *p__PBOOLEAN__IsEnabled);
    return;
  }
  ModeSense10(0x2A, 0, data.data(), kBig);
  HalvorinI_ModePage page = HalvorinI_LocateModePage(data.data(), kBig, 0x2A);
  *p__PBOOLEAN__IsSupported = page.m__ULONG__Size > 4 && (page.m__PUCHAR__Page[4] & 0x80);
  std::vector<std::uint8_t> write(kBig);
  ModeSense10(0x05, 0, write.data(), kBig);
  page = HalvorinI_LocateModePage(write.data(), kBig, 0x05);
  *p__PBOOLEAN__IsEnabled = page.m__ULONG__Size > 2 && (page.m__PUCHAR__Page[2] & 0x40);
  DebugTrace(
      "\n%s::GetBUP(): BURN-Proof buffer underrun protection, supported status 0x%02X, enabled "
      "status 0x%02X\n",
      kClass, *p__PBOOLEAN__IsSupported, *p__PBOOLEAN__IsEnabled);
}

namespace {

// The page of MODE SENSE(10) data as a MODE SELECT(10) list: header cleared, page code byte
// set, length page length + 10.
std::uint32_t PrepareSelect(std::uint8_t* p__PUCHAR__Data, std::uint8_t p__UCHAR__PageCode) {
  const HalvorinI_ModePage page =
      HalvorinI_LocateModePage(p__PUCHAR__Data, kBig, p__UCHAR__PageCode);
  if (page.m__ULONG__Size < 2 || page.m__PUCHAR__Page != p__PUCHAR__Data + 8)
    HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                             "CHalvorin_CdvdBurnerGrabber: Mode page 0x%02X is not there!!!",
                             p__UCHAR__PageCode);
  std::memset(p__PUCHAR__Data, 0, 8);
  p__PUCHAR__Data[8] = p__UCHAR__PageCode;
  return static_cast<std::uint32_t>(p__PUCHAR__Data[9]) + 10;
}

}  // namespace

void CHalvorin_CdvdBurnerGrabber::SetBUP(bool p__BOOLEAN__IsEnabled) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::SetBUP");
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  std::vector<std::uint8_t> data(kBig);
  const bool vendorPage = Safely("CHalvorin_CdvdBurnerGrabber::SetBUP", [&] {
    ModeSense10(0x30, 0, data.data(), kBig);
    const std::uint32_t length = PrepareSelect(data.data(), 0x30);
    if (length < 12)
      HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0, "Page 30h is short!!!");
    data[11] = static_cast<std::uint8_t>((data[11] & ~0x01) | (p__BOOLEAN__IsEnabled ? 1 : 0));
    ModeSelect10(data.data(), length);
    ModeSense10(0x30, 0, data.data(), kBig);
    const HalvorinI_ModePage page = HalvorinI_LocateModePage(data.data(), kBig, 0x30);
    DebugTrace("\n%s::SetBUP(): JustLink buffer underrun protection, enabled status 0x%02X\n",
               kClass, page.m__ULONG__Size > 3 ? page.m__PUCHAR__Page[3] & 0x01 : 0);
    if (IsVendor("_NEC") || IsVendor("HP") || IsVendor("PLEXTOR"))
      m__BOOLEAN__IsBUPEnabled = p__BOOLEAN__IsEnabled;
  });
  if (vendorPage) return;
  ModeSense10(0x05, 0, data.data(), kBig);
  const std::uint32_t length = PrepareSelect(data.data(), 0x05);
  data[10] = static_cast<std::uint8_t>((data[10] & ~0x40) | (p__BOOLEAN__IsEnabled ? 0x40 : 0));
  ModeSelect10(data.data(), length);
  m__BOOLEAN__IsBUPEnabled = p__BOOLEAN__IsEnabled;
  ModeSense10(0x05, 0, data.data(), kBig);
  const HalvorinI_ModePage page = HalvorinI_LocateModePage(data.data(), kBig, 0x05);
  DebugTrace("\n%s::SetBUP(): BURN-Proof buffer underrun protection, enabled status 0x%02X\n",
             kClass, page.m__ULONG__Size > 2 ? (page.m__PUCHAR__Page[2] >> 6) & 1 : 0);
}

void CHalvorin_CdvdBurnerGrabber::SendOPC() {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::SendOPC");
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  SendOPCInformation(true, nullptr, 0);
}

void CHalvorin_CdvdBurnerGrabber::Load() {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::Load");
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  StartStopUnit(true, true, true);
  WaitUntilReady(2, 5000, GetDiscTypeSafe() != DISC_TYPE_DVDRAM);
}

void CHalvorin_CdvdBurnerGrabber::Eject() {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::Eject");
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  if (IsVendor("MITSUMI") && IsProduct("4802")) {
    DebugTrace("\n%s::Eject(): Broken 'start stop unit'...\n", kClass);
    SetWriteParameters(1, 8, 4, false, false, 0, nullptr, false);
    StartStopUnit(true, true, false);
    return;
  }
  StartStopUnit(false, true, false);
}

void CHalvorin_CdvdBurnerGrabber::Lock() {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::Lock");
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  PreventAllowMediumRemoval(true);
}

void CHalvorin_CdvdBurnerGrabber::Release() {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::Release");
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  PreventAllowMediumRemoval(false);
}

void CHalvorin_CdvdBurnerGrabber::TestUnitReady(std::uint32_t p__ULONG__Seconds) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::TestUnitReady");
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  WaitUntilReady(p__ULONG__Seconds, 1000, GetDiscTypeSafe() != DISC_TYPE_DVDRAM);
  TestUnitReadyCDB();
}

void CHalvorin_CdvdBurnerGrabber::GetDVDProtectionSystem(std::uint8_t* p__PUCHAR__System) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::GetDVDProtectionSystem");
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  std::vector<std::uint8_t> data(kBig);
  ReadDVDStructure(0, 0, 0x01, 0, data.data(), kBig);
  *p__PUCHAR__System = data[4];
}

void CHalvorin_CdvdBurnerGrabber::GetDiscInformation(std::uint8_t* p__PUCHAR__Buffer,
                                                     std::uint32_t p__ULONG__Size) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::GetDiscInformation");
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  ReadDiscInformation(p__PUCHAR__Buffer, p__ULONG__Size);
}

std::unique_ptr<std::uint8_t[]> CHalvorin_CdvdBurnerGrabber::SaveWriteParameters(
    std::uint32_t* p__PULONG__Length) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::SaveWriteParameters");
  auto data = std::make_unique<std::uint8_t[]>(kBig);
  *p__PULONG__Length = 0;
  if (Safely("CHalvorin_CdvdBurnerGrabber::SaveWriteParameters", [&] {
        ModeSense10(0x05, 0, data.get(), kBig);
        *p__PULONG__Length = PrepareSelect(data.get(), 0x05);
      }))
    return data;
  return nullptr;
}

void CHalvorin_CdvdBurnerGrabber::PutBackWriteParameters(const std::uint8_t* p__PUCHAR__Page,
                                                         std::uint32_t p__ULONG__Length) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::PutBackWriteParameters");
  if (!p__PUCHAR__Page || p__ULONG__Length == 0) return;
  std::vector<std::uint8_t> copy(p__PUCHAR__Page, p__PUCHAR__Page + p__ULONG__Length);
  Safely("CHalvorin_CdvdBurnerGrabber::PutBackWriteParameters",
         [&] { ModeSelect10(copy.data(), p__ULONG__Length); });
}

void CHalvorin_CdvdBurnerGrabber::GetTrackInformation(std::uint8_t p__UCHAR__TrackNumber,
                                                      std::uint8_t* p__PUCHAR__Buffer,
                                                      std::uint32_t p__ULONG__Size) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::GetTrackInformation");
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  // The query sets track-at-once parameters and puts the caller's page back afterwards, so
  // that a multi-session write is not finalised by the close that follows.
  std::uint32_t savedLength = 0;
  std::unique_ptr<std::uint8_t[]> saved = SaveWriteParameters(&savedLength);
  Safely("CHalvorin_CdvdBurnerGrabber::GetTrackInformation",
         [&] { SetWriteParameters(1, 8, 4, false, false, 0, nullptr, false); });
  struct PutBack {
    CHalvorin_CdvdBurnerGrabber* self;
    const std::uint8_t* page;
    std::uint32_t length;
    ~PutBack() { self->PutBackWriteParameters(page, length); }
  } putBack{this, saved.get(), savedLength};
  switch (GetDiscTypeSafe()) {
    case DISC_TYPE_DVDROM:
    case DISC_TYPE_DVDR:
    case DISC_TYPE_DVDRW_SEQUENTIAL:
      ReadTrackInformation(1, 1, p__PUCHAR__Buffer, p__ULONG__Size);
      break;
    case DISC_TYPE_DVDRAM:
    case DISC_TYPE_DVDPLUSRW:
    case DISC_TYPE_DVDRW_RESTRICTED_OVERWRITE:
      if (p__ULONG__Size < 24)
        HalvorinI_ThrowException(kHalvorinStatusInvalidArgument, 0,
                                 "%s::GetTrackInformation(): Buffer too small!!!", kClass);
      MakeTrackInformation(p__PUCHAR__Buffer);
      break;
    default:
      ReadTrackInformation(1, p__UCHAR__TrackNumber, p__PUCHAR__Buffer, p__ULONG__Size);
      break;
  }
}

void CHalvorin_CdvdBurnerGrabber::GetCapacity(std::uint32_t* p__PULONG__LastLBA,
                                              std::uint32_t* p__PULONG__BlockLength) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::GetCapacity");
  std::uint8_t data[8] = {};
  ReadCapacity(data, sizeof data);
  *p__PULONG__LastLBA = U32(data);
  *p__PULONG__BlockLength = U32(data + 4);
}

void CHalvorin_CdvdBurnerGrabber::MakeTrackInformation(std::uint8_t* p__PUCHAR__Buffer) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::MakeTrackInformation");
  std::uint32_t last = 0, blockLength = 0;
  GetCapacity(&last, &blockLength);
  std::memset(p__PUCHAR__Buffer, 0, 24);
  p__PUCHAR__Buffer[1] = 24;
  p__PUCHAR__Buffer[2] = 1;
  p__PUCHAR__Buffer[3] = 1;
  p__PUCHAR__Buffer[6] = 0x41;
  p__PUCHAR__Buffer[7] = 0x01;
  // The blocks are the last LBA + 1; a medium without formatted space reports LBA 0.
  Put32(p__PUCHAR__Buffer + 16, last ? last + 1 : 0);
}

void CHalvorin_CdvdBurnerGrabber::GetTOCInformation(TOC_INFORMATION* p__PTOC_INFORMATION__Toc) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::GetTOCInformation");
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  TOC_INFORMATION& toc = *p__PTOC_INFORMATION__Toc;
  std::vector<std::uint8_t> data(16384);
  const bool dvd = Safely("CHalvorin_CdvdBurnerGrabber::GetTOCInformation",
                          [&] { ReadDVDStructure(0, 0, 0, 0, data.data(), kBig); });
  if (dvd) {
    std::uint32_t last = 0, blockLength = 0;
    GetCapacity(&last, &blockLength);
    std::int32_t end = static_cast<std::int32_t>(last);
    std::vector<std::uint8_t> pvd(2048);
    if (Safely("CHalvorin_CdvdBurnerGrabber::ReadTOCForDVD",
               [&] { Read10(pvd.data(), 2048, 16, 1); })) {
      if (std::memcmp(&pvd[1], "CD001", 5) == 0) {
        const std::uint32_t size = static_cast<std::uint32_t>(pvd[80]) | pvd[81] << 8 |
                                   pvd[82] << 16 | static_cast<std::uint32_t>(pvd[83]) << 24;
        // The volume space size counts blocks: the last one is size - 1. A volume that claims
        // more than the disc holds ends where READ CAPACITY says.
        if (size > 0 && size - 1 > last) {
          DebugTrace(
              "\n%s::ReadTOCForDVD(): WARNING! PVD volume space size %lu is beyond the last LBA "
              "%lu, the ending LBA stays!!!\n",
              kClass, static_cast<unsigned long>(size), static_cast<unsigned long>(last));
        } else if (size > 0) {
          DebugTrace("\n%s::ReadTOCForDVD(): Replacing ending LBA with new value from PVD\n",
                     kClass);
          end = static_cast<std::int32_t>(size - 1);
        }
      } else {
        DebugTrace(
            "\n%s::ReadTOCForDVD(): PVD signature is bad - 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X!!!\n",
            kClass, pvd[1], pvd[2], pvd[3], pvd[4], pvd[5]);
      }
    }
    toc.m__UCHAR__IsValid = 1;
    toc.m__BOOLEAN__IsDVD = 1;
    toc.m__UCHAR__HighestSessionNumber = 1;
    toc.m__UCHAR__NumberOfTracks = 1;
    toc.m__UCHAR__NumberOfRawDescriptors = 1;
    TOC_TRACK_ENTRY& t = toc.m__TOC_TRACK_ENTRY__Tracks[0];
    t.m__UCHAR__IsValid = 1;
    t.m__UCHAR__TrackNumber = 1;
    t.m__UCHAR__SessionNumber = 1;
    t.m__LONG__StartLBA = 0;
    LBAToMSF(0, t.m__UCHAR__StartMSF);
    t.m__LONG__EndLBA = end;
    LBAToMSF(end, t.m__UCHAR__EndMSF);
    t.m__BOOLEAN__IsDataTrack = 1;
    t.m__BOOLEAN__IsDigitalCopyPermitted = 1;
    t.m__UCHAR__DataMode = 1;
    t.m__UCHAR__Form = 0;
    t.m__ULONG__UserBytesPerSector = 2048;
    TOC_RAW_DESCRIPTOR d{};
    d.m__UCHAR__SessionNumber = 1;
    d.m__UCHAR__ADR_CONTROL = 0x41;
    d.m__UCHAR__POINT = 1;
    std::memcpy(&d.m__UCHAR__Min, t.m__UCHAR__StartMSF, 3);
    std::memcpy(&d.m__UCHAR__PMIN, t.m__UCHAR__EndMSF, 3);
    toc.m__TOC_RAW_DESCRIPTOR__TrackDescriptors[0] = d;
    toc.m__TOC_RAW_DESCRIPTOR__AllDescriptors[0] = d;
    return;
  }
  ReadTocPmaAtip(true, 2, 0, data.data(), static_cast<std::uint32_t>(data.size()));
  std::uint32_t length = U16(&data[0]);
  if (length < 6)
    HalvorinI_ThrowException(
        kHalvorinStatusGeneralFailure, 0,
        "%s::ReadTOCForCD(): TOC size %ld UCHARs, expected at least %ld UCHARs!!!", kClass,
        static_cast<long>(length), 6L);
  // Bounded by what the buffer holds. Every descriptor makes its track entry; the record's
  // table of all descriptors keeps the first 100 (a disc of 99 tracks has 102 or more).
  if (length + 2 > data.size()) length = static_cast<std::uint32_t>(data.size() - 2);
  const std::uint32_t count = (length - 2) / 11;
  const std::uint32_t kept = count < 100 ? count : 100;
  if (count > kept)
    DebugTrace("\n%s::ReadTOCForCD(): %ld raw descriptors, the record keeps %ld\n", kClass,
               static_cast<long>(count), static_cast<long>(kept));
  const auto* raw = reinterpret_cast<const TOC_RAW_DESCRIPTOR*>(&data[4]);
  std::int32_t leadOut = 0;
  toc.m__UCHAR__IsValid = 1;
  toc.m__BOOLEAN__IsDVD = 0;
  toc.m__UCHAR__NumberOfRawDescriptors = static_cast<std::uint8_t>(kept);
  for (std::uint32_t i = 0; i < count; ++i) {
    const TOC_RAW_DESCRIPTOR& d = raw[i];
    if (i < kept) toc.m__TOC_RAW_DESCRIPTOR__AllDescriptors[i] = d;
    DebugTrace(
        "\n%s::ReadTOCForCD(): Session %d, CONTROL 0x%X, ADR 0x%X, TNO %d, POINT 0x%02X, "
        "%02d:%02d:%02d, %02d:%02d:%02d\n",
        kClass, d.m__UCHAR__SessionNumber, d.m__UCHAR__ADR_CONTROL & 0x0F,
        d.m__UCHAR__ADR_CONTROL >> 4, d.m__UCHAR__TNO, d.m__UCHAR__POINT, d.m__UCHAR__Min,
        d.m__UCHAR__Sec, d.m__UCHAR__Frame, d.m__UCHAR__PMIN, d.m__UCHAR__PSEC, d.m__UCHAR__PFRAME);
    if (d.m__UCHAR__SessionNumber > toc.m__UCHAR__HighestSessionNumber)
      toc.m__UCHAR__HighestSessionNumber = d.m__UCHAR__SessionNumber;
    auto lbaOf = [](std::uint8_t m, std::uint8_t s, std::uint8_t f) {
      return (static_cast<std::int32_t>(m) * 60 + s) * 75 + f - 150;
    };
    if (d.m__UCHAR__POINT == 0xA2)
      leadOut = lbaOf(d.m__UCHAR__PMIN, d.m__UCHAR__PSEC, d.m__UCHAR__PFRAME);
    // Every POINT of 1 to 100 is a track entry, whatever its ADR (2 and 3 are flagged).
    if (d.m__UCHAR__POINT < 1 || d.m__UCHAR__POINT > 100 || toc.m__UCHAR__NumberOfTracks >= 100)
      continue;
    TOC_TRACK_ENTRY& t = toc.m__TOC_TRACK_ENTRY__Tracks[toc.m__UCHAR__NumberOfTracks];
    toc.m__TOC_RAW_DESCRIPTOR__TrackDescriptors[toc.m__UCHAR__NumberOfTracks] = d;
    ++toc.m__UCHAR__NumberOfTracks;
    t.m__UCHAR__IsValid = 1;
    t.m__UCHAR__TrackNumber = d.m__UCHAR__POINT;
    t.m__UCHAR__SessionNumber = d.m__UCHAR__SessionNumber;
    t.m__LONG__StartLBA = lbaOf(d.m__UCHAR__PMIN, d.m__UCHAR__PSEC, d.m__UCHAR__PFRAME);
    std::memcpy(t.m__UCHAR__StartMSF, &d.m__UCHAR__PMIN, 3);
    // The end: the next track's start when it follows in this session, else the session's
    // lead-out (which the drive lists before the tracks of its session).
    std::int32_t end = -1;
    for (std::uint32_t j = i + 1; j < count; ++j) {
      const TOC_RAW_DESCRIPTOR& n = raw[j];
      if (n.m__UCHAR__POINT == d.m__UCHAR__POINT + 1) {
        if (n.m__UCHAR__SessionNumber == d.m__UCHAR__SessionNumber)
          end = lbaOf(n.m__UCHAR__PMIN, n.m__UCHAR__PSEC, n.m__UCHAR__PFRAME) - 1;
        break;
      }
    }
    if (end < 0) end = leadOut - 1;
    t.m__LONG__EndLBA = end;
    LBAToMSF(end, t.m__UCHAR__EndMSF);
    const std::uint8_t control = d.m__UCHAR__ADR_CONTROL & 0x0F;
    t.m__BOOLEAN__IsADR2 = (d.m__UCHAR__ADR_CONTROL >> 4) == 2;
    t.m__BOOLEAN__IsADR3 = (d.m__UCHAR__ADR_CONTROL >> 4) == 3;
    t.m__BOOLEAN__IsFourChannelAudio = (control & 0x08) != 0;
    t.m__BOOLEAN__IsPreEmphasis = (control & 0x01) != 0;
    t.m__BOOLEAN__IsDataTrack = (control & 0x04) != 0;
    t.m__BOOLEAN__IsAudioTrack = !t.m__BOOLEAN__IsDataTrack;
    t.m__BOOLEAN__IsDigitalCopyPermitted = (control & 0x02) != 0;
    t.m__ULONG__UserBytesPerSector = 2352;
    if (t.m__BOOLEAN__IsDataTrack) {
      std::vector<std::uint8_t> header(2352);
      t.m__ULONG__UserBytesPerSector = 0;
      if (Safely("CHalvorin_CdvdBurnerGrabber::ReadTOCForCD", [&] {
            ReadCD(0, static_cast<std::uint32_t>(t.m__LONG__StartLBA), 1, true, 3, false, false, 0,
                   0, header.data(), 24);
          })) {
        t.m__UCHAR__DataMode = header[15] & 0x03;
        if (t.m__UCHAR__DataMode == 1) t.m__ULONG__UserBytesPerSector = 2048;
        if (t.m__UCHAR__DataMode == 2) {
          t.m__UCHAR__Form = (header[18] & 0x20) ? 2 : 1;
          t.m__ULONG__UserBytesPerSector = t.m__UCHAR__Form == 2 ? 2324 : 2048;
        }
      }
    }
  }
}
