#include "platform/aspi/recorder/coding/vr_subchannel.h"

#include <algorithm>

#include "platform/aspi/recorder/coding/vr_sector_coding.h"

namespace platform::aspi::vr {

namespace {

std::uint16_t Crc16(const std::uint8_t* bytes, std::size_t n) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < n; ++i) {
    crc = static_cast<std::uint16_t>(crc ^ (bytes[i] << 8));
    for (int b = 0; b < 8; ++b)
      crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

bool CrcAt(const std::uint8_t* bytes, std::size_t n) {
  const std::uint16_t crc = static_cast<std::uint16_t>(~Crc16(bytes, n));
  return bytes[n] == (crc >> 8) && bytes[n + 1] == (crc & 0xFF);
}

}  // namespace

bool PackCrcOk(const std::uint8_t* pack18) {
  return CrcAt(pack18, 16);
}

QFrame DecodeQ(const std::uint8_t* block, std::size_t unit) {
  QFrame f;
  if (unit == kPQBlockSize) {
    std::copy(block, block + 12, f.q.begin());
    f.p = block[15] & 0x80;
  } else {
    int p = 0;
    for (std::size_t i = 0; i < kRawPWBlockSize; ++i) {
      if (block[i] & 0x40) f.q[i / 8] = static_cast<std::uint8_t>(f.q[i / 8] | (0x80 >> (i % 8)));
      p += block[i] >> 7;
    }
    f.p = p > 48;
  }
  f.crcOk = CrcAt(f.q.data(), 10);
  return f;
}

bool RwEmpty(const std::uint8_t* raw96) {
  return std::all_of(raw96, raw96 + kRawPWBlockSize, [](std::uint8_t b) { return !(b & 0x3F); });
}

std::array<CdTextPack, 4> DecodeRw(const std::uint8_t* raw96) {
  std::uint8_t bytes[72];
  for (int g = 0; g < 24; ++g) {
    const std::uint8_t s0 = raw96[4 * g] & 0x3F, s1 = raw96[4 * g + 1] & 0x3F,
                       s2 = raw96[4 * g + 2] & 0x3F, s3 = raw96[4 * g + 3] & 0x3F;
    bytes[3 * g] = static_cast<std::uint8_t>(s0 << 2 | s1 >> 4);
    bytes[3 * g + 1] = static_cast<std::uint8_t>((s1 & 0x0F) << 4 | s2 >> 2);
    bytes[3 * g + 2] = static_cast<std::uint8_t>((s2 & 0x03) << 6 | s3);
  }
  std::array<CdTextPack, 4> packs;
  for (int k = 0; k < 4; ++k) {
    std::copy(bytes + 18 * k, bytes + 18 * (k + 1), packs[k].bytes.begin());
    packs[k].crcOk = PackCrcOk(packs[k].bytes.data());
  }
  return packs;
}

DecodedSubchannel DecodeSubchannel(std::span<const std::uint8_t> bytes, std::size_t unit,
                                   std::size_t stride, std::size_t offset) {
  DecodedSubchannel out;
  for (std::size_t at = offset; at + unit <= bytes.size(); at += stride) {
    const std::uint8_t* block = bytes.data() + at;
    out.frames.push_back(DecodeQ(block, unit));
    if (unit == kRawPWBlockSize && !RwEmpty(block))
      for (const CdTextPack& p : DecodeRw(block)) out.packs.push_back(p);
    if (stride == 0) break;
  }
  return out;
}

std::vector<CdTextPack> DistinctPacks(const std::vector<CdTextPack>& packs) {
  std::vector<CdTextPack> out;
  for (const CdTextPack& p : packs) {
    if (!p.crcOk) continue;
    const bool seen = std::any_of(out.begin(), out.end(), [&](const CdTextPack& o) {
      return o.bytes[0] == p.bytes[0] && o.bytes[1] == p.bytes[1] && o.bytes[2] == p.bytes[2];
    });
    if (!seen) out.push_back(p);
  }
  std::stable_sort(out.begin(), out.end(), [](const CdTextPack& a, const CdTextPack& b) {
    return a.bytes[2] < b.bytes[2];
  });
  return out;
}

bool QPositionMatches(const QFrame& f, std::uint8_t adrControl, std::uint8_t tno,
                      std::int64_t origin, std::int64_t lba) {
  const bool pregap = lba < origin;
  const Msf r = FramesToMsf(pregap ? origin - lba - 1 : lba - origin), a = LbaToMsf(lba);
  const std::uint8_t expected[10] = {adrControl,
                                     tno,
                                     static_cast<std::uint8_t>(pregap ? 0 : 1),
                                     ToBcd(r.minute),
                                     ToBcd(r.second),
                                     ToBcd(r.frame),
                                     0,
                                     ToBcd(a.minute),
                                     ToBcd(a.second),
                                     ToBcd(a.frame)};
  return std::equal(expected, expected + 10, f.q.begin());
}

}  // namespace platform::aspi::vr
