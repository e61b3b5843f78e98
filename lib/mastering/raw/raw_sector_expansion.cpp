#include "lib/mastering/raw/raw_sector_expansion.h"

#include <cstring>

namespace {

constexpr std::uint8_t kZeroSubHeader[4] = {};

}  // namespace

void CookedToMode2Form1(const std::uint8_t* p__PUCHAR__Source, std::uint8_t* p__PUCHAR__Target,
                        std::uint32_t p__ULONG__Units) {
  CookedToMode2Form1(p__PUCHAR__Source, p__PUCHAR__Target, p__ULONG__Units, kZeroSubHeader);
}

void CookedToMode2Form1(const std::uint8_t* p__PUCHAR__Source, std::uint8_t* p__PUCHAR__Target,
                        std::uint32_t p__ULONG__Units, const std::uint8_t* p__PUCHAR__SubHeader) {
  for (std::uint32_t i = 0; i < p__ULONG__Units; ++i) {
    std::uint8_t* unit = p__PUCHAR__Target + std::uint64_t{i} * kHalvorinMode2UnitSize;
    std::memcpy(unit, p__PUCHAR__SubHeader, 4);
    std::memcpy(unit + 4, p__PUCHAR__SubHeader, 4);
    std::memcpy(unit + 8, p__PUCHAR__Source + std::uint64_t{i} * 2048, 2048);
    std::memset(unit + 8 + 2048, 0, kHalvorinMode2UnitSize - 8 - 2048);
  }
}

void Mode2Form2UnitsTo2336(const std::uint8_t* p__PUCHAR__Source, std::uint8_t* p__PUCHAR__Target,
                           std::uint32_t p__ULONG__Units) {
  for (std::uint32_t i = 0; i < p__ULONG__Units; ++i) {
    const std::uint8_t* in = p__PUCHAR__Source + std::uint64_t{i} * kHalvorinForm2UnitSize;
    std::uint8_t* unit = p__PUCHAR__Target + std::uint64_t{i} * kHalvorinMode2UnitSize;
    std::memcpy(unit, in, 4);
    std::memcpy(unit + 4, in, 4);
    std::memcpy(unit + 8, in + 8, kHalvorinForm2UnitSize - 8);
    std::memset(unit + kHalvorinForm2UnitSize, 0, kHalvorinMode2UnitSize - kHalvorinForm2UnitSize);
  }
}
