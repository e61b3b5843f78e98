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

bool HalvorinI_HasSectorSync(const std::uint8_t* p__PUCHAR__Sector) {
  static constexpr std::uint8_t kSync[12] = {0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                             0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
  return std::memcmp(p__PUCHAR__Sector, kSync, sizeof kSync) == 0;
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

bool HalvorinI_IsSubQCrcRight(const std::uint8_t* p__PUCHAR__QFrame) {
  std::uint8_t check[12];
  std::memcpy(check, p__PUCHAR__QFrame, sizeof check);
  CalculateSubQCRC(check);
  return check[10] == p__PUCHAR__QFrame[10] && check[11] == p__PUCHAR__QFrame[11];
}

std::uint16_t HalvorinI_Crc16(const std::uint8_t* p__PUCHAR__Bytes, std::size_t p__SIZE_T__Count) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < p__SIZE_T__Count; ++i)
    crc = static_cast<std::uint16_t>((crc << 8) ^
                                     kCrcTable[((crc >> 8) ^ p__PUCHAR__Bytes[i]) & 0xFF]);
  return crc;
}

void HalvorinI_UnpackSubQ(const std::uint8_t* p__PUCHAR__RawPW, std::uint8_t* p__PUCHAR__Q) {
  std::memset(p__PUCHAR__Q, 0, 12);
  for (int i = 0; i < 96; ++i)
    if (p__PUCHAR__RawPW[i] & 0x40)
      p__PUCHAR__Q[i / 8] = static_cast<std::uint8_t>(p__PUCHAR__Q[i / 8] | 0x80 >> i % 8);
}

namespace {

int FromBcd(std::uint8_t p__UCHAR__Value) {
  if ((p__UCHAR__Value >> 4) > 9 || (p__UCHAR__Value & 0x0F) > 9) return -1;
  return (p__UCHAR__Value >> 4) * 10 + (p__UCHAR__Value & 0x0F);
}

}  // namespace

bool HalvorinI_ReadSubQPosition(const std::uint8_t* p__PUCHAR__Q,
                                HalvorinI_SubQPosition* p__PPosition) {
  if (!HalvorinI_IsSubQCrcRight(p__PUCHAR__Q) || (p__PUCHAR__Q[0] & 0x0F) != 1) return false;
  int field[9];
  for (int i = 0; i < 9; ++i)
    if ((field[i] = FromBcd(p__PUCHAR__Q[i + 1])) < 0) return false;
  // TNO, INDEX, relative minute, second, frame, ZERO, absolute minute, second, frame.
  if (field[0] < 1 || field[3] > 59 || field[4] > 74 || field[7] > 59 || field[8] > 74)
    return false;
  *p__PPosition = {static_cast<std::uint8_t>(p__PUCHAR__Q[0] >> 4), field[0], field[1],
                   (field[2] * 60 + field[3]) * 75 + field[4],
                   (field[6] * 60 + field[7]) * 75 + field[8] - 150};
  return true;
}
