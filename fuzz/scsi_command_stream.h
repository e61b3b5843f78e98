// Commands for the virtual recorder in a byte stream, shared by its fuzz target and the seed
// generator: per command a CDB length code (0: 6, 1: 10, else 12 bytes), the CDB, a direction
// (0 none, 1 in, 2 out), a little-endian 16-bit transfer length and, for out, that many bytes
// (zeros where the stream ends early).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fuzzing {

struct ScsiCommand {
  std::vector<std::uint8_t> cdb;
  std::uint8_t direction = 0;  // 0 none, 1 in, 2 out
  std::uint16_t length = 0;
  std::vector<std::uint8_t> out;  // the bytes sent, `length` of them
};

inline std::vector<ScsiCommand> DecodeCommands(const std::uint8_t* p, std::size_t n,
                                               std::size_t most) {
  std::vector<ScsiCommand> commands;
  std::size_t at = 0;
  while (at < n && commands.size() < most) {
    ScsiCommand c;
    const std::uint8_t code = p[at++] % 3;
    const std::size_t cdbLength = code == 0 ? 6 : code == 1 ? 10 : 12;
    for (std::size_t i = 0; i < cdbLength; ++i) c.cdb.push_back(at < n ? p[at++] : 0);
    c.direction = at < n ? p[at++] % 3 : 0;
    const std::uint8_t lo = at < n ? p[at++] : 0;
    const std::uint8_t hi = at < n ? p[at++] : 0;
    c.length = static_cast<std::uint16_t>(lo | hi << 8);
    if (c.direction == 0) c.length = 0;
    if (c.direction == 2) {
      for (std::size_t i = 0; i < c.length; ++i) c.out.push_back(at < n ? p[at++] : 0);
    }
    commands.push_back(std::move(c));
  }
  return commands;
}

inline void EncodeCommand(const ScsiCommand& c, std::vector<std::uint8_t>& to) {
  to.push_back(c.cdb.size() == 6 ? 0 : c.cdb.size() == 10 ? 1 : 2);
  to.insert(to.end(), c.cdb.begin(), c.cdb.end());
  to.push_back(c.direction);
  to.push_back(static_cast<std::uint8_t>(c.length));
  to.push_back(static_cast<std::uint8_t>(c.length >> 8));
  if (c.direction == 2) to.insert(to.end(), c.out.begin(), c.out.end());
}

}  // namespace fuzzing
