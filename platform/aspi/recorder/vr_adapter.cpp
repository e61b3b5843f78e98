#include "platform/aspi/recorder/vr_adapter.h"

#include "platform/aspi/adapter_registry.h"
#include "platform/fs/fs.h"

namespace platform::aspi::vr {

VirtualAdapter::VirtualAdapter(const std::vector<RecorderConfig>& configs) {
  for (const auto& c : configs) {
    try {
      recorders_.push_back(std::make_unique<Recorder>(c));
    } catch (const platform::fs::FsError&) {
      // A recorder whose folder cannot be made is left out; the others stay usable.
    }
  }
}

ScsiResult VirtualAdapter::Execute(std::uint8_t target, std::uint8_t lun,
                                   const ScsiCommand& command) {
  if (!HasDevice(target, lun)) {
    ScsiResult r;
    r.hostStatus = HASTAT_SEL_TIMEOUT;
    return r;
  }
  return recorders_[target]->Execute(command);
}

std::optional<std::string> VirtualAdapter::SymbolicName(std::uint8_t target, std::uint8_t lun) {
  if (!HasDevice(target, lun)) return std::nullopt;
  return recorders_[target]->Config().name;
}

}  // namespace platform::aspi::vr

namespace platform::aspi {
std::unique_ptr<HostAdapter> MakeVirtualAdapter() {
  return std::make_unique<vr::VirtualAdapter>(vr::LoadRecorderConfigs());
}
}  // namespace platform::aspi
