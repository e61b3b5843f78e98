// The constant tables of CD-ROM sector coding, made once at compile time and shared by the
// encoder functions, CHalvorin_EDCECC and the corrector: GF(2^8) arithmetic over 0x11D, the
// EDC's slicing tables, the scrambler sequence and the order of the Q codewords' bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kHalvorinRawSectorSize = 2352;
// Bytes from the header on (sector byte 12): what the scrambler and the parity cover.
inline constexpr std::size_t kHalvorinSectorBodySize = 2340;
// Words of 2 bytes: P covers 26 rows of 43 (header, data and P parity); Q adds 2 × 26.
inline constexpr std::size_t kHalvorinPWords = 43;
inline constexpr std::size_t kHalvorinPRows = 24;  // data rows; 2 parity rows follow
inline constexpr std::size_t kHalvorinQCodewords = 26;
inline constexpr std::size_t kHalvorinQPositions = 43;  // data positions; 2 parity follow
inline constexpr std::size_t kHalvorinQAreaWords = 1118;

// exp[i] = α^i for i in 0..509 (twice round, so sums of two logarithms need no modulo);
// log[v] for v in 1..255 (log[0] is unused).
extern const std::array<std::uint8_t, 512> kHalvorinGfExp;
extern const std::array<std::uint8_t, 256> kHalvorinGfLog;

inline std::uint8_t HalvorinI_GfMultiply(std::uint8_t p__UCHAR__A, std::uint8_t p__UCHAR__B) {
  if (!p__UCHAR__A || !p__UCHAR__B) return 0;
  return kHalvorinGfExp[kHalvorinGfLog[p__UCHAR__A] + kHalvorinGfLog[p__UCHAR__B]];
}
// p__UCHAR__B must not be 0.
inline std::uint8_t HalvorinI_GfDivide(std::uint8_t p__UCHAR__A, std::uint8_t p__UCHAR__B) {
  if (!p__UCHAR__A) return 0;
  return kHalvorinGfExp[kHalvorinGfLog[p__UCHAR__A] + 255 - kHalvorinGfLog[p__UCHAR__B]];
}
// Multiplication by α.
inline std::uint8_t HalvorinI_GfTimesAlpha(std::uint8_t p__UCHAR__A) {
  return static_cast<std::uint8_t>((p__UCHAR__A << 1) ^ ((p__UCHAR__A & 0x80) ? 0x1D : 0));
}

// EDC (CRC-32, reflected polynomial 0xD8018001, initial 0, no final inversion): table k gives
// the CRC of a byte followed by k zero bytes, for slicing 16 bytes a step.
extern const std::array<std::array<std::uint32_t, 256>, 16> kHalvorinEdcTable;

// The scrambler sequence for sector bytes 12-2351.
extern const std::array<std::uint8_t, kHalvorinSectorBodySize> kHalvorinScramblerTable;

// Word index (from the header) of position n of Q codeword pair m: entry [n][m] =
// (43m + 44n) mod 1118.
extern const std::array<std::array<std::uint16_t, kHalvorinQCodewords>, kHalvorinQPositions>
    kHalvorinQWordIndex;
