#include "lib/core/scsi/scsi_transport_aspi.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "lib/core/debug_trace.h"
#include "lib/core/halvorin_exception.h"
#include "lib/core/scsi/aspi_request.h"
#include "lib/core/scsi/dumps.h"
#include "platform/aspi/clock.h"

namespace aspi = platform::aspi;

namespace {

constexpr const char* kConstructor = "CHalvorin_ScsiTransportASPI::CHalvorin_ScsiTransportASPI";
constexpr const char* kExecute = "CHalvorin_ScsiTransportASPI::ExecuteCDB";

constexpr std::uint8_t kFlagsIn = aspi::SRB_DIR_IN | aspi::SRB_EVENT_NOTIFY;    // 48h
constexpr std::uint8_t kFlagsOut = aspi::SRB_DIR_OUT | aspi::SRB_EVENT_NOTIFY;  // 50h
constexpr std::uint32_t kWaitTimeout = 258;                                     // WAIT_TIMEOUT
constexpr std::uint32_t kErrorTimeout = 1460;                                   // ERROR_TIMEOUT

enum class Retry { None, NotReady, Busy };

Retry RetryFor(const aspi::SrbExecScsiCmd& srb, std::uint8_t status) {
  if (status != aspi::SS_ERR || srb.hostAdapterStatus != aspi::HASTAT_OK) return Retry::None;
  if (srb.targetStatus == aspi::TARGET_BUSY) return Retry::Busy;
  if (srb.targetStatus != aspi::TARGET_CHECK_CONDITION) return Retry::None;
  const std::uint8_t key = srb.sense[2] & 0x0F, asc = srb.sense[12], ascq = srb.sense[13];
  if (key == 0x02 && (asc == 0x02 || (asc == 0x04 && ascq == 0x08))) return Retry::NotReady;
  if (key == 0x06 && (asc == 0x2E || (asc == 0x28 && ascq == 0x00))) return Retry::NotReady;
  return Retry::None;
}

// Traces the failure in its words and the transport's exit line, then throws.
[[noreturn]] void FailExecute(std::int32_t status, std::uintptr_t detail,
                              std::unique_ptr<CDB_FAILURE_INFORMATION> failure,
                              bool withFailureBlock, const char* message) {
  char text[CHalvorin_Exception::kTextSize] = {};
  std::snprintf(text, sizeof text, "%s(): %s", kExecute, message);
  DebugTrace("\n%s\n", text);
  DebugTrace("\n%s(): EXITing with failure, status %ld, message '%s'!!!\n", kExecute,
             static_cast<long>(status), text);
  if (withFailureBlock)
    HalvorinI_Throw(new (std::nothrow) CHalvorin_Exception(std::move(failure), "%s", text));
  HalvorinI_Throw(new (std::nothrow) CHalvorin_Exception(status, detail, "%s", text));
}

}  // namespace

CHalvorin_ScsiTransportASPI::CHalvorin_ScsiTransportASPI(std::uint8_t p__UCHAR__HostAdapter,
                                                         std::uint8_t p__UCHAR__Bus,
                                                         std::uint8_t p__UCHAR__TargetID,
                                                         std::uint8_t p__UCHAR__LUN)
    : CHalvorin_ScsiTransport(p__UCHAR__HostAdapter, p__UCHAR__Bus, p__UCHAR__TargetID,
                              p__UCHAR__LUN) {
  DebugTrace("\n%s(): ENTERed, %u:%u:%u:%u\n", kConstructor, p__UCHAR__HostAdapter, p__UCHAR__Bus,
             p__UCHAR__TargetID, p__UCHAR__LUN);
  try {
    OpenDevice();
  } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    HalvorinI_TraceExitFailure(kConstructor, p__PCHalvorin_Exception__Exception);
    throw;
  }
  DebugTrace("\n%s(): EXITing with success, device type 0x%02X, maximum transfer %lu\n",
             kConstructor, m__UCHAR__DeviceType,
             static_cast<unsigned long>(m__ULONG__MaximumTransfer));
}

CHalvorin_ScsiTransportASPI::~CHalvorin_ScsiTransportASPI() = default;

