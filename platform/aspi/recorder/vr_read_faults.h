// Faults of single sectors that a test asks a virtual recorder for: a sense answered to the
// reads of an LBA (for a number of reads, or for good), and bytes of a sector damaged on the
// medium, correctable or not.
#pragma once

#include <cstdint>
#include <map>
#include <optional>

#include "platform/aspi/recorder/vr_sense.h"

namespace platform::aspi::vr {

struct ReadFault {
  Sense sense{3, 0x11, 0x05};          // unrecovered read error
  int reads = 0;                       // reads it answers before it clears; 0: it stays
  std::optional<std::uint8_t> opcode;  // READ(10) 28h or READ CD BEh; none: both
};

// Damaged bytes of a raw sector, from byte 16 on. Correctable damage is at most 11 bytes, one
// in each of as many P columns, which the drive repairs in what it returns as user data; an
// uncorrectable one is a run of at least 600 bytes. A read that returns the EDC/ECC field gets
// the sector as the medium holds it, for the host to check.
struct SectorDamage {
  int bytes = 0;
  bool correctable = true;
};
inline constexpr int kMaxCorrectableDamage = 11;
inline constexpr int kMinUncorrectableDamage = 600;

struct ReadFaults {
  std::map<std::int64_t, ReadFault> senses;
  std::map<std::int64_t, SectorDamage> damage;

  // The sense of the first LBA of [lba, lba + count) that answers this opcode, counting the
  // read against it; none when the range reads.
  std::optional<Sense> Take(std::uint8_t opcode, std::int64_t lba, std::int64_t count);
  // The first damaged LBA of the range that the drive cannot repair.
  std::optional<std::int64_t> FirstUncorrectable(std::int64_t lba, std::int64_t count) const;
  bool AnyDamage(std::int64_t lba, std::int64_t count) const;
  // The damage of the LBA, when it has any, laid on its raw 2352-byte sector.
  void Damage(std::int64_t lba, std::uint8_t* raw) const;
};

// The byte offsets of a sector's damage within its raw sector, in order.
template <class Visit>
void ForEachDamagedByte(const SectorDamage& p, Visit&& visit) {
  for (int i = 0; i < p.bytes; ++i)
    visit(p.correctable ? 16 + static_cast<std::size_t>(i) * 175
                        : 16 + static_cast<std::size_t>(i));
}

}  // namespace platform::aspi::vr
