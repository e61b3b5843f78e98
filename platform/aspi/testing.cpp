#include "platform/aspi/testing.h"

#include <stdexcept>

#include "platform/aspi/adapter_registry.h"
#include "platform/aspi/recorder/vr_adapter.h"

namespace platform::aspi::testing {

void ConfigureRecorders(const std::vector<RecorderConfig>& recorders) {
  vr::SaveRecorderConfigs(recorders);
  Reload();
}

void ConfigureIscsi(const std::vector<std::string>& urls) {
  vr::SaveIscsiUrls(urls);
  Reload();
}

void Reload() {
  AdapterRegistry::Instance().Reload();
}

void UseSgIoSystem(std::shared_ptr<SgIoSystem> system) {
  AdapterRegistry::Instance().SetSgIoSystem(std::move(system));
}

void SetCommandTimeout(Clock::Duration timeout) {
  AdapterRegistry::Instance().SetCommandTimeout(timeout);
}

std::shared_ptr<FakeClock> UseFakeClock() {
  auto clock = std::make_shared<FakeClock>();
  SetClock(clock);
  return clock;
}

vr::Recorder& Recorder(std::uint8_t target) {
  auto slot = AdapterRegistry::Instance().Get(0);
  auto* adapter = slot ? dynamic_cast<vr::VirtualAdapter*>(slot->adapter.get()) : nullptr;
  vr::Recorder* r = adapter ? adapter->At(target) : nullptr;
  if (!r) throw std::out_of_range("no virtual recorder at target " + std::to_string(target));
  return *r;
}

void InjectBusy(std::uint8_t target, int times, std::optional<std::uint8_t> opcode) {
  Recorder(target).ChangeFaults([&](vr::Faults& f) { f.busy = {times, opcode}; });
}

void InjectNotReady(std::uint8_t target, std::uint8_t ascq, int times,
                    std::optional<std::uint8_t> opcode) {
  Recorder(target).ChangeFaults([&](vr::Faults& f) {
    f.notReady = {times, opcode};
    f.notReadyAscq = ascq;
  });
}

void InjectUnitAttention(std::uint8_t target, std::uint8_t asc) {
  Recorder(target).ChangeFaults([&](vr::Faults& f) { f.unitAttention = asc; });
}

void InjectMediumError(std::uint8_t target, std::int64_t lba) {
  Recorder(target).ChangeFaults([&](vr::Faults& f) { f.mediumErrors.insert(lba); });
}

void InjectReadFault(std::uint8_t target, std::int64_t lba, std::uint8_t key, std::uint8_t asc,
                     std::uint8_t ascq, int reads, std::optional<std::uint8_t> opcode) {
  Recorder(target).ChangeFaults([&](vr::Faults& f) {
    f.reads.senses[lba] = vr::ReadFault{vr::Sense(key, asc, ascq), reads, opcode};
  });
}

void InjectDamage(std::uint8_t target, std::int64_t lba, int bytes, bool correctable) {
  if (correctable ? bytes < 1 || bytes > vr::kMaxCorrectableDamage
                  : bytes < vr::kMinUncorrectableDamage || bytes > 2336)
    throw std::invalid_argument("damage out of range");
  Recorder(target).ChangeFaults([&](vr::Faults& f) {
    f.reads.damage[lba] = vr::SectorDamage{bytes, correctable};
  });
}

void InjectHang(std::uint8_t target, int times, std::optional<std::uint8_t> opcode) {
  Recorder(target).ChangeFaults([&](vr::Faults& f) { f.hang = {times, opcode}; });
}

void RejectImmed(std::uint8_t target, bool reject) {
  Recorder(target).ChangeFaults([&](vr::Faults& f) { f.rejectImmed = reject; });
}

void InjectLeadInStart(std::uint8_t target, std::optional<std::array<std::uint8_t, 3>> msf) {
  Recorder(target).ChangeFaults([&](vr::Faults& f) { f.leadInStart = msf; });
}

void SetDrainSpeed(std::uint8_t target, std::uint64_t bytesPerSecond) {
  Recorder(target).SetDrainSpeed(bytesPerSecond);
}

std::vector<CdbRecord> CdbLog(std::uint8_t target) {
  return Recorder(target).CdbLog();
}
void ClearCdbLog(std::uint8_t target) {
  Recorder(target).ClearCdbLog();
}

}  // namespace platform::aspi::testing
