// The mode-page, cache and formatting steps that the write modes share, and the probes.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/core/burner/write_reports.h"
#include "lib/core/debug_trace.h"
#include "lib/core/scsi/dumps.h"
#include "lib/core/scsi/mode_page.h"
#include "lib/core/scsi/scsi_transport_aspi.h"
#include "lib/core/trace_scope.h"
#include "platform/aspi/clock.h"

namespace {

constexpr std::uint32_t kBig = 4096;

bool Freed(const char* p__PCHAR__Method, const char* p__PCHAR__What,
           CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
  std::unique_ptr<CHalvorin_Exception> exception(p__PCHalvorin_Exception__Exception);
  DebugTrace("\n%s(): %s failed!!!\n", p__PCHAR__Method, p__PCHAR__What);
  DebugTrace("\n%s(): WARNING! Status %ld, message '%s'!!!\n", p__PCHAR__Method,
             static_cast<long>(exception ? exception->GetStatus() : 12),
             exception ? exception->GetText() : "");
  return false;
}

// Page 05h of MODE SENSE(10) data, the header cleared for MODE SELECT(10); its list length.
std::uint32_t SelectableWritePage(std::uint8_t* p__PUCHAR__Data, const char* p__PCHAR__Method) {
  const HalvorinI_ModePage page = HalvorinI_LocateModePage(p__PUCHAR__Data, kBig, 0x05);
  if (page.m__ULONG__Size < 52 || page.m__PUCHAR__Page != p__PUCHAR__Data + 8)
    HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                             "%s(): Write parameters page is not there!!!", p__PCHAR__Method);
  std::memset(p__PUCHAR__Data, 0, 8);
  p__PUCHAR__Data[8] = 0x05;
  return static_cast<std::uint32_t>(p__PUCHAR__Data[9]) + 10;
}

std::uint64_t NowMs() {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(platform::aspi::CurrentClock()->Now())
          .count());
}

}  // namespace

CHalvorin_WriteReports::CHalvorin_WriteReports(std::uint64_t p__ULONGLONG__TotalLBs,
                                               std::uint32_t p__ULONG__ProgressInterval,
                                               std::uint32_t p__ULONG__BufferInterval)
    : m__ULONGLONG__TotalLBs(p__ULONGLONG__TotalLBs),
      m__ULONG__ProgressInterval(p__ULONG__ProgressInterval),
      m__ULONG__BufferInterval(p__ULONG__BufferInterval),
      m__ULONGLONG__ProgressClock(NowMs()),
      m__ULONGLONG__BufferClock(m__ULONGLONG__ProgressClock) {}

void CHalvorin_CdvdBurnerGrabber::ReportWrite(CHalvorin_WriteReports& p__Reports,
                                              std::uint64_t p__ULONGLONG__WrittenLBs,
                                              bool p__BOOLEAN__IsBufferReadable,
                                              const char* p__PCHAR__Method) {
  CHalvorin_WriteReports& r = p__Reports;
  const std::uint64_t now = NowMs();
  if (r.m__ULONG__ProgressInterval &&
      now - r.m__ULONGLONG__ProgressClock > r.m__ULONG__ProgressInterval * 1000ull) {
    r.m__ULONGLONG__ProgressClock = now;
    r.m__ULONGLONG__ReportedLBs = p__ULONGLONG__WrittenLBs;
    r.m__BOOLEAN__IsReported = true;
    Callback(HALVORIN_CALLBACK_REASON_WRITE_PROGRESS, &r.m__ULONGLONG__TotalLBs,
             &r.m__ULONGLONG__ReportedLBs);
  }
  if (++r.m__ULONG__Writes % 9 == 0 && p__BOOLEAN__IsBufferReadable) {
    try {
      std::uint8_t capacity[12] = {};
      ReadBufferCapacity(capacity, sizeof capacity);
      r.m__ULONG__BufferLength = static_cast<std::uint32_t>(capacity[4]) << 24 | capacity[5] << 16 |
                                 capacity[6] << 8 | capacity[7];
      r.m__ULONG__BlankBufferLength = static_cast<std::uint32_t>(capacity[8]) << 24 |
                                      capacity[9] << 16 | capacity[10] << 8 | capacity[11];
    } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
      Freed(p__PCHAR__Method, "ReadBufferCapacity()", p__PCHalvorin_Exception__Exception);
    }
  }
  if (r.m__ULONG__BufferInterval &&
      now - r.m__ULONGLONG__BufferClock > r.m__ULONG__BufferInterval * 1000ull) {
    r.m__ULONGLONG__BufferClock = now;
    Callback(HALVORIN_CALLBACK_REASON_DRIVE_BUFFER_STATUS, &r.m__ULONG__BufferLength,
             &r.m__ULONG__BlankBufferLength);
  }
}

