// Page 01h (read error recovery) around a grab: the drive's defaults back as current, or the
// defaults with its own error correction and read retries off.
#include <cstring>
#include <memory>
#include <vector>

#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/core/debug_trace.h"
#include "lib/core/scsi/mode_page.h"
#include "lib/core/trace_scope.h"

namespace {

constexpr std::uint32_t kBig = 4096;

// The default page 01h as a MODE SELECT(10) list (header cleared, page code byte set); its
// length.
std::uint32_t DefaultPage(CHalvorin_ScsiDeviceGeneric& p__Device, std::vector<std::uint8_t>& data) {
  data.assign(kBig, 0);
  p__Device.ModeSense10(0x01, 2, data.data(), kBig);
  const HalvorinI_ModePage page = HalvorinI_LocateModePage(data.data(), kBig, 0x01);
  if (page.m__ULONG__Size < 4 || page.m__PUCHAR__Page != data.data() + 8)
    HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                             "CHalvorin_CdvdBurnerGrabber: Mode page 0x01 is not there!!!");
  std::memset(data.data(), 0, 8);
  data[8] = 0x01;
  return static_cast<std::uint32_t>(data[9]) + 10;
}

void Warn(const char* p__PCHAR__Method, CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
  std::unique_ptr<CHalvorin_Exception> exception(p__PCHalvorin_Exception__Exception);
  DebugTrace("\n%s(): WARNING! Status %ld, message '%s'!!!\n", p__PCHAR__Method,
             static_cast<long>(exception ? exception->GetStatus() : 12),
             exception ? exception->GetText() : "");
}

}  // namespace

void CHalvorin_CdvdBurnerGrabber::RestoreReadErrorRecoverySafe() {
  constexpr const char* kMethod = "CHalvorin_CdvdBurnerGrabber::RestoreReadErrorRecoverySafe";
  CHalvorin_TraceScope trace(kMethod);
  try {
    std::vector<std::uint8_t> data;
    const std::uint32_t length = DefaultPage(*this, data);
    ModeSelect10(data.data(), length);
  } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    Warn(kMethod, p__PCHalvorin_Exception__Exception);
  }
}

bool CHalvorin_CdvdBurnerGrabber::DisableHardwareErrorCorrectionSafe() {
  constexpr const char* kMethod = "CHalvorin_CdvdBurnerGrabber::DisableHardwareErrorCorrectionSafe";
  CHalvorin_TraceScope trace(kMethod);
  try {
    std::vector<std::uint8_t> data;
    const std::uint32_t length = DefaultPage(*this, data);
    data[10] = 0x01;  // error recovery flags: DCR
    data[11] = 0x00;  // read retry count
    ModeSelect10(data.data(), length);
    std::vector<std::uint8_t> back(kBig);
    ModeSense10(0x01, 0, back.data(), kBig);
    const HalvorinI_ModePage page = HalvorinI_LocateModePage(back.data(), kBig, 0x01);
    const bool disabled =
        page.m__ULONG__Size >= 4 && page.m__PUCHAR__Page[2] == 0x01 && page.m__PUCHAR__Page[3] == 0;
    DebugTrace("\n%s(): Hardware error correction disabled (%ld)\n", kMethod,
               static_cast<long>(disabled));
    return disabled;
  } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    Warn(kMethod, p__PCHalvorin_Exception__Exception);
    return false;
  }
}
