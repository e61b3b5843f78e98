// One execute request of the ASPI layer with the event that reports its completion.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "platform/aspi/aspi.h"

struct HalvorinI_AspiRequest {
  platform::aspi::SrbExecScsiCmd m__SRB_ExecSCSICmd__SRB;
  platform::aspi::CompletionEvent m__CompletionEvent;
  std::uint8_t m__UCHAR__Buffer[96] = {};  // the probes' INQUIRY data, held with the record
};

// The layer answers every command by its own time-out; this is the wait's last resort.
inline constexpr std::chrono::milliseconds kHalvorinRequestWaitLimit = std::chrono::minutes(10);

// Sends the request with event notification and waits up to `limit` for it. Returns the final
// request status, or SS_PENDING when it had not completed in time.
std::uint8_t HalvorinI_SendAndWait(HalvorinI_AspiRequest& p__HalvorinI_AspiRequest__Request,
                                   std::chrono::milliseconds p__MILLISECONDS__Limit);

// Waits up to `limit` more for a request that was sent; true when it completed.
bool HalvorinI_WaitForRequest(HalvorinI_AspiRequest& p__HalvorinI_AspiRequest__Request,
                              std::chrono::milliseconds p__MILLISECONDS__Limit);

// A request the layer still holds after every wait: its record must outlive the layer's late
// completion, so it is left allocated rather than freed under the layer.
void HalvorinI_LeaveToLayer(
    std::unique_ptr<HalvorinI_AspiRequest> p__HalvorinI_AspiRequest__Request);