void CHalvorin_CdvdBurnerGrabber::ReportWriteEnd(CHalvorin_WriteReports& p__Reports,
                                                 std::uint64_t p__ULONGLONG__WrittenLBs) {
  CHalvorin_WriteReports& r = p__Reports;
  if (r.m__ULONG__ProgressInterval &&
      (!r.m__BOOLEAN__IsReported || r.m__ULONGLONG__ReportedLBs != p__ULONGLONG__WrittenLBs)) {
    r.m__ULONGLONG__ReportedLBs = p__ULONGLONG__WrittenLBs;
    Callback(HALVORIN_CALLBACK_REASON_WRITE_PROGRESS, &r.m__ULONGLONG__TotalLBs,
             &r.m__ULONGLONG__ReportedLBs);
  }
}

void CHalvorin_CdvdBurnerGrabber::SetWriteParameters(
    std::uint8_t p__UCHAR__WriteType, std::uint8_t p__UCHAR__DataBlockType,
    std::uint8_t p__UCHAR__TrackMode, bool p__BOOLEAN__IsTestWrite, bool p__BOOLEAN__IsMultiSession,
    std::uint8_t p__UCHAR__SessionFormat, const std::uint8_t* p__PUCHAR__SubHeader,
    bool p__BOOLEAN__IsLinkSize) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::SetWriteParameters");
  constexpr const char* kMethod = "CHalvorin_CdvdBurnerGrabber::SetWriteParameters";
  std::vector<std::uint8_t> data(kBig);
  ModeSense10(0x05, 0, data.data(), kBig);
  Halvorin_DumpCdvdWriteParametersPage(data.data() + 8, kBig - 8);
  const std::uint32_t length = SelectableWritePage(data.data(), kMethod);
  std::uint8_t* p = data.data() + 8;
  p[2] = static_cast<std::uint8_t>(
      (p__UCHAR__WriteType & 0x0F) | (p__BOOLEAN__IsTestWrite ? 0x10 : 0) |
      (p__BOOLEAN__IsLinkSize ? 0x20 : 0) | (m__BOOLEAN__IsBUPEnabled ? 0x40 : 0));
  p[3] = static_cast<std::uint8_t>((p__UCHAR__TrackMode & 0x0F) |
                                   (p__BOOLEAN__IsMultiSession ? 0xC0 : 0));
  p[4] = static_cast<std::uint8_t>(p__UCHAR__DataBlockType & 0x0F);
  p[5] = p__BOOLEAN__IsLinkSize ? 16 : 0;
  p[8] = p__UCHAR__SessionFormat;
  for (int i = 0; i < 4; ++i) p[48 + i] = p__PUCHAR__SubHeader ? p__PUCHAR__SubHeader[i] : 0;
  ModeSelect10(data.data(), length);
  ModeSense10(0x05, 0, data.data(), kBig);
  Halvorin_DumpCdvdWriteParametersPage(data.data() + 8, kBig - 8);
}

void CHalvorin_CdvdBurnerGrabber::RestoreWriteParameters() {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::RestoreWriteParameters");
  constexpr const char* kMethod = "CHalvorin_CdvdBurnerGrabber::RestoreWriteParameters";
  std::vector<std::uint8_t> data(kBig);
  ModeSense10(0x05, 2, data.data(), kBig);
  if (IsVendor("LITE-ON") && (data[10] & 0x0F) == 0)
    DebugTrace("\n%s(): *** Broken Lite-On workaround (disabled for now)\n", kMethod);
  const std::uint32_t length = SelectableWritePage(data.data(), kMethod);
  ModeSelect10(data.data(), length);
  ModeSense10(0x05, 0, data.data(), kBig);
}

