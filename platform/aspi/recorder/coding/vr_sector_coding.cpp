#include "platform/aspi/recorder/coding/vr_sector_coding.h"

#include <array>
#include <cstring>

namespace platform::aspi::vr {

namespace {

struct Tables {
  std::array<std::uint32_t, 256> edc{};
  std::array<std::uint8_t, 256> mulAlpha{};         // x * alpha in GF(2^8), polynomial 11Dh
  std::array<std::uint8_t, 256> divAlphaPlusOne{};  // x / (alpha + 1)
  std::array<std::uint16_t, 256> crc{};
  std::array<std::uint8_t, kRawSectorSize - 12> scrambler{};

  Tables() {
    for (std::uint32_t i = 0; i < 256; ++i) {
      // EDC polynomial (x^16 + x^15 + x^2 + 1)(x^16 + x^2 + x + 1), taken least significant bit
      // first.
      std::uint32_t e = i;
      for (int b = 0; b < 8; ++b) e = (e >> 1) ^ ((e & 1) ? 0xD8018001u : 0);
      edc[i] = e;
      const std::uint8_t m = static_cast<std::uint8_t>((i << 1) ^ ((i & 0x80) ? 0x11D : 0));
      mulAlpha[i] = m;
      divAlphaPlusOne[i ^ m] = static_cast<std::uint8_t>(i);
      std::uint16_t c = static_cast<std::uint16_t>(i << 8);
      for (int b = 0; b < 8; ++b)
        c = static_cast<std::uint16_t>((c << 1) ^ ((c & 0x8000) ? 0x1021 : 0));
      crc[i] = c;
    }
    // Linear feedback register x^15 + x + 1 from 0001h, least significant bit first.
    std::uint16_t reg = 1;
    for (auto& byte : scrambler) {
      std::uint8_t v = 0;
      for (int b = 0; b < 8; ++b) {
        v = static_cast<std::uint8_t>(v | ((reg & 1) << b));
        const std::uint16_t feedback = (reg ^ (reg >> 1)) & 1;
        reg = static_cast<std::uint16_t>((reg >> 1) | (feedback << 14));
      }
      byte = v;
    }
  }
};

const Tables& T() {
  static const Tables tables;
  return tables;
}

// One family of RS(26,24) or RS(45,43) code words over bytes 12.. of the sector, as ECMA-130
// arranges the P columns and Q diagonals; the two parity bytes of each word go to `parity`.
void ParityBlock(const std::uint8_t* src, int majorCount, int minorCount, int majorMult,
                 int minorInc, std::uint8_t* parity) {
  const auto& t = T();
  const int size = majorCount * minorCount;
  for (int major = 0; major < majorCount; ++major) {
    int index = (major >> 1) * majorMult + (major & 1);
    std::uint8_t a = 0, b = 0;
    for (int minor = 0; minor < minorCount; ++minor) {
      const std::uint8_t v = src[index];
      index += minorInc;
      if (index >= size) index -= size;
      a ^= v;
      b ^= v;
      a = t.mulAlpha[a];
    }
    a = t.divAlphaPlusOne[t.mulAlpha[a] ^ b];
    parity[major] = a;
    parity[major + majorCount] = a ^ b;
  }
}

}  // namespace

std::uint8_t ToBcd(std::uint8_t value) {
  return static_cast<std::uint8_t>((value / 10) << 4 | (value % 10));
}

Msf FramesToMsf(std::int64_t frames) {
  if (frames < 0) frames = 0;
  return {static_cast<std::uint8_t>(frames / 4500), static_cast<std::uint8_t>(frames % 4500 / 75),
          static_cast<std::uint8_t>(frames % 75)};
}

Msf LbaToMsf(std::int64_t lba) {
  return FramesToMsf(lba >= -150 ? lba + 150 : lba + 450150);
}

std::int64_t MsfToLba(Msf msf) {
  const std::int64_t frames = msf.minute * 4500 + msf.second * 75 + msf.frame;
  return msf.minute >= 90 ? frames - 450150 : frames - 150;
}

std::uint32_t Edc(std::span<const std::uint8_t> bytes) {
  const auto& t = T();
  std::uint32_t e = 0;
  for (std::uint8_t b : bytes) e = (e >> 8) ^ t.edc[(e ^ b) & 0xFF];
  return e;
}

void ComputeEcc(std::uint8_t* sector) {
  ParityBlock(sector + 12, 86, 24, 2, 86, sector + 2076);
  ParityBlock(sector + 12, 52, 43, 86, 88, sector + 2248);
}

void WriteSync(std::uint8_t* sector) {
  sector[0] = 0;
  std::memset(sector + 1, 0xFF, 10);
  sector[11] = 0;
}

bool HasSync(const std::uint8_t* sector) {
  static const std::uint8_t kSync[12] = {0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                         0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
  return std::memcmp(sector, kSync, sizeof kSync) == 0;
}

namespace {

void WriteHeader(std::int64_t lba, std::uint8_t mode, std::uint8_t* sector) {
  const Msf msf = LbaToMsf(lba);
  sector[12] = ToBcd(msf.minute);
  sector[13] = ToBcd(msf.second);
  sector[14] = ToBcd(msf.frame);
  sector[15] = mode;
}

void StoreLe32(std::uint32_t v, std::uint8_t* p) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

void EncodeMode1(std::int64_t lba, const std::uint8_t* user, std::uint8_t* sector) {
  WriteSync(sector);
  WriteHeader(lba, 1, sector);
  std::memcpy(sector + 16, user, kUserSectorSize);
  StoreLe32(Edc({sector, 2064}), sector + 2064);
  std::memset(sector + 2068, 0, 8);
  ComputeEcc(sector);
}

void EncodeMode2Form1(std::int64_t lba, const std::uint8_t* subheader, const std::uint8_t* user,
                      std::uint8_t* sector) {
  WriteSync(sector);
  std::memcpy(sector + 16, subheader, 4);
  std::memcpy(sector + 20, subheader, 4);
  sector[18] &= ~0x20;  // Form 1
  sector[22] &= ~0x20;
  std::memcpy(sector + 24, user, kUserSectorSize);
  StoreLe32(Edc({sector + 16, 2056}), sector + 2072);
  // The header takes no part in the parity of a Mode 2 sector.
  std::memset(sector + 12, 0, 4);
  ComputeEcc(sector);
  WriteHeader(lba, 2, sector);
}

void EncodeMode2Unit(std::int64_t lba, const std::uint8_t* unit, std::uint8_t* sector) {
  if (!(unit[2] & 0x20)) {
    EncodeMode2Form1(lba, unit, unit + 8, sector);
    return;
  }
  WriteSync(sector);
  WriteHeader(lba, 2, sector);
  std::memcpy(sector + 16, unit, 4);
  std::memcpy(sector + 20, unit, 4);
  std::memcpy(sector + 24, unit + 8, 2324);
  StoreLe32(Edc({sector + 16, 2332}), sector + 2348);
}

void EncodeMode2Form2(std::int64_t lba, const std::uint8_t* unit, std::uint8_t* sector) {
  WriteSync(sector);
  WriteHeader(lba, 2, sector);
  std::memcpy(sector + 16, unit, 2332);
  StoreLe32(Edc({sector + 16, 2332}), sector + 2348);
}

bool IsValidMode1(const std::uint8_t* sector) {
  std::uint8_t copy[kRawSectorSize];
  std::memcpy(copy, sector, kRawSectorSize);
  if (copy[15] != 1) return false;
  auto fromBcd = [](std::uint8_t b) { return static_cast<std::uint8_t>((b >> 4) * 10 + (b & 15)); };
  const std::int64_t lba = MsfToLba({fromBcd(copy[12]), fromBcd(copy[13]), fromBcd(copy[14])});
  EncodeMode1(lba, sector + 16, copy);
  return std::memcmp(copy, sector, kRawSectorSize) == 0;
}

void Scramble(std::uint8_t* sector) {
  const auto& s = T().scrambler;
  for (size_t i = 0; i < s.size(); ++i) sector[12 + i] ^= s[i];
}

std::uint16_t QCrc(const std::uint8_t* q10) {
  const auto& t = T();
  std::uint16_t c = 0;
  for (int i = 0; i < 10; ++i) c = static_cast<std::uint16_t>((c << 8) ^ t.crc[(c >> 8) ^ q10[i]]);
  return c;
}

void SetQCrc(std::uint8_t* q12) {
  const std::uint16_t c = static_cast<std::uint16_t>(~QCrc(q12));
  q12[10] = static_cast<std::uint8_t>(c >> 8);
  q12[11] = static_cast<std::uint8_t>(c);
}

void FormatQ(const QPosition& p, std::uint8_t* q) {
  const Msf rel = FramesToMsf(p.relative);
  const Msf abs = LbaToMsf(p.lba);
  q[0] = static_cast<std::uint8_t>(p.control << 4 | 1);
  q[1] = ToBcd(p.track);
  q[2] = ToBcd(p.index);
  q[3] = ToBcd(rel.minute);
  q[4] = ToBcd(rel.second);
  q[5] = ToBcd(rel.frame);
  q[6] = 0;
  q[7] = ToBcd(abs.minute);
  q[8] = ToBcd(abs.second);
  q[9] = ToBcd(abs.frame);
  SetQCrc(q);
}

void InterleaveSubchannel(bool p, const std::uint8_t* q12, std::uint8_t* raw) {
  for (int k = 0; k < 96; ++k) {
    const bool qBit = (q12[k / 8] >> (7 - k % 8)) & 1;
    raw[k] = static_cast<std::uint8_t>((p ? 0x80 : 0) | (qBit ? 0x40 : 0));
  }
}

}  // namespace platform::aspi::vr