void CHalvorin_ScsiTransportASPI::OpenDevice() {
  const std::uint32_t support = aspi::GetASPI32SupportInfo();
  const std::uint8_t supportStatus = static_cast<std::uint8_t>(support >> 8);
  if (supportStatus != aspi::SS_COMP)
    HalvorinI_ThrowException(kHalvorinStatusAspiInquiry, 0,
                             "%s(): GetASPI32SupportInfo() failed, ASPI status 0x%02X!!!",
                             kConstructor, supportStatus);

  auto inquiry = std::make_unique<HalvorinI_AspiRequest>();
  auto& srb = inquiry->m__SRB_ExecSCSICmd__SRB;
  srb.header.hostAdapter = m__UCHAR__HostAdapter;
  srb.header.flags = kFlagsIn;
  srb.target = m__UCHAR__TargetID;
  srb.lun = 0;
  srb.data = inquiry->m__UCHAR__Buffer;
  srb.dataLength = sizeof inquiry->m__UCHAR__Buffer;
  srb.senseLength = aspi::kSenseAreaLength;
  srb.cdbLength = 6;
  srb.cdb[0] = 0x12;
  srb.cdb[4] = sizeof inquiry->m__UCHAR__Buffer;
  const std::uint8_t inquiryStatus = HalvorinI_SendAndWait(*inquiry, kHalvorinRequestWaitLimit);
  if (inquiryStatus == aspi::SS_PENDING) HalvorinI_LeaveToLayer(std::move(inquiry));
  if (inquiryStatus != aspi::SS_COMP)
    HalvorinI_ThrowException(
        kHalvorinStatusAspiInquiry, 0,
        "%s(): SendASPI32Command( SC_GET_DEV_TYPE ) for target ID %ld failed with ASPI status "
        "0x%02X!!!",
        kConstructor, static_cast<long>(m__UCHAR__TargetID), inquiryStatus);
  m__UCHAR__DeviceType = inquiry->m__UCHAR__Buffer[0] & 0x1F;

  aspi::SrbHaInquiry adapter;
  adapter.header.hostAdapter = m__UCHAR__HostAdapter;
  const auto adapterStatus = static_cast<std::uint8_t>(aspi::SendASPI32Command(&adapter.header));
  if (adapterStatus != aspi::SS_COMP)
    HalvorinI_ThrowException(
        kHalvorinStatusAspiInquiry, 0,
        "%s(): SendASPI32Command( SC_HA_INQUIRY ) for port ID %ld failed with ASPI status "
        "0x%02X!!!",
        kConstructor, static_cast<long>(m__UCHAR__HostAdapter), adapterStatus);
  // An adapter that cannot take 61,440 bytes a command bounds the transfers itself.
  m__ULONG__MaximumTransfer = adapter.maxTransfer
                                  ? std::min(kHalvorinMaximumTransfer, adapter.maxTransfer)
                                  : kHalvorinMaximumTransfer;
  DumpHostAdapterInquiry(&adapter);

  aspi::SrbGetSymbolicName name;
  name.header.hostAdapter = m__UCHAR__HostAdapter;
  name.target = m__UCHAR__TargetID;
  name.lun = m__UCHAR__LUN;
  const auto nameStatus = static_cast<std::uint8_t>(aspi::SendASPI32Command(&name.header));
  if (nameStatus == aspi::SS_COMP) {
    name.name[sizeof name.name - 1] = 0;
    DebugTrace("\n%s(): Symbolic name is '%s'\n", kConstructor, name.name);
  } else {
    DebugTrace(
        "\n%s(): WARNING! SendASPI32Command( SC_GET_SYMBOLIC_NAME ) failed with ASPI "
        "status 0x%02X!!!\n",
        kConstructor, nameStatus);
  }
}

