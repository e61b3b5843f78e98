// The process-wide list of host adapters: adapter 0 the virtual recorders, then one adapter per
// iSCSI address of the configuration, then one per kernel SCSI host with a CD/DVD device.
// Built at first use; Reload rebuilds it from the configuration.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/aspi/adapters/sg_io_system.h"
#include "platform/aspi/async_worker.h"
#include "platform/aspi/clock.h"
#include "platform/aspi/host_adapter.h"

namespace platform::aspi {

struct AdapterSlot {
  std::unique_ptr<HostAdapter> adapter;
  AsyncWorker worker;  // runs the requests that complete with an event
};

class AdapterRegistry {
 public:
  static AdapterRegistry& Instance();

  std::shared_ptr<AdapterSlot> Get(std::uint8_t hostAdapter);
  std::size_t Count();
  void Reload();

  void SetSgIoSystem(std::shared_ptr<SgIoSystem> system);
  void SetCommandTimeout(Clock::Duration timeout);
  Clock::Duration CommandTimeout();

 private:
  void BuildLocked();

  std::mutex mutex_;
  bool built_ = false;
  std::vector<std::shared_ptr<AdapterSlot>> slots_;
  std::shared_ptr<SgIoSystem> sg_;
  Clock::Duration timeout_ = std::chrono::seconds(120);
};

// Factories of the backends.
std::unique_ptr<HostAdapter> MakeVirtualAdapter();
std::unique_ptr<HostAdapter> MakeIscsiAdapter(const std::string& url);
std::vector<std::unique_ptr<HostAdapter>> MakeSgAdapters(std::shared_ptr<SgIoSystem> system);
// "iscsi://" addresses of the configuration, in their order.
std::vector<std::string> ConfiguredIscsiUrls();

}  // namespace platform::aspi
