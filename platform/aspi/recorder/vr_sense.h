// A command that a virtual recorder refuses: thrown by the handlers, answered at the ASPI
// boundary as CHECK CONDITION with fixed-format sense data.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace platform::aspi::vr {

struct Sense {
  Sense() = default;
  Sense(std::uint8_t k, std::uint8_t a, std::uint8_t q,
        std::optional<std::uint32_t> info = std::nullopt)
      : key(k), asc(a), ascq(q), information(info) {}
  std::uint8_t key = 0, asc = 0, ascq = 0;
  std::optional<std::uint32_t> information;  // e.g. the failing LBA of a medium error
  bool operator==(const Sense& o) const { return key == o.key && asc == o.asc && ascq == o.ascq; }
};

struct SenseError {
  Sense sense;
};

[[noreturn]] inline void Fail(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  throw SenseError{Sense(key, asc, ascq)};
}

// The refusals the handlers share.
[[noreturn]] inline void InvalidOpcode() {
  Fail(5, 0x20, 0x00);
}
[[noreturn]] inline void InvalidFieldInCdb() {
  Fail(5, 0x24, 0x00);
}
[[noreturn]] inline void InvalidFieldInParameters() {
  Fail(5, 0x26, 0x00);
}
[[noreturn]] inline void ParameterListLengthError() {
  Fail(5, 0x1A, 0x00);
}
[[noreturn]] inline void LbaOutOfRange() {
  Fail(5, 0x21, 0x00);
}
[[noreturn]] inline void InvalidAddressForWrite() {
  Fail(5, 0x21, 0x02);
}
[[noreturn]] inline void CommandSequenceError() {
  Fail(5, 0x2C, 0x00);
}
[[noreturn]] inline void IncompatibleFormat() {
  Fail(5, 0x30, 0x05);
}  // cannot write medium
[[noreturn]] inline void CannotReadMedium() {
  Fail(5, 0x30, 0x02);
}
[[noreturn]] inline void IllegalModeForTrack() {
  Fail(5, 0x64, 0x00);
}
[[noreturn]] inline void MediumNotPresent() {
  Fail(2, 0x3A, 0x00);
}
[[noreturn]] inline void SavingNotSupported() {
  Fail(5, 0x39, 0x00);
}
[[noreturn]] inline void RemovalPrevented() {
  Fail(5, 0x53, 0x02);
}

// 18 bytes of fixed-format sense.
std::array<std::uint8_t, 18> FixedSense(const Sense& sense);

}  // namespace platform::aspi::vr
