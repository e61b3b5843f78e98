// Closing a session after track-at-once writing, blanking and formatting rewritable media.
#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/core/debug_trace.h"
#include "lib/core/trace_scope.h"

namespace {

constexpr const char* kClose = "CHalvorin_CdvdBurnerGrabber::CloseSession";

}  // namespace

void CHalvorin_CdvdBurnerGrabber::CloseSessionForDVDPLUSR() {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::CloseSessionForDVDPLUSR");
  CloseTrackSession(true, true, false, false, 1);
  WaitUntilReady(20, 5000, true);
  CloseTrackSession(true, true, false, true, 0);
  WaitUntilReady(20, 5000, true);
}

void CHalvorin_CdvdBurnerGrabber::CloseSession() {
  DebugTrace("\n%s(): ENTERed\n", kClose);
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
  if (m__UCHAR__LastWriteMode != kHalvorinWriteModeTrackAtOnce) {
    DebugTrace("\n%s(): EXITing with failure, last write mode is %ld instead of %ld!!!\n", kClose,
               static_cast<long>(m__UCHAR__LastWriteMode),
               static_cast<long>(kHalvorinWriteModeTrackAtOnce));
    return;
  }
  const DISC_TYPE type = GetDiscTypeSafe();
  DebugTrace("\n%s(): Disc type 0x%08X\n", kClose, type);
  if (type == DISC_TYPE_DVDPLUSR) {
    CloseSessionForDVDPLUSR();
    DebugTrace("\n%s(): DVD+R close session\n", kClose);
    DebugTrace("\n%s(): EXITing with success #2\n", kClose);
    return;
  }
  if (type >= DISC_TYPE_DVDROM && type <= DISC_TYPE_DVDRW_SEQUENTIAL) {
    DebugTrace("\n%s(): EXITing with success #1\n", kClose);
    return;
  }
  const bool isDvdRam = type == DISC_TYPE_DVDRAM;
  if (type == DISC_TYPE_DVDPLUSRW || (IsVendor("HP") && IsProduct("9100"))) {
    DebugTrace("\n%s(): DVD+RW ( %ld ) close session or <%s> <%s> sync close session\n", kClose,
               static_cast<long>(type), m__CHAR__VendorIdentification,
               m__CHAR__ProductIdentification);
    CloseTrackSession(false, false, true, false, 0);
    WaitUntilReady(20, 5000, !isDvdRam);
    DebugTrace("\n%s(): EXITing with success\n", kClose);
    return;
  }
  DebugTrace("\n%s(): Generic async close session\n", kClose);
  try {
    CloseTrackSession(true, false, true, false, 0);
  } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    std::unique_ptr<CHalvorin_Exception> exception(p__PCHalvorin_Exception__Exception);
    DebugTrace("\n%s(): WARNING! Status %ld, message '%s'!!!\n", kClose,
               static_cast<long>(exception ? exception->GetStatus() : 12),
               exception ? exception->GetText() : "");
    DebugTrace("\n%s(): Sync close session, async good (%ld)\n", kClose, 0L);
    CloseTrackSession(false, false, true, false, 0);
  }
  WaitUntilReady(20, 5000, !isDvdRam);
  DebugTrace("\n%s(): EXITing with success\n", kClose);
}

void CHalvorin_CdvdBurnerGrabber::BlankForCDRW(std::uint8_t p__UCHAR__BlankingType,
                                               std::uint32_t p__ULONG__StartAddress) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::BlankForCDRW");
  BlankCDB(static_cast<std::uint8_t>(p__UCHAR__BlankingType & 0x07), true, p__ULONG__StartAddress);
  WaitUntilReady(720, 5000, true);
}

void CHalvorin_CdvdBurnerGrabber::BlankForDVDPLUSRW() {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::BlankForDVDPLUSRW");
  FormatUnitForDVDPLUSRW();
  CloseSession();
}

void CHalvorin_CdvdBurnerGrabber::Blank(std::uint8_t p__UCHAR__BlankingType,
                                        std::uint32_t p__ULONG__StartAddress) {
  HalvorinI_Traced("CHalvorin_CdvdBurnerGrabber::Blank", [&] {
    CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__BurnerGrabber);
    RestoreWriteParameters();
    switch (GetDiscTypeSafe()) {
      case DISC_TYPE_DVDPLUSRW:
        BlankForDVDPLUSRW();
        break;
      case DISC_TYPE_DVDRAM:
        FormatUnitForDVDRAM();
        break;
      default:
        BlankForCDRW(p__UCHAR__BlankingType, p__ULONG__StartAddress);
        break;
    }
  });
}
