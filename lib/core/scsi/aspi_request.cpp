#include "lib/core/scsi/aspi_request.h"

#include "lib/core/debug_trace.h"

namespace aspi = platform::aspi;

bool HalvorinI_WaitForRequest(HalvorinI_AspiRequest& p__HalvorinI_AspiRequest__Request,
                              std::chrono::milliseconds p__MILLISECONDS__Limit) {
  return p__HalvorinI_AspiRequest__Request.m__CompletionEvent.WaitFor(p__MILLISECONDS__Limit);
}

std::uint8_t HalvorinI_SendAndWait(HalvorinI_AspiRequest& p__HalvorinI_AspiRequest__Request,
                                   std::chrono::milliseconds p__MILLISECONDS__Limit) {
  auto& srb = p__HalvorinI_AspiRequest__Request.m__SRB_ExecSCSICmd__SRB;
  srb.header.command = aspi::SC_EXEC_SCSI_CMD;
  srb.header.flags |= aspi::SRB_EVENT_NOTIFY;
  srb.postEvent = &p__HalvorinI_AspiRequest__Request.m__CompletionEvent;
  p__HalvorinI_AspiRequest__Request.m__CompletionEvent.Reset();
  const auto status = static_cast<std::uint8_t>(aspi::SendASPI32Command(&srb.header));
  if (status != aspi::SS_PENDING) return status;
  if (!HalvorinI_WaitForRequest(p__HalvorinI_AspiRequest__Request, p__MILLISECONDS__Limit))
    return aspi::SS_PENDING;
  return aspi::RequestStatus(srb.header);
}

void HalvorinI_LeaveToLayer(
    std::unique_ptr<HalvorinI_AspiRequest> p__HalvorinI_AspiRequest__Request) {
  DebugTrace(
      "\nHalvorinI_LeaveToLayer(): WARNING! Request %p never completed, left to the ASPI "
      "layer!!!\n",
      static_cast<void*>(p__HalvorinI_AspiRequest__Request.get()));
  (void)p__HalvorinI_AspiRequest__Request.release();
}
