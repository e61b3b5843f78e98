// The two entry points: checks of the request record, then the adapter's backend.
#include "platform/aspi/aspi.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>

#include "platform/aspi/adapter_registry.h"

namespace platform::aspi {

namespace {

void StoreStatus(SrbHeader& header, std::uint8_t status) {
  std::atomic_ref<std::uint8_t>(header.status).store(status, std::memory_order_release);
}

void CopyText(char* to, std::size_t size, const std::string& text) {
  std::memset(to, 0, size);
  std::memcpy(to, text.data(), std::min(size - 1, text.size()));
}

std::uint8_t HaInquiry(SrbHaInquiry& r) {
  auto& registry = AdapterRegistry::Instance();
  auto slot = registry.Get(r.header.hostAdapter);
  if (!slot) return SS_INVALID_HA;
  r.adapterCount = static_cast<std::uint8_t>(registry.Count());
  r.adapterScsiId = 7;  // the initiator's own ID, as on a parallel bus
  CopyText(r.managerId, sizeof r.managerId, "QUORVA ASPI");
  CopyText(r.adapterId, sizeof r.adapterId, slot->adapter->Kind());
  r.maxTransfer = slot->adapter->MaxTransfer();
  r.maxTargets = slot->adapter->TargetCount();
  return SS_COMP;
}

std::uint8_t SymbolicName(SrbGetSymbolicName& r) {
  auto slot = AdapterRegistry::Instance().Get(r.header.hostAdapter);
  if (!slot) return SS_INVALID_HA;
  auto name = slot->adapter->SymbolicName(r.target, r.lun);
  if (!name) return SS_NO_DEVICE;
  CopyText(r.name, sizeof r.name, *name);
  return SS_COMP;
}

// Runs the command and fills the record; returns the final status.
std::uint8_t Complete(AdapterSlot& slot, SrbExecScsiCmd& r, DataDirection dir) {
  ScsiCommand command;
  command.cdb = std::span<const std::uint8_t>(r.cdb, r.cdbLength);
  command.data = std::span<std::uint8_t>(r.data, r.data ? r.dataLength : 0);
  command.direction = dir;
  command.deadline = CurrentClock()->Now() + AdapterRegistry::Instance().CommandTimeout();
  ScsiResult result;
  try {
    result = slot.adapter->Execute(r.target, r.lun, command);
  } catch (const std::exception&) {
    result = ScsiResult{};
    result.hostStatus = HASTAT_ADAPTER_ERROR;
  }
  r.hostAdapterStatus = result.hostStatus;
  r.targetStatus = result.targetStatus;
  std::memset(r.sense, 0, sizeof r.sense);
  std::memcpy(r.sense, result.sense.data(),
              std::min<std::size_t>({r.senseLength, result.senseLength, sizeof r.sense}));
  const bool ok = result.hostStatus == HASTAT_OK && result.targetStatus == TARGET_GOOD;
  return ok ? SS_COMP : SS_ERR;
}

std::uint8_t Execute(SrbExecScsiCmd& r) {
  auto slot = AdapterRegistry::Instance().Get(r.header.hostAdapter);
  if (!slot) return SS_INVALID_HA;
  const bool in = r.header.flags & SRB_DIR_IN, out = r.header.flags & SRB_DIR_OUT;
  if ((in && out) || (r.cdbLength != 6 && r.cdbLength != 10 && r.cdbLength != 12) ||
      r.senseLength > kSenseAreaLength || (r.dataLength > 0 && !r.data) ||
      ((r.header.flags & SRB_EVENT_NOTIFY) && !r.postEvent))
    return SS_INVALID_SRB;
  if (!slot->adapter->HasDevice(r.target, r.lun)) {
    r.hostAdapterStatus = HASTAT_SEL_TIMEOUT;
    return SS_NO_DEVICE;
  }
  const DataDirection dir = in ? DataDirection::In : out ? DataDirection::Out : DataDirection::None;
  if (!(r.header.flags & SRB_EVENT_NOTIFY)) return Complete(*slot, r, dir);
  StoreStatus(r.header, SS_PENDING);
  r.postEvent->Reset();
  if (slot->worker.Idle() && slot->adapter->AnswersAtOnce(r.target, r.lun, r.cdb[0])) {
    // Pending as the contract says, but already complete: the event is set before the return.
    CompletionEvent* event = r.postEvent;
    StoreStatus(r.header, Complete(*slot, r, dir));
    event->Set();
    return SS_PENDING;
  }
  slot->worker.Post([slot, &r, dir] {
    const std::uint8_t status = Complete(*slot, r, dir);
    // A caller that polls the status may free the request once it is stored.
    CompletionEvent* event = r.postEvent;
    StoreStatus(r.header, status);
    event->Set();
  });
  return SS_PENDING;
}

}  // namespace

std::uint32_t GetASPI32SupportInfo() {
  const std::size_t count = AdapterRegistry::Instance().Count();
  return (static_cast<std::uint32_t>(SS_COMP) << 8) | static_cast<std::uint32_t>(count & 0xFF);
}

std::uint32_t SendASPI32Command(SrbHeader* request) {
  if (!request) return SS_INVALID_SRB;
  std::uint8_t status;
  switch (request->command) {
    case SC_HA_INQUIRY:
      status = HaInquiry(*reinterpret_cast<SrbHaInquiry*>(request));
      break;
    case SC_GET_SYMBOLIC_NAME:
      status = SymbolicName(*reinterpret_cast<SrbGetSymbolicName*>(request));
      break;
    case SC_EXEC_SCSI_CMD:
      status = Execute(*reinterpret_cast<SrbExecScsiCmd*>(request));
      if (status == SS_PENDING) return status;  // the worker owns the status from here
      break;
    default:
      status = SS_INVALID_CMD;
  }
  StoreStatus(*request, status);
  return status;
}

std::uint8_t RequestStatus(SrbHeader& request) {
  return std::atomic_ref<std::uint8_t>(request.status).load(std::memory_order_acquire);
}

}  // namespace platform::aspi
