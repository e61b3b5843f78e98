#include "lib/core/sector/sector_helpers.h"

#include <array>
#include <cstring>

namespace {

constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
  std::array<std::uint16_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t crc = i << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
    table[i] = static_cast<std::uint16_t>(crc);
  }
  return table;
}

constexpr std::array<std::uint16_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

void SwapWordBytes(std::uint16_t* p__PUSHORT__Words, std::size_t p__SIZE_T__Count) {
  for (std::size_t i = 0; i < p__SIZE_T__Count; ++i)
    p__PUSHORT__Words[i] =
        static_cast<std::uint16_t>((p__PUSHORT__Words[i] << 8) | (p__PUSHORT__Words[i] >> 8));
}

void SetSectorSync(std::uint8_t* p__PUCHAR__Sector) {
  p__PUCHAR__Sector[0] = 0x00;
  std::memset(p__PUCHAR__Sector + 1, 0xFF, 10);
  p__PUCHAR__Sector[11] = 0x00;
}

void CalculateSubQCRC(std::uint8_t* p__PUCHAR__QFrame) {
  std::uint16_t crc = 0;
  for (int i = 0; i < 10; ++i)
    crc = static_cast<std::uint16_t>((crc << 8) ^
                                     kCrcTable[((crc >> 8) ^ p__PUCHAR__QFrame[i]) & 0xFF]);
  crc = static_cast<std::uint16_t>(~crc);
  p__PUCHAR__QFrame[10] = static_cast<std::uint8_t>(crc >> 8);
  p__PUCHAR__QFrame[11] = static_cast<std::uint8_t>(crc);
}

std::uint16_t HalvorinI_Crc16(const std::uint8_t* p__PUCHAR__Bytes, std::size_t p__SIZE_T__Count) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < p__SIZE_T__Count; ++i)
    crc = static_cast<std::uint16_t>((crc << 8) ^
                                     kCrcTable[((crc >> 8) ^ p__PUCHAR__Bytes[i]) & 0xFF]);
  return crc;
}