void CHalvorin_CdvdBurnerGrabber::SynchronizeCache() {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::SynchronizeCache");
  constexpr const char* kMethod = "CHalvorin_CdvdBurnerGrabber::SynchronizeCache";
  const DISC_TYPE type = GetDiscTypeSafe();
  DebugTrace("\n%s(): Vendor '%s', product '%s', disc type 0x%08X\n", kMethod,
             m__CHAR__VendorIdentification, m__CHAR__ProductIdentification, type);
  if ((IsVendor("TEAC") && IsProduct("56S")) || (IsVendor("MITSUMI") && IsProduct("4802")) ||
      (IsVendor("Memorex") && IsProduct("Twelve MAXX"))) {
    DebugTrace("\n%s(): Broken 'synchronize cache' workaround #1...\n", kMethod);
    SynchronizeCacheCDB(false, 0, 0);
    platform::aspi::CurrentClock()->SleepFor(std::chrono::milliseconds(15000));
  } else if (type == DISC_TYPE_DVDR) {
    try {
      SynchronizeCacheCDB(true, 0, 0);
    } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
      Freed(kMethod, "SynchronizeCache( immed )", p__PCHalvorin_Exception__Exception);
      SynchronizeCacheCDB(true, 0, 0);
    }
  } else {
    SynchronizeCacheCDB(true, 0, 0);
  }
  const bool flag = !(type == DISC_TYPE_DVDRAM || (IsVendor("PHILIPS") && IsProduct("CDD5301")) ||
                      (IsVendor("HL-DT-ST") && IsProduct("GCE-8160B")));
  DebugTrace(flag ? "\n%s(): Normal synchronization...\n"
                  : "\n%s(): DVD-RAM or broken 'read disc info' synchronization...\n",
             kMethod);
  WaitUntilReady(100, 5000, flag);
}

void CHalvorin_CdvdBurnerGrabber::FormatUnitForDVDPLUSRW() {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::FormatUnitForDVDPLUSRW");
  Callback(DVDPLUSRW_FORMAT_BEGIN, nullptr, nullptr);
  std::uint8_t list[12] = {0x00, 0x82, 0x00, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0x98, 0x00, 0x00, 0x00};
  FormatUnit(1, false, true, 0, list, sizeof list);
  WaitUntilReady(720, 5000, true);
  Callback(DVDPLUSRW_FORMAT_END, nullptr, nullptr);
}

void CHalvorin_CdvdBurnerGrabber::FormatUnitForDVDRAM() {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::FormatUnitForDVDRAM");
  std::vector<std::uint8_t> capacities(kBig);
  ReadFormatCapacities(capacities.data(), kBig);
  Callback(HALVORIN_CALLBACK_REASON_DVDRAM_FORMAT_BEGIN, nullptr, nullptr);
  std::uint8_t list[12] = {0x00,          0x82,          0x00, 0x08, capacities[4], capacities[5],
                           capacities[6], capacities[7], 0x00, 0x00, 0x08,          0x00};
  FormatUnit(1, false, true, 0, list, sizeof list);
  WaitUntilReady(720, 5000, false);
  Callback(HALVORIN_CALLBACK_REASON_DVDRAM_FORMAT_END, nullptr, nullptr);
}

void CHalvorin_CdvdBurnerGrabber::ProbeSupportedWriteModes(bool* p__PBOOLEAN__TAO,
                                                           bool* p__PBOOLEAN__SAO,
                                                           bool* p__PBOOLEAN__DAO_PQ,
                                                           bool* p__PBOOLEAN__DAO_RAW_PW) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::ProbeSupportedWriteModes");
  constexpr const char* kMethod = "CHalvorin_CdvdBurnerGrabber::ProbeSupportedWriteModes";
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  std::uint32_t savedLength = 0;
  std::unique_ptr<std::uint8_t[]> saved = SaveWriteParameters(&savedLength);
  struct Probe {
    std::uint8_t writeType, blockType;
    const char* name;
    bool* result;
  } probes[4] = {{1, 8, "TAO", p__PBOOLEAN__TAO},
                 {2, 8, "SAO", p__PBOOLEAN__SAO},
                 {3, 1, "DAO_PQ", p__PBOOLEAN__DAO_PQ},
                 {3, 3, "DAO_RAW_PW", p__PBOOLEAN__DAO_RAW_PW}};
  for (Probe& probe : probes) {
    try {
      SetWriteParameters(probe.writeType, probe.blockType, 4, false, false, 0, nullptr, false);
      *probe.result = true;
    } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
      char what[64];
      std::snprintf(what, sizeof what, "SetWriteParameters( %s )", probe.name);
      *probe.result = Freed(kMethod, what, p__PCHalvorin_Exception__Exception);
    }
  }
  if (!*p__PBOOLEAN__TAO && GetDiscTypeSafe() == DISC_TYPE_DVDR) *p__PBOOLEAN__TAO = true;
  // The probes leave the caller's page as it was.
  PutBackWriteParameters(saved.get(), savedLength);
}

