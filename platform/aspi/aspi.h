// The SCSI pass-through layer of the recording library: our own request records and the two
// entry points, GetASPI32SupportInfo and SendASPI32Command. Host adapter 0 holds the virtual
// recorders; Linux SG_IO devices and iSCSI logical units follow as further adapters.
//
// A request is one of the records below; its header's command selects which. Execute requests
// (SC_EXEC_SCSI_CMD) complete at once, or, with SRB_EVENT_NOTIFY, return SS_PENDING and set
// the post event when they are done; RequestStatus reads the status while it may still change.
// Every command has a time-out: one that does not complete in time is answered SS_ERR with
// host-adapter status HASTAT_TIMEOUT.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace platform::aspi {

// Request commands.
inline constexpr std::uint8_t SC_HA_INQUIRY = 0x00;
inline constexpr std::uint8_t SC_EXEC_SCSI_CMD = 0x02;
inline constexpr std::uint8_t SC_GET_SYMBOLIC_NAME = 0x80;  // vendor request: the device's name

// Request status (header status, and bits 8-15 of GetASPI32SupportInfo).
inline constexpr std::uint8_t SS_PENDING = 0x00;
inline constexpr std::uint8_t SS_COMP = 0x01;
inline constexpr std::uint8_t SS_ERR = 0x04;
inline constexpr std::uint8_t SS_INVALID_CMD = 0x10;  // unknown request command
inline constexpr std::uint8_t SS_INVALID_HA = 0x11;   // no such host adapter
inline constexpr std::uint8_t SS_NO_DEVICE = 0x12;    // no device at target/LUN
inline constexpr std::uint8_t SS_INVALID_SRB = 0x13;  // malformed request record

// Request flags of an execute request.
inline constexpr std::uint8_t SRB_DIR_IN = 0x08;        // data from the device
inline constexpr std::uint8_t SRB_DIR_OUT = 0x10;       // data to the device
inline constexpr std::uint8_t SRB_EVENT_NOTIFY = 0x40;  // complete later, set the post event

// Host-adapter status of an execute request.
inline constexpr std::uint8_t HASTAT_OK = 0x00;
inline constexpr std::uint8_t HASTAT_TIMEOUT = 0x01;        // command aborted after its time-out
inline constexpr std::uint8_t HASTAT_SEL_TIMEOUT = 0x02;    // device did not answer selection
inline constexpr std::uint8_t HASTAT_DATA_OVERRUN = 0x03;   // more data than the buffer holds
inline constexpr std::uint8_t HASTAT_ADAPTER_ERROR = 0x04;  // transport failure

// Target (SCSI) status of an execute request.
inline constexpr std::uint8_t TARGET_GOOD = 0x00;
inline constexpr std::uint8_t TARGET_CHECK_CONDITION = 0x02;
inline constexpr std::uint8_t TARGET_BUSY = 0x08;

inline constexpr std::size_t kMaxCdbLength = 16;
inline constexpr std::size_t kSenseAreaLength = 14;  // fixed-format sense up to the ASCQ

// Manual-reset event given as the post event of a pending request.
class CompletionEvent {
 public:
  void Set();
  void Reset();
  void Wait();
  // True when set within the time.
  bool WaitFor(std::chrono::milliseconds timeout);
  bool IsSet();

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::atomic<bool> set_{false};
};

// Head of every request.
struct SrbHeader {
  std::uint8_t command = 0;  // SC_*
  std::uint8_t status = 0;   // SS_*, written by the layer
  std::uint8_t hostAdapter = 0;
  std::uint8_t flags = 0;
};

struct SrbHaInquiry {
  SrbHeader header{SC_HA_INQUIRY};
  std::uint8_t adapterCount = 0;
  std::uint8_t adapterScsiId = 0;
  char managerId[16] = {};        // "QUORVA ASPI"
  char adapterId[16] = {};        // kind of the adapter: "VIRTUAL", "SG_IO", "ISCSI"
  std::uint32_t maxTransfer = 0;  // bytes per command
  std::uint16_t maxTargets = 0;
};

struct SrbExecScsiCmd {
  SrbHeader header{SC_EXEC_SCSI_CMD};
  std::uint8_t target = 0;
  std::uint8_t lun = 0;
  std::uint32_t dataLength = 0;
  std::uint8_t* data = nullptr;
  std::uint8_t senseLength = kSenseAreaLength;  // at most kSenseAreaLength
  std::uint8_t cdbLength = 0;                   // 6, 10 or 12
  std::uint8_t hostAdapterStatus = 0;           // HASTAT_*
  std::uint8_t targetStatus = 0;                // TARGET_*
  CompletionEvent* postEvent = nullptr;         // with SRB_EVENT_NOTIFY
  std::uint8_t cdb[kMaxCdbLength] = {};
  std::uint8_t sense[kSenseAreaLength] = {};  // autosense after a check condition
};

struct SrbGetSymbolicName {
  SrbHeader header{SC_GET_SYMBOLIC_NAME};
  std::uint8_t target = 0;
  std::uint8_t lun = 0;
  char name[256] = {};  // zero-terminated
};

// Status in bits 8-15 (SS_COMP when the layer is usable), host adapter count in bits 0-7.
std::uint32_t GetASPI32SupportInfo();

// Carries out one request (any of the records above, passed by its header). Returns the
// request status; SS_PENDING only for an execute request with SRB_EVENT_NOTIFY.
std::uint32_t SendASPI32Command(SrbHeader* request);

// The status of a request that another thread may still complete.
std::uint8_t RequestStatus(SrbHeader& request);

}  // namespace platform::aspi