void CHalvorin_ScsiTransportASPI::ExecuteCDB(const std::uint8_t* p__PUCHAR__CDB,
                                             std::uint8_t p__UCHAR__CDBLength,
                                             void* p__PVOID__Buffer,
                                             std::uint32_t p__ULONG__BufferSize,
                                             std::uint8_t p__UCHAR__Direction) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__CriticalSection);
  if (!p__PUCHAR__CDB || p__UCHAR__CDBLength == 0 || p__UCHAR__CDBLength > aspi::kMaxCdbLength) {
    char message[128];
    std::snprintf(message, sizeof message, "CDB length %ld is not supported!!!",
                  static_cast<long>(p__UCHAR__CDBLength));
    FailExecute(kHalvorinStatusInvalidArgument, 0, nullptr, false, message);
  }

  auto request = std::make_unique<HalvorinI_AspiRequest>();
  auto& srb = request->m__SRB_ExecSCSICmd__SRB;
  std::uint32_t retries = 0;
  for (;;) {
    srb = aspi::SrbExecScsiCmd{};
    srb.header.hostAdapter = m__UCHAR__HostAdapter;
    srb.header.flags = p__UCHAR__Direction == kHalvorinDirectionOut ? kFlagsOut : kFlagsIn;
    srb.target = m__UCHAR__TargetID;
    srb.lun = m__UCHAR__LUN;
    srb.data = p__ULONG__BufferSize ? static_cast<std::uint8_t*>(p__PVOID__Buffer) : nullptr;
    srb.dataLength = srb.data ? p__ULONG__BufferSize : 0;
    srb.senseLength = aspi::kSenseAreaLength;
    srb.cdbLength = p__UCHAR__CDBLength;
    std::memcpy(srb.cdb, p__PUCHAR__CDB, p__UCHAR__CDBLength);

    const std::uint8_t status = HalvorinI_SendAndWait(*request, kHalvorinRequestWaitLimit);
    if (status == aspi::SS_PENDING) {
      // The buffer stays the layer's until it completes; the request record with it.
      HalvorinI_LeaveToLayer(std::move(request));
      char message[128];
      std::snprintf(message, sizeof message,
                    "WaitForSingleObject() failed, return %ld, status %ld!!!",
                    static_cast<long>(kWaitTimeout), static_cast<long>(kErrorTimeout));
      FailExecute(kHalvorinStatusSystemCall, kErrorTimeout, nullptr, false, message);
    }
    if (status == aspi::SS_COMP) return;

    const std::uint8_t key = srb.sense[2] & 0x0F, asc = srb.sense[12], ascq = srb.sense[13];
    const bool longWrite = p__PUCHAR__CDB[0] == 0x2A &&
                           srb.targetStatus == aspi::TARGET_CHECK_CONDITION && key == 0x02 &&
                           asc == 0x04 && ascq == 0x08;
    if (!longWrite) {
      DebugTrace("\n%s(): Command failed!!!\n", kExecute);
      DumpSRB(&srb);
      DumpSenseData(srb.sense, srb.senseLength);
    }

    const Retry retry = RetryFor(srb, status);
    if (retry != Retry::None) {
      if (++retries <= kHalvorinMaximumRetries) {
        aspi::CurrentClock()->SleepFor(std::chrono::milliseconds(100));
        continue;
      }
      FailExecute(kHalvorinStatusNotReady, 0, nullptr, false,
                  retry == Retry::Busy ? "Device not ready too long #2!!!"
                                       : "Device not ready too long #1!!!");
    }

    std::unique_ptr<CDB_FAILURE_INFORMATION> failure(new (std::nothrow) CDB_FAILURE_INFORMATION{});
    if (!failure) {
      DebugTrace("\n%s(): new CDB_FAILURE_INFORMATION failed!!!\n", kExecute);
    } else {
      failure->m__UCHAR__IsValid = 1;
      failure->m__UCHAR__CDBLength = p__UCHAR__CDBLength;
      std::memcpy(failure->m__UCHAR__CDB, p__PUCHAR__CDB, p__UCHAR__CDBLength);
      failure->m__UCHAR__SenseLength = srb.senseLength;
      std::memcpy(failure->m__UCHAR__Sense, srb.sense,
                  std::min<std::size_t>(srb.senseLength, sizeof srb.sense));
      failure->m__UCHAR__SRBStatus = status;
      failure->m__UCHAR__TargetStatus = srb.targetStatus;
      failure->m__UCHAR__HostAdapterStatus = srb.hostAdapterStatus;
    }
    FailExecute(kHalvorinStatusScsiCommand, 0, std::move(failure), true, "Command failed!!!");
  }
}
