#include "lib/core/sector/sector_parity.h"

#include <array>
#include <cstring>

#include "lib/core/sector/sector_coding_tables.h"

namespace {

// 16 bytes in one vector register; loads and stores go through memcpy (any alignment).
using Vec = std::uint8_t __attribute__((vector_size(16)));
using SignedVec = std::int8_t __attribute__((vector_size(16)));

inline Vec Load(const std::uint8_t* p) {
  Vec v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void Store(std::uint8_t* p, Vec v) {
  std::memcpy(p, &v, sizeof v);
}

inline Vec TimesAlpha(Vec x) {
  const Vec carry = reinterpret_cast<Vec>(reinterpret_cast<SignedVec>(x) < SignedVec{});
  return (x + x) ^ (carry & 0x1D);
}

constexpr std::uint8_t GfMultiplyConstant(std::uint8_t a, std::uint8_t b) {
  std::uint8_t r = 0;
  for (int bit = 7; bit >= 0; --bit) {
    r = static_cast<std::uint8_t>((r << 1) ^ ((r & 0x80) ? 0x1D : 0));
    if ((b >> bit) & 1) r ^= a;
  }
  return r;
}

constexpr std::uint8_t InverseOf(std::uint8_t a) {
  for (std::uint32_t y = 1; y < 256; ++y)
    if (GfMultiplyConstant(a, static_cast<std::uint8_t>(y)) == 1)
      return static_cast<std::uint8_t>(y);
  return 0;
}

// 1 / (1 + α).
constexpr std::uint8_t kInverseOf3 = InverseOf(3);
static_assert(GfMultiplyConstant(3, kInverseOf3) == 1, "1 + α has an inverse");

// x times the constant, bit by bit from the top (the loop unrolls on the constant).
inline Vec TimesInverseOf3(Vec x) {
  Vec r{};
  for (int bit = 7; bit >= 0; --bit) {
    r = TimesAlpha(r);
    if ((kInverseOf3 >> bit) & 1) r ^= x;
  }
  return r;
}

// From the running sums of 16 codewords a vector (A = XOR of the data, H = Horner's sum, two
// powers of α short of the parity positions) to the two parity bytes of each.
inline void FinishParity(const Vec* sum, const Vec* horner, std::size_t vectors,
                         std::uint8_t* first, std::uint8_t* second) {
  for (std::size_t v = 0; v < vectors; ++v) {
    const Vec b = TimesAlpha(TimesAlpha(horner[v]));
    const Vec p0 = TimesInverseOf3(sum[v] ^ b);
    Store(first + 16 * v, p0);
    Store(second + 16 * v, sum[v] ^ p0);
  }
}

// Byte lanes of the word lanes j >= k (start) and j <= 7 - k (end), for k = 0..7.
using Mask = std::array<std::uint8_t, 16>;
constexpr std::array<Mask, 8> MakeMasks(bool start) {
  std::array<Mask, 8> masks{};
  for (int k = 0; k < 8; ++k)
    for (int i = 0; i < 16; ++i) masks[k][i] = (start ? i >= 2 * k : i < 16 - 2 * k) ? 0xFF : 0;
  return masks;
}
constexpr std::array<Mask, 8> kStartMasks = MakeMasks(true);
constexpr std::array<Mask, 8> kEndMasks = MakeMasks(false);

constexpr std::size_t kPColumns = 2 * kHalvorinPWords;      // 86
constexpr std::size_t kPVectors = (kPColumns + 15) / 16;    // 6
constexpr std::size_t kQColumns = 2 * kHalvorinQCodewords;  // 52

}  // namespace

void HalvorinI_ComputeParityP(const std::uint8_t* p__PUCHAR__Body,
                              std::uint8_t* p__PUCHAR__Parity) {
  // The last vector of a row reads 10 bytes of the next row; they never reach the output.
  Vec sum[kPVectors] = {}, horner[kPVectors] = {};
  for (std::size_t row = 0; row < kHalvorinPRows; ++row) {
    const std::uint8_t* at = p__PUCHAR__Body + row * kPColumns;
    for (std::size_t v = 0; v < kPVectors; ++v) {
      const Vec d = Load(at + 16 * v);
      sum[v] ^= d;
      horner[v] = TimesAlpha(horner[v]) ^ d;
    }
  }
  std::uint8_t first[16 * kPVectors], second[16 * kPVectors];
  FinishParity(sum, horner, kPVectors, first, second);
  std::memcpy(p__PUCHAR__Parity, first, kPColumns);
  std::memcpy(p__PUCHAR__Parity + kPColumns, second, kPColumns);
}

void HalvorinI_ComputeParityQ(const std::uint8_t* p__PUCHAR__Body,
                              std::uint8_t* p__PUCHAR__Parity) {
  // Word w + j of the area is position n + j of diagonal m - j when word w is position n of
  // diagonal m, so 8 consecutive words feed 8 diagonals, each one position further on. Lane j
  // of group g follows diagonal m0 - j (m0 = kGroupFirst[g]) and starts j steps early; lanes
  // outside their 43 positions are masked. The area is followed by its first 8 words, so no
  // load wraps. The four groups cover the 26 diagonals (18-23 twice).
  constexpr int kLanes = 8, kGroups = 4;
  constexpr int kGroupFirst[kGroups] = {7, 15, 23, 25};
  constexpr int kWords = static_cast<int>(kHalvorinQAreaWords);
  constexpr int kLast = static_cast<int>(kHalvorinQPositions) - 1;  // 42
  std::uint8_t area[2 * kHalvorinQAreaWords + 16];
  std::memcpy(area, p__PUCHAR__Body, 2 * kHalvorinQAreaWords);
  std::memcpy(area + 2 * kHalvorinQAreaWords, p__PUCHAR__Body, 16);
  Vec sum[kGroups] = {}, horner[kGroups] = {};
  int base[kGroups];
  for (int g = 0; g < kGroups; ++g)
    base[g] = (43 * kGroupFirst[g] - 44 * (kLanes - 1) + kWords) % kWords;
  const auto step = [&](int g, Vec mask) {
    const Vec d = Load(area + 2 * base[g]) & mask;
    sum[g] ^= d;
    horner[g] = TimesAlpha(horner[g]) ^ d;
    base[g] += 44;
    if (base[g] >= kWords) base[g] -= kWords;
  };
  int t = 1 - kLanes;
  for (; t < 0; ++t) {  // lanes j < -t have not started
    const Vec mask = Load(kStartMasks[-t].data());
    for (int g = 0; g < kGroups; ++g) step(g, mask);
  }
  const Vec all = Load(kStartMasks[0].data());
  for (; t <= kLast - (kLanes - 1); ++t)
    for (int g = 0; g < kGroups; ++g) step(g, all);
  for (; t <= kLast; ++t) {  // lanes j > 42 - t have ended: they keep their sums
    const Vec active = Load(kEndMasks[t - (kLast - (kLanes - 1))].data());
    for (int g = 0; g < kGroups; ++g) {
      const Vec kept = horner[g] & ~active;
      step(g, active);
      horner[g] = (horner[g] & active) | kept;
    }
  }
  std::uint8_t first[kQColumns], second[kQColumns];
  for (int g = 0; g < kGroups; ++g) {
    std::uint8_t p0[16], p1[16];
    FinishParity(&sum[g], &horner[g], 1, p0, p1);
    for (int j = 0; j < kLanes; ++j) {
      const int m = kGroupFirst[g] - j;
      std::memcpy(first + 2 * m, p0 + 2 * j, 2);
      std::memcpy(second + 2 * m, p1 + 2 * j, 2);
    }
  }
  std::memcpy(p__PUCHAR__Parity, first, kQColumns);
  std::memcpy(p__PUCHAR__Parity + kQColumns, second, kQColumns);
}

void HalvorinI_ScrambleBody(std::uint8_t* p__PUCHAR__Body) {
  const std::uint8_t* s = kHalvorinScramblerTable.data();
  std::size_t i = 0;
  for (; i + 16 <= kHalvorinSectorBodySize; i += 16)
    Store(p__PUCHAR__Body + i, Load(p__PUCHAR__Body + i) ^ Load(s + i));
  for (; i < kHalvorinSectorBodySize; ++i) p__PUCHAR__Body[i] ^= s[i];
}
