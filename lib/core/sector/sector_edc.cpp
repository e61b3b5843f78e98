#include "lib/core/sector/sector_edc.h"

#include <bit>
#include <cstring>

#include "lib/core/sector/sector_coding_tables.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

inline std::uint32_t LoadLittle32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

// Sixteen bytes a step through the slicing tables.
std::uint32_t EdcByTables(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
  const auto& t = kHalvorinEdcTable;
  for (; n >= 16; n -= 16, p += 16) {
    const std::uint32_t a = LoadLittle32(p) ^ crc, b = LoadLittle32(p + 4), c = LoadLittle32(p + 8),
                        d = LoadLittle32(p + 12);
    crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
          t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
          t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
          t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
  }
  for (; n > 0; --n, ++p) crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFF];
  return crc;
}

#if defined(__x86_64__)

// Folding with carry-less multiplication. A 16-byte block loaded little-endian holds the
// message bits with the first (highest power) at register bit 0: bit i is x^(127-i) of its
// block. Moving a block D bits on multiplies it by x^D; with A = Ahi x^64 + Alo (Ahi the low
// quadword) that is Ahi x^(D+64) + Alo x^D, and each power is replaced by a congruent
// polynomial of degree 1..32 taken modulo the EDC polynomial, so the product stays within one
// block. The EDC of the folded block then equals the EDC of everything folded into it.

constexpr std::uint64_t kPolynomial = 0x18001801BULL;

constexpr std::uint64_t XPowerModulo(unsigned e) {
  std::uint64_t r = 1;
  for (unsigned i = 0; i < e; ++i) {
    r <<= 1;
    if (r & (1ULL << 32)) r ^= kPolynomial;
  }
  return r;
}

// x (x^(e-1) mod P), congruent to x^e, with its x^k at bit 64 - k: the product with a
// quadword (bit i is x^(63-i)) then has x^(127-i) at bit i, the frame of a block.
constexpr std::uint64_t FoldConstant(unsigned e) {
  const std::uint64_t c = XPowerModulo(e - 1) << 1;
  std::uint64_t r = 0;
  for (int k = 1; k <= 32; ++k)
    if ((c >> k) & 1) r |= 1ULL << (64 - k);
  return r;
}

__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i block, __m128i constants) {
  return _mm_xor_si128(_mm_clmulepi64_si128(block, constants, 0x00),
                       _mm_clmulepi64_si128(block, constants, 0x11));
}

// The pair for moving a block D bits on: x^(D+64) for the low quadword, x^D for the high.
struct FoldPair {
  std::uint64_t low, high;
};
constexpr FoldPair MakeFoldPair(unsigned bits) {
  return {FoldConstant(bits + 64), FoldConstant(bits)};
}
constexpr FoldPair k128 = MakeFoldPair(128), k256 = MakeFoldPair(256), k384 = MakeFoldPair(384),
                   k512 = MakeFoldPair(512);

__attribute__((target("pclmul,sse2"))) inline __m128i Constants(FoldPair pair) {
  return _mm_set_epi64x(static_cast<long long>(pair.high), static_cast<long long>(pair.low));
}

__attribute__((target("pclmul,sse2"))) inline __m128i LoadBlock(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// At least 64 bytes. Four blocks are folded side by side, 512 bits on at each step.
__attribute__((target("pclmul,sse2"))) std::uint32_t EdcByFolding(std::uint32_t crc,
                                                                  const std::uint8_t* p,
                                                                  std::size_t n) {
  __m128i s0 = _mm_xor_si128(LoadBlock(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i s1 = LoadBlock(p + 16), s2 = LoadBlock(p + 32), s3 = LoadBlock(p + 48);
  p += 64;
  n -= 64;
  const __m128i by512 = Constants(k512);
  for (; n >= 64; n -= 64, p += 64) {
    s0 = _mm_xor_si128(Fold(s0, by512), LoadBlock(p));
    s1 = _mm_xor_si128(Fold(s1, by512), LoadBlock(p + 16));
    s2 = _mm_xor_si128(Fold(s2, by512), LoadBlock(p + 32));
    s3 = _mm_xor_si128(Fold(s3, by512), LoadBlock(p + 48));
  }
  const __m128i by128 = Constants(k128);
  __m128i s = _mm_xor_si128(_mm_xor_si128(Fold(s0, Constants(k384)), Fold(s1, Constants(k256))),
                            _mm_xor_si128(Fold(s2, by128), s3));
  for (; n >= 16; n -= 16, p += 16) s = _mm_xor_si128(Fold(s, by128), LoadBlock(p));
  std::uint8_t block[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(block), s);
  return EdcByTables(EdcByTables(0, block, sizeof block), p, n);
}

bool HasCarryLessMultiply() {
  static const bool has = __builtin_cpu_supports("pclmul");
  return has;
}

#endif

}  // namespace

std::uint32_t HalvorinI_Edc(std::uint32_t p__ULONG__Edc, const std::uint8_t* p__PUCHAR__Bytes,
                            std::size_t p__SIZE_T__Count) {
#if defined(__x86_64__)
  if (p__SIZE_T__Count >= 64 && HasCarryLessMultiply())
    return EdcByFolding(p__ULONG__Edc, p__PUCHAR__Bytes, p__SIZE_T__Count);
#endif
  return EdcByTables(p__ULONG__Edc, p__PUCHAR__Bytes, p__SIZE_T__Count);
}
