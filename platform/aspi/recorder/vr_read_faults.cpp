#include "platform/aspi/recorder/vr_read_faults.h"

namespace platform::aspi::vr {

std::optional<Sense> ReadFaults::Take(std::uint8_t opcode, std::int64_t lba, std::int64_t count) {
  for (auto it = senses.lower_bound(lba); it != senses.end() && it->first < lba + count; ++it) {
    ReadFault& f = it->second;
    if (f.opcode && *f.opcode != opcode) continue;
    Sense sense = f.sense;
    sense.information = static_cast<std::uint32_t>(it->first);
    if (f.reads > 0 && --f.reads == 0) senses.erase(it);
    return sense;
  }
  return std::nullopt;
}

std::optional<std::int64_t> ReadFaults::FirstUncorrectable(std::int64_t lba,
                                                           std::int64_t count) const {
  for (auto it = damage.lower_bound(lba); it != damage.end() && it->first < lba + count; ++it)
    if (!it->second.correctable) return it->first;
  return std::nullopt;
}

bool ReadFaults::AnyDamage(std::int64_t lba, std::int64_t count) const {
  auto it = damage.lower_bound(lba);
  return it != damage.end() && it->first < lba + count;
}

void ReadFaults::Damage(std::int64_t lba, std::uint8_t* raw) const {
  const auto it = damage.find(lba);
  if (it == damage.end()) return;
  ForEachDamagedByte(it->second, [&](std::size_t at) {
    if (at < 2352) raw[at] ^= 0xA5;
  });
}

}  // namespace platform::aspi::vr
