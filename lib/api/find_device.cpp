// The device search and the device-name query.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

#include "halvorin.h"
#include "lib/core/debug_trace.h"
#include "lib/core/scsi/aspi_request.h"
#include "platform/aspi/aspi.h"

namespace aspi = platform::aspi;

namespace {

constexpr const char* kFind = "Halvorin:Halvorin_FindDevice";
constexpr int kTargets = 63;
// A device gets ten polls of 100 ms to answer its INQUIRY.
constexpr auto kAnswerTime = std::chrono::milliseconds(1000);

// Peripheral device type of the target, or -1 when it did not answer in time.
int ProbeTarget(std::unique_ptr<HalvorinI_AspiRequest>& request, std::uint8_t hostAdapter,
                std::uint8_t target) {
  auto& srb = request->m__SRB_ExecSCSICmd__SRB;
  srb = aspi::SrbExecScsiCmd{};
  std::memset(request->m__UCHAR__Buffer, 0, sizeof request->m__UCHAR__Buffer);
  srb.header.hostAdapter = hostAdapter;
  srb.header.flags = aspi::SRB_DIR_IN;
  srb.target = target;
  srb.lun = 0;
  srb.data = request->m__UCHAR__Buffer;
  srb.dataLength = sizeof request->m__UCHAR__Buffer;
  srb.senseLength = aspi::kSenseAreaLength;
  srb.cdbLength = 6;
  srb.cdb[0] = 0x12;
  srb.cdb[4] = sizeof request->m__UCHAR__Buffer;
  const std::uint8_t status = HalvorinI_SendAndWait(*request, kAnswerTime);
  if (status == aspi::SS_PENDING) {
    DebugTrace("\n%s(): WARNING! Target ID %ld of port ID %ld did not answer in time!!!\n", kFind,
               static_cast<long>(target), static_cast<long>(hostAdapter));
    // Too slow to count, but its request is never abandoned while the layer holds it.
    if (!HalvorinI_WaitForRequest(*request, kHalvorinRequestWaitLimit)) {
      HalvorinI_LeaveToLayer(std::move(request));
      request = std::make_unique<HalvorinI_AspiRequest>();
    }
    return -1;
  }
  if (status != aspi::SS_COMP) return -1;
  return request->m__UCHAR__Buffer[0] & 0x1F;
}

}  // namespace

uint32_t Halvorin_FindDevice(int32_t p__LONG__DeviceTypeFilter, uint8_t p__BOOLEAN__IsStopAtFirst,
                             HALVORIN_CALLBACK p__HALVORIN_CALLBACK__Callback,
                             void* p__PVOID__Context) {
  DebugTrace("\n%s(): ENTERed, device type filter %ld, stop at first %u\n", kFind,
             static_cast<long>(p__LONG__DeviceTypeFilter), p__BOOLEAN__IsStopAtFirst);
  std::uint32_t found = 0;
  try {
    const std::uint32_t support = aspi::GetASPI32SupportInfo();
    const std::uint8_t status = static_cast<std::uint8_t>(support >> 8);
    if (status != aspi::SS_COMP) {
      DebugTrace("\n%s(): GetASPI32SupportInfo() failed, ASPI status 0x%02X!!!\n", kFind, status);
      return 0;
    }
    const std::uint8_t adapters = static_cast<std::uint8_t>(support & 0xFF);
    auto request = std::make_unique<HalvorinI_AspiRequest>();
    for (std::uint8_t hostAdapter = 0; hostAdapter < adapters; ++hostAdapter) {
      for (int target = 0; target < kTargets; ++target) {
        const int type = ProbeTarget(request, hostAdapter, static_cast<std::uint8_t>(target));
        if (type < 0) continue;
        if (p__LONG__DeviceTypeFilter != -1 &&
            type != static_cast<std::uint8_t>(p__LONG__DeviceTypeFilter))
          continue;
        HALVORIN_DEVICE_ADDRESS address{1, hostAdapter, 0, static_cast<std::uint8_t>(target), 0};
        DebugTrace("\n%s(): Device type 0x%02X at %u:0:%d:0\n", kFind, type, hostAdapter, target);
        if (p__HALVORIN_CALLBACK__Callback)
          p__HALVORIN_CALLBACK__Callback(HALVORIN_CALLBACK_REASON_DEVICE_FOUND, p__PVOID__Context,
                                         &address, nullptr);
        ++found;
        if (p__BOOLEAN__IsStopAtFirst == 1) {
          DebugTrace("\n%s(): EXITing with success, stopped at the first device\n", kFind);
          return 1;
        }
      }
    }
  } catch (...) {
    // The search never fails: what was found so far is the answer.
    DebugTrace("\n%s(): WARNING! Search stopped early!!!\n", kFind);
  }
  DebugTrace("\n%s(): EXITing with success, %lu device(s) found\n", kFind,
             static_cast<unsigned long>(found));
  return found;
}

HALVORIN_STATUS Halvorin_GetDeviceNameByDeviceAddress(uint8_t p__UCHAR__HostAdapter, uint8_t,
                                                      uint8_t p__UCHAR__TargetID, uint8_t,
                                                      char* p__PCHAR__Name,
                                                      uint32_t p__ULONG__NameLength) {
  const char* method = "Halvorin:Halvorin_GetDeviceNameByDeviceAddress";
  DebugTrace("\n%s(): ENTERed, %u:%u\n", method, p__UCHAR__HostAdapter, p__UCHAR__TargetID);
  aspi::SrbGetSymbolicName request;
  request.header.hostAdapter = p__UCHAR__HostAdapter;
  request.target = p__UCHAR__TargetID;
  request.lun = 0;
  const auto status = static_cast<std::uint8_t>(aspi::SendASPI32Command(&request.header));
  if (status != aspi::SS_COMP) {
    DebugTrace(
        "\n%s(): SendASPI32Command( SC_GET_SYMBOLIC_NAME ) for port ID %ld and target ID "
        "%ld failed with ASPI status 0x%02X!!!\n",
        method, static_cast<long>(p__UCHAR__HostAdapter), static_cast<long>(p__UCHAR__TargetID),
        status);
    return HALVORIN_STATUS_RANGE_NOT_FOUND;
  }
  const std::size_t length = strnlen(request.name, sizeof request.name);
  if (p__PCHAR__Name && p__ULONG__NameLength > 0) {
    const std::size_t n = std::min<std::size_t>(length, p__ULONG__NameLength - 1);
    std::memcpy(p__PCHAR__Name, request.name, n);
    p__PCHAR__Name[n] = 0;
  }
  DebugTrace("\n%s(): EXITing with success, name '%.*s'\n", method, static_cast<int>(length),
             request.name);
  return HALVORIN_STATUS_SUCCESS;
}
