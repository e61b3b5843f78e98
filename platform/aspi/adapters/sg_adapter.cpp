// Linux SG_IO devices of type 5 (/dev/sr*, /dev/sg*): one host adapter per kernel SCSI host, its
// targets in the kernel's (channel, id, LUN) order, so an address stays the same between runs.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>

#include "platform/aspi/adapter_registry.h"

namespace platform::aspi {

namespace {

constexpr std::uint8_t kDidNoConnect = 0x01, kDidBusBusy = 0x02, kDidTimeOut = 0x03,
                       kDidBadTarget = 0x04;
constexpr std::uint8_t kDriverTimeout = 0x06;

struct Device {
  SgDeviceNode node;
  std::mutex mutex;
  int fd = -1;
};

// Descriptor-format sense (72h/73h) turned into the fixed format the request block carries.
void CopySense(const std::uint8_t* sb, std::size_t n, ScsiResult& r) {
  r.sense.fill(0);
  if (n == 0) return;
  if ((sb[0] & 0x7F) == 0x72 || (sb[0] & 0x7F) == 0x73) {
    r.sense[0] = (sb[0] & 0x7F) == 0x72 ? 0x70 : 0x71;
    r.sense[2] = n > 1 ? sb[1] & 0x0F : 0;
    r.sense[7] = 10;
    r.sense[12] = n > 2 ? sb[2] : 0;
    r.sense[13] = n > 3 ? sb[3] : 0;
  } else {
    std::memcpy(r.sense.data(), sb, std::min(n, r.sense.size()));
  }
  r.senseLength = r.sense.size();
}

class SgAdapter : public HostAdapter {
 public:
  SgAdapter(std::shared_ptr<SgIoSystem> system, std::vector<SgDeviceNode> nodes)
      : system_(std::move(system)) {
    for (auto& n : nodes) {
      auto d = std::make_unique<Device>();
      d->node = std::move(n);
      devices_.push_back(std::move(d));
    }
  }
  ~SgAdapter() override {
    for (auto& d : devices_)
      if (d->fd >= 0) system_->Close(d->fd);
  }

  const char* Kind() const override { return "SG_IO"; }
  std::uint16_t TargetCount() const override { return static_cast<std::uint16_t>(devices_.size()); }
  std::uint32_t MaxTransfer() const override { return 64u << 10; }
  bool HasDevice(std::uint8_t target, std::uint8_t lun) override {
    return lun == 0 && target < devices_.size();
  }
  std::optional<std::string> SymbolicName(std::uint8_t target, std::uint8_t lun) override {
    if (!HasDevice(target, lun)) return std::nullopt;
    return devices_[target]->node.path;
  }

  ScsiResult Execute(std::uint8_t target, std::uint8_t lun, const ScsiCommand& command) override {
    ScsiResult r;
    if (!HasDevice(target, lun)) {
      r.hostStatus = HASTAT_SEL_TIMEOUT;
      return r;
    }
    Device& d = *devices_[target];
    std::lock_guard lock(d.mutex);
    if (d.fd < 0) d.fd = system_->Open(d.node.path);
    if (d.fd < 0) {
      r.hostStatus = HASTAT_SEL_TIMEOUT;
      return r;
    }
    std::uint8_t cdb[kMaxCdbLength] = {};
    std::copy(command.cdb.begin(), command.cdb.end(), cdb);
    std::uint8_t sense[32] = {};
    sg_io_hdr_t h{};
    h.interface_id = 'S';
    h.cmdp = cdb;
    h.cmd_len = static_cast<unsigned char>(command.cdb.size());
    h.dxfer_direction = command.direction == DataDirection::In    ? SG_DXFER_FROM_DEV
                        : command.direction == DataDirection::Out ? SG_DXFER_TO_DEV
                                                                  : SG_DXFER_NONE;
    if (h.dxfer_direction != SG_DXFER_NONE) {
      h.dxferp = command.data.data();
      h.dxfer_len = static_cast<unsigned>(command.data.size());
    }
    h.sbp = sense;
    h.mx_sb_len = sizeof sense;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(command.deadline -
                                                                            CurrentClock()->Now());
    h.timeout = static_cast<unsigned>(std::clamp<std::int64_t>(left.count(), 1, 0x7FFFFFFF));
    if (system_->SgIo(d.fd, &h) != 0) {
      const int err = errno;
      if (err == ENODEV || err == ENXIO) {
        system_->Close(d.fd);  // the device went away; a later command opens it again
        d.fd = -1;
        r.hostStatus = HASTAT_SEL_TIMEOUT;
      } else {
        r.hostStatus = HASTAT_ADAPTER_ERROR;
      }
      return r;
    }
    switch (h.host_status) {
      case 0:
        break;
      case kDidNoConnect:
      case kDidBadTarget:
        r.hostStatus = HASTAT_SEL_TIMEOUT;
        return r;
      case kDidTimeOut:
        r.hostStatus = HASTAT_TIMEOUT;
        return r;
      case kDidBusBusy:
      default:
        r.hostStatus = HASTAT_ADAPTER_ERROR;
        return r;
    }
    if ((h.driver_status & 0x0F) == kDriverTimeout) {
      r.hostStatus = HASTAT_TIMEOUT;
      return r;
    }
    r.targetStatus = h.status;
    if (h.status == TARGET_CHECK_CONDITION) CopySense(sense, h.sb_len_wr, r);
    if (h.dxfer_direction != SG_DXFER_NONE)
      r.transferred = h.dxfer_len - static_cast<unsigned>(std::max(h.resid, 0));
    return r;
  }

 private:
  std::shared_ptr<SgIoSystem> system_;
  std::vector<std::unique_ptr<Device>> devices_;
};

}  // namespace

std::vector<std::unique_ptr<HostAdapter>> MakeSgAdapters(std::shared_ptr<SgIoSystem> system) {
  std::vector<std::unique_ptr<HostAdapter>> out;
  if (!system) return out;
  // One node per device: /dev/sr* before /dev/sg*, which the kernel offers for the same unit.
  std::map<std::tuple<int, int, int, int>, SgDeviceNode> unique;
  for (auto& n : system->ListDevices()) {
    if ((n.type & 0x1F) != 5) continue;
    const auto key = std::make_tuple(n.host, n.channel, n.id, n.lun);
    auto it = unique.find(key);
    if (it == unique.end() ||
        (n.path.rfind("/dev/sr", 0) == 0 && it->second.path.rfind("/dev/sr", 0) != 0))
      unique[key] = n;
  }
  std::map<int, std::vector<SgDeviceNode>> hosts;  // ordered by host, then channel, id, LUN
  for (auto& [key, node] : unique) hosts[node.host].push_back(node);
  for (auto& [host, nodes] : hosts)
    out.push_back(std::make_unique<SgAdapter>(system, std::move(nodes)));
  return out;
}

}  // namespace platform::aspi
