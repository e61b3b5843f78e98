#include "platform/aspi/adapter_registry.h"

#include <exception>

namespace platform::aspi {

AdapterRegistry& AdapterRegistry::Instance() {
  static AdapterRegistry registry;
  return registry;
}

void AdapterRegistry::BuildLocked() {
  if (built_) return;
  built_ = true;
  auto add = [&](std::unique_ptr<HostAdapter> adapter) {
    if (!adapter || slots_.size() >= 255) return;
    auto slot = std::make_shared<AdapterSlot>();
    slot->adapter = std::move(adapter);
    slots_.push_back(std::move(slot));
  };
  add(MakeVirtualAdapter());
  for (const auto& url : ConfiguredIscsiUrls()) add(MakeIscsiAdapter(url));
  if (!sg_) sg_ = KernelSgIoSystem();
  for (auto& adapter : MakeSgAdapters(sg_)) add(std::move(adapter));
}

std::shared_ptr<AdapterSlot> AdapterRegistry::Get(std::uint8_t hostAdapter) {
  std::lock_guard lock(mutex_);
  BuildLocked();
  if (hostAdapter >= slots_.size()) return nullptr;
  return slots_[hostAdapter];
}

std::size_t AdapterRegistry::Count() {
  std::lock_guard lock(mutex_);
  BuildLocked();
  return slots_.size();
}

void AdapterRegistry::Reload() {
  std::vector<std::shared_ptr<AdapterSlot>> old;
  {
    std::lock_guard lock(mutex_);
    old.swap(slots_);
    built_ = false;
  }
  old.clear();  // joins the workers outside the lock; requests in flight keep their slot
  std::lock_guard lock(mutex_);
  BuildLocked();
}

void AdapterRegistry::SetSgIoSystem(std::shared_ptr<SgIoSystem> system) {
  std::lock_guard lock(mutex_);
  sg_ = std::move(system);
}

void AdapterRegistry::SetCommandTimeout(Clock::Duration timeout) {
  std::lock_guard lock(mutex_);
  timeout_ = timeout;
}

Clock::Duration AdapterRegistry::CommandTimeout() {
  std::lock_guard lock(mutex_);
  return timeout_;
}

}  // namespace platform::aspi
