// One command as a virtual recorder's handler sees it: the CDB, the data buffer and the
// answer it builds.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "platform/aspi/host_adapter.h"
#include "platform/aspi/recorder/vr_sense.h"

namespace platform::aspi::vr {

struct Exchange {
  std::span<const std::uint8_t> cdb;
  std::span<std::uint8_t> data;
  DataDirection direction = DataDirection::None;
  std::size_t transferred = 0;
  bool overrun = false;  // the device had more to send than the buffer holds

  std::uint8_t B(size_t i) const { return i < cdb.size() ? cdb[i] : 0; }
  std::uint16_t U16(size_t i) const { return static_cast<std::uint16_t>(B(i) << 8 | B(i + 1)); }
  std::uint32_t U24(size_t i) const { return std::uint32_t{B(i)} << 16 | U16(i + 1); }
  std::uint32_t U32(size_t i) const { return std::uint32_t{B(i)} << 24 | U24(i + 1); }
  std::uint8_t Opcode() const { return B(0); }

  // Data-in answer: at most the allocation length and the buffer.
  void Reply(const std::vector<std::uint8_t>& bytes, size_t allocation) {
    RequireDirection(DataDirection::In, allocation > 0 && !bytes.empty());
    const size_t n = std::min(bytes.size(), allocation);
    if (n > data.size()) overrun = true;
    transferred = std::min(n, data.size());
    if (transferred) std::memcpy(data.data(), bytes.data(), transferred);
  }
  // Data-out parameter list of the given length: the buffer must hold it.
  std::span<const std::uint8_t> Parameters(size_t length) {
    RequireDirection(DataDirection::Out, length > 0);
    if (length > data.size()) ParameterListLengthError();
    transferred = length;
    return data.first(length);
  }
  // A command that moves data must say so in the request, and one that does not must not.
  void RequireDirection(DataDirection dir, bool moves) const {
    if (moves && direction != dir && !data.empty()) InvalidFieldInCdb();
  }
};

}  // namespace platform::aspi::vr
