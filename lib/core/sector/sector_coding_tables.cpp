#include "lib/core/sector/sector_coding_tables.h"

namespace {

struct GfTables {
  std::array<std::uint8_t, 512> exp{};
  std::array<std::uint8_t, 256> log{};
};

constexpr GfTables MakeGf() {
  GfTables t;
  std::uint32_t x = 1;
  for (std::uint32_t i = 0; i < 255; ++i) {
    t.exp[i] = static_cast<std::uint8_t>(x);
    t.exp[i + 255] = static_cast<std::uint8_t>(x);
    t.log[x] = static_cast<std::uint8_t>(i);
    x <<= 1;
    if (x & 0x100) x ^= 0x11D;
  }
  t.exp[510] = t.exp[0];
  t.exp[511] = t.exp[1];
  return t;
}

constexpr GfTables kGf = MakeGf();

constexpr std::array<std::array<std::uint32_t, 256>, 16> MakeEdc() {
  std::array<std::array<std::uint32_t, 256>, 16> t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1) ? 0xD8018001u : 0u);
    t[0][i] = crc;
  }
  for (std::size_t k = 1; k < 16; ++k)
    for (std::uint32_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  return t;
}

// The 15-bit register of x^15 + x + 1, preset to 1, its output taken least significant bit
// first.
constexpr std::array<std::uint8_t, kHalvorinSectorBodySize> MakeScrambler() {
  std::array<std::uint8_t, kHalvorinSectorBodySize> t{};
  std::uint32_t reg = 1;
  for (auto& byte : t) {
    std::uint32_t value = 0;
    for (int bit = 0; bit < 8; ++bit) {
      value |= (reg & 1) << bit;
      const std::uint32_t feedback = (reg ^ (reg >> 1)) & 1;
      reg = (reg >> 1) | (feedback << 14);
    }
    byte = static_cast<std::uint8_t>(value);
  }
  return t;
}

constexpr std::array<std::array<std::uint16_t, kHalvorinQCodewords>, kHalvorinQPositions>
MakeQWordIndex() {
  std::array<std::array<std::uint16_t, kHalvorinQCodewords>, kHalvorinQPositions> t{};
  for (std::size_t n = 0; n < kHalvorinQPositions; ++n)
    for (std::size_t m = 0; m < kHalvorinQCodewords; ++m)
      t[n][m] = static_cast<std::uint16_t>((43 * m + 44 * n) % kHalvorinQAreaWords);
  return t;
}

}  // namespace

constinit const std::array<std::uint8_t, 512> kHalvorinGfExp = kGf.exp;
constinit const std::array<std::uint8_t, 256> kHalvorinGfLog = kGf.log;
constinit const std::array<std::array<std::uint32_t, 256>, 16> kHalvorinEdcTable = MakeEdc();
constinit const std::array<std::uint8_t, kHalvorinSectorBodySize> kHalvorinScramblerTable =
    MakeScrambler();
constinit const std::array<std::array<std::uint16_t, kHalvorinQCodewords>, kHalvorinQPositions>
    kHalvorinQWordIndex = MakeQWordIndex();
