// An iSCSI MMC logical unit through libiscsi as one host adapter: target 0, LUN 0 is the URL's
// logical unit (a target's LUN 0 is often its controller, and the library probes LUN 0 only).
#include <poll.h>

extern "C" {
#include <iscsi/iscsi.h>
#include <iscsi/scsi-lowlevel.h>
}

#include <algorithm>
#include <mutex>

#include "platform/aspi/adapter_registry.h"
#include "platform/aspi/recorder/vr_sense.h"

namespace platform::aspi {

namespace {

constexpr const char* kInitiator = "iqn.2024-01.org.quorva:halvorin";

struct Context {
  iscsi_context* ctx = nullptr;
  ~Context() {
    if (ctx) iscsi_destroy_context(ctx);
  }
};

struct Pending {
  bool done = false;
  int status = 0;
  scsi_task* task = nullptr;
};

void OnComplete(iscsi_context*, int status, void* commandData, void* privateData) {
  auto* p = static_cast<Pending*>(privateData);
  p->done = true;
  p->status = status;
  p->task = static_cast<scsi_task*>(commandData);
}

class IscsiAdapter : public HostAdapter {
 public:
  explicit IscsiAdapter(std::string url) : url_(std::move(url)) {}

  const char* Kind() const override { return "ISCSI"; }
  std::uint16_t TargetCount() const override { return 1; }
  std::uint32_t MaxTransfer() const override { return 256u << 10; }
  bool HasDevice(std::uint8_t target, std::uint8_t lun) override { return target == 0 && lun == 0; }
  std::optional<std::string> SymbolicName(std::uint8_t target, std::uint8_t lun) override {
    if (!HasDevice(target, lun)) return std::nullopt;
    return url_;
  }

  ScsiResult Execute(std::uint8_t target, std::uint8_t lun, const ScsiCommand& command) override {
    std::lock_guard lock(mutex_);
    ScsiResult r;
    if (!HasDevice(target, lun) || !Connect()) {
      r.hostStatus = HASTAT_SEL_TIMEOUT;
      return r;
    }
    const int dir = command.direction == DataDirection::In    ? SCSI_XFER_READ
                    : command.direction == DataDirection::Out ? SCSI_XFER_WRITE
                                                              : SCSI_XFER_NONE;
    const int length = dir == SCSI_XFER_NONE ? 0 : static_cast<int>(command.data.size());
    std::uint8_t cdb[kMaxCdbLength] = {};
    std::copy(command.cdb.begin(), command.cdb.end(), cdb);
    scsi_task* task = scsi_create_task(static_cast<int>(command.cdb.size()), cdb, dir, length);
    if (!task) {
      r.hostStatus = HASTAT_ADAPTER_ERROR;
      return r;
    }
    scsi_iovec iov{command.data.data(), command.data.size()};
    if (dir == SCSI_XFER_READ && length > 0) scsi_task_set_iov_in(task, &iov, 1);
    iscsi_data out{command.data.size(), command.data.data()};
    Pending pending;
    if (iscsi_scsi_command_async(context_.ctx, lun_, task, OnComplete,
                                 dir == SCSI_XFER_WRITE ? &out : nullptr, &pending) != 0) {
      Disconnect();
      scsi_free_scsi_task(task);
      r.hostStatus = HASTAT_ADAPTER_ERROR;
      return r;
    }
    const WaitResult waited = Wait(pending, command.deadline);
    // The session goes before the task: the context still holds the task's PDU and cancels it
    // when it is destroyed.
    if (waited == WaitResult::Failed) {
      Disconnect();
      scsi_free_scsi_task(task);
      r.hostStatus = HASTAT_ADAPTER_ERROR;
      return r;
    }
    if (waited == WaitResult::TimedOut) {
      // Aborted at its time-out; the session is dropped so no late answer lands in the buffer.
      iscsi_scsi_cancel_task(context_.ctx, task);
      Disconnect();
      scsi_free_scsi_task(task);
      r.hostStatus = HASTAT_TIMEOUT;
      return r;
    }
    switch (pending.status) {
      case SCSI_STATUS_GOOD:
        r.transferred = length > 0 && task->residual_status == SCSI_RESIDUAL_UNDERFLOW
                            ? static_cast<std::size_t>(length) - task->residual
                            : static_cast<std::size_t>(length);
        break;
      case SCSI_STATUS_CHECK_CONDITION: {
        r.targetStatus = TARGET_CHECK_CONDITION;
        const vr::Sense s(static_cast<std::uint8_t>(task->sense.key),
                          static_cast<std::uint8_t>(task->sense.ascq >> 8),
                          static_cast<std::uint8_t>(task->sense.ascq & 0xFF));
        r.sense = vr::FixedSense(s);
        r.senseLength = r.sense.size();
        break;
      }
      case SCSI_STATUS_BUSY:
        r.targetStatus = TARGET_BUSY;
        break;
      default:
        if (pending.status > 0 && pending.status < 0x100) {
          r.targetStatus = static_cast<std::uint8_t>(pending.status);
        } else {
          r.hostStatus = HASTAT_ADAPTER_ERROR;
          Disconnect();
        }
    }
    scsi_free_scsi_task(task);
    return r;
  }

 private:
  bool Connect() {
    if (context_.ctx) return true;
    iscsi_context* ctx = iscsi_create_context(kInitiator);
    if (!ctx) return false;
    iscsi_url* url = iscsi_parse_full_url(ctx, url_.c_str());
    bool ok = url != nullptr;
    if (ok) {
      iscsi_set_targetname(ctx, url->target);
      iscsi_set_session_type(ctx, ISCSI_SESSION_NORMAL);
      iscsi_set_header_digest(ctx, ISCSI_HEADER_DIGEST_NONE_CRC32C);
      iscsi_set_timeout(ctx, 10);
      ok = iscsi_full_connect_sync(ctx, url->portal, url->lun) == 0;
      lun_ = url->lun;
      iscsi_destroy_url(url);
    }
    if (!ok) {
      iscsi_destroy_context(ctx);
      return false;
    }
    context_.ctx = ctx;
    return true;
  }

  void Disconnect() {
    if (context_.ctx) iscsi_destroy_context(context_.ctx);
    context_.ctx = nullptr;
  }

  enum class WaitResult { Done, TimedOut, Failed };

  WaitResult Wait(Pending& pending, Clock::Duration deadline) {
    auto clock = CurrentClock();
    while (!pending.done) {
      const auto left = deadline - clock->Now();
      if (left.count() <= 0) return WaitResult::TimedOut;
      pollfd pfd{iscsi_get_fd(context_.ctx), static_cast<short>(iscsi_which_events(context_.ctx)),
                 0};
      const int ms = static_cast<int>(std::min<std::int64_t>(
          100, std::chrono::duration_cast<std::chrono::milliseconds>(left).count() + 1));
      const int n = poll(&pfd, 1, ms);
      if (n < 0 && errno != EINTR) return WaitResult::Failed;
      if (iscsi_service(context_.ctx, n > 0 ? pfd.revents : 0) != 0)
        return pending.done ? WaitResult::Done : WaitResult::Failed;
    }
    return WaitResult::Done;
  }

  std::string url_;
  std::mutex mutex_;
  Context context_;
  int lun_ = 0;
};

}  // namespace

std::unique_ptr<HostAdapter> MakeIscsiAdapter(const std::string& url) {
  return std::make_unique<IscsiAdapter>(url);
}

}  // namespace platform::aspi
