#include "lib/core/aspi_request.h"

#include <thread>

#include "lib/core/debug_trace.h"

namespace aspi = platform::aspi;

bool HalvorinI_WaitForRequest(HalvorinI_AspiRequest& p__HalvorinI_AspiRequest__Request,
                              std::chrono::milliseconds p__MILLISECONDS__Limit) {
  auto& event = p__HalvorinI_AspiRequest__Request.m__CompletionEvent;
  // Most commands complete within microseconds: a short spin spares a sleep and wake-up.
  for (int i = 0; i < 2000; ++i) {
    if (event.IsSet()) return true;
    std::this_thread::yield();
  }
  return event.WaitFor(p__MILLISECONDS__Limit);
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
