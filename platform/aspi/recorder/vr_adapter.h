// Host adapter 0: the configured virtual recorders, target = recorder index, LUN 0.
#pragma once

#include <memory>
#include <vector>

#include "platform/aspi/host_adapter.h"
#include "platform/aspi/recorder/vr_recorder.h"

namespace platform::aspi::vr {

class VirtualAdapter : public HostAdapter {
 public:
  explicit VirtualAdapter(const std::vector<RecorderConfig>& configs);

  const char* Kind() const override { return "VIRTUAL"; }
  std::uint16_t TargetCount() const override {
    return static_cast<std::uint16_t>(recorders_.size());
  }
  std::uint32_t MaxTransfer() const override { return 1u << 20; }
  bool HasDevice(std::uint8_t target, std::uint8_t lun) override {
    return lun == 0 && target < recorders_.size();
  }
  ScsiResult Execute(std::uint8_t target, std::uint8_t lun, const ScsiCommand& command) override;
  bool AnswersAtOnce(std::uint8_t target, std::uint8_t lun, std::uint8_t opcode) override {
    return HasDevice(target, lun) && recorders_[target]->AnswersAtOnce(opcode);
  }
  std::optional<std::string> SymbolicName(std::uint8_t target, std::uint8_t lun) override;

  Recorder* At(std::size_t index) {
    return index < recorders_.size() ? recorders_[index].get() : nullptr;
  }

 private:
  std::vector<std::unique_ptr<Recorder>> recorders_;
};

}  // namespace platform::aspi::vr