void CHalvorin_CdvdBurnerGrabber::ProbeSupportedReadModes(bool* f) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::ProbeSupportedReadModes");
  constexpr const char* kMethod = "CHalvorin_CdvdBurnerGrabber::ProbeSupportedReadModes";
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  // A probe never throws: a drive without a disc, or a blank disc without a TOC, only reads
  // nothing but cooked.
  try {
    TestUnitReadyCDB();
  } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    Freed(kMethod, "TestUnitReady()", p__PCHalvorin_Exception__Exception);
  }
  auto toc = std::make_unique<TOC_INFORMATION>();
  std::memset(toc.get(), 0, sizeof(TOC_INFORMATION));
  try {
    GetTOCInformation(toc.get());
  } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    Freed(kMethod, "GetTOCInformation()", p__PCHalvorin_Exception__Exception);
  }
  std::vector<std::uint8_t> data(kBig);
  f[0] = true;
  struct Mode {
    bool userData;
    std::uint8_t subChannel;
    std::uint32_t size;
    const char* name;
  } modes[5] = {{true, 0, 2352, "raw"},
                {true, 2, 2368, "raw + PQ subchannel"},
                {true, 1, 2448, "raw + raw P-W subchannel"},
                {false, 2, 16, "PQ subchannel"},
                {false, 1, 96, "raw P-W subchannel"}};
  for (int i = 0; i < 5; ++i) {
    const Mode& m = modes[i];
    try {
      if (m.userData)
        ReadCD(0, 0, 1, true, 3, true, true, 0, m.subChannel, data.data(), m.size);
      else
        ReadCD(0, 0, 1, false, 0, false, false, 0, m.subChannel, data.data(), m.size);
      f[i + 1] = true;
    } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
      char what[64];
      std::snprintf(what, sizeof what, "ReadCD( %s )", m.name);
      f[i + 1] = Freed(kMethod, what, p__PCHalvorin_Exception__Exception);
    }
  }
}

void CHalvorin_CdvdBurnerGrabber::TraceWriteFailure(
    const char* p__PCHAR__Method, const CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
  DebugTrace("\n%s(): Method in sequence failed!!!\n", p__PCHAR__Method);
  if (p__PCHalvorin_Exception__Exception)
    DebugTrace("\n%s(): EXITing with failure, status %ld, message '%s'!!!\n", p__PCHAR__Method,
               static_cast<long>(p__PCHalvorin_Exception__Exception->GetStatus()),
               p__PCHalvorin_Exception__Exception->GetText());
  else
    DebugTrace("\n%s(): EXITing with failure, exception pointer is NULL!\n", p__PCHAR__Method);
}

void CHalvorin_CdvdBurnerGrabber::SynchronizeCacheAfterFailure(const char* p__PCHAR__Method) {
  DebugTrace("\n%s(): Synchronizing cache...\n", p__PCHAR__Method);
  try {
    SynchronizeCache();
  } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    Freed(p__PCHAR__Method, "SynchronizeCache()", p__PCHalvorin_Exception__Exception);
  }
}

void CHalvorin_CdvdBurnerGrabber::EjectAfterFailure(const char* p__PCHAR__Method) {
  DebugTrace("\n%s(): Ejecting disc...\n", p__PCHAR__Method);
  try {
    Eject();
  } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    Freed(p__PCHAR__Method, "Eject()", p__PCHalvorin_Exception__Exception);
  }
}
