#include "lib/mastering/udf/udf_descriptors.h"

#include <array>
#include <cstring>
#include <ctime>

#include "lib/mastering/iso9660/iso9660_records.h"

namespace {

// kCrcTables[k][b]: the CRC of byte b followed by k zero bytes, so that eight bytes are taken
// in one step (each descriptor block is 2 KB of them).
using CrcTables = std::array<std::array<std::uint16_t, 256>, 8>;

constexpr CrcTables MakeCrcTables() {
  CrcTables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t crc = i << 8;
    for (int b = 0; b < 8; ++b) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
    t[0][i] = static_cast<std::uint16_t>(crc);
  }
  for (std::size_t k = 1; k < 8; ++k)
    for (std::uint32_t i = 0; i < 256; ++i) {
      const std::uint16_t c = t[k - 1][i];
      t[k][i] = static_cast<std::uint16_t>((c << 8) ^ t[0][c >> 8]);
    }
  return t;
}

constexpr CrcTables kCrcTables = MakeCrcTables();

}  // namespace

void HalvorinI_UdfPut16(std::uint8_t* p, std::uint16_t v) {
  HalvorinI_PutLE16(p, v);
}
void HalvorinI_UdfPut32(std::uint8_t* p, std::uint32_t v) {
  HalvorinI_PutLE32(p, v);
}
void HalvorinI_UdfPut64(std::uint8_t* p, std::uint64_t v) {
  HalvorinI_PutLE32(p, static_cast<std::uint32_t>(v));
  HalvorinI_PutLE32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

std::uint16_t HalvorinI_UdfCrc(const std::uint8_t* p, std::size_t p__ULONG__Length) {
  const auto& t = kCrcTables;
  std::uint16_t crc = 0;
  std::size_t i = 0;
  for (; i + 8 <= p__ULONG__Length; i += 8) {
    const std::uint8_t hi = static_cast<std::uint8_t>((crc >> 8) ^ p[i]);
    const std::uint8_t lo = static_cast<std::uint8_t>((crc & 0xFF) ^ p[i + 1]);
    crc = static_cast<std::uint16_t>(t[7][hi] ^ t[6][lo] ^ t[5][p[i + 2]] ^ t[4][p[i + 3]] ^
                                     t[3][p[i + 4]] ^ t[2][p[i + 5]] ^ t[1][p[i + 6]] ^
                                     t[0][p[i + 7]]);
  }
  for (; i < p__ULONG__Length; ++i)
    crc = static_cast<std::uint16_t>((crc << 8) ^ t[0][((crc >> 8) ^ p[i]) & 0xFF]);
  return crc;
}

void HalvorinI_UdfTag(std::uint8_t* d, std::uint16_t p__USHORT__Identifier,
                      std::uint32_t p__ULONG__Location, std::size_t p__ULONG__BodyLength) {
  HalvorinI_UdfPut16(d, p__USHORT__Identifier);
  HalvorinI_UdfPut16(d + 2, 2);
  d[4] = 0;
  d[5] = 0;
  HalvorinI_UdfPut16(d + 6, 0);
  HalvorinI_UdfPut16(d + 8, HalvorinI_UdfCrc(d + 16, p__ULONG__BodyLength));
  HalvorinI_UdfPut16(d + 10, static_cast<std::uint16_t>(p__ULONG__BodyLength));
  HalvorinI_UdfPut32(d + 12, p__ULONG__Location);
  std::uint8_t sum = 0;
  for (int i = 0; i < 16; ++i)
    if (i != 4) sum = static_cast<std::uint8_t>(sum + d[i]);
  d[4] = sum;
}

std::string HalvorinI_UdfCs0(const std::string& p__STRING__Utf8, std::size_t p__ULONG__MaxBytes) {
  const std::u16string units = HalvorinI_Utf8ToUtf16(p__STRING__Utf8);
  if (units.empty() || p__ULONG__MaxBytes < 2) return {};
  bool narrow = true;
  for (char16_t c : units) narrow = narrow && c < 256;
  std::string out(1, static_cast<char>(narrow ? 8 : 16));
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t c = units[i];
    if (narrow) {
      if (out.size() + 1 > p__ULONG__MaxBytes) break;
      out.push_back(static_cast<char>(c));
      continue;
    }
    // A surrogate pair goes whole or not at all.
    const std::size_t need = (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size()) ? 4 : 2;
    if (out.size() + need > p__ULONG__MaxBytes) break;
    for (std::size_t k = 0; k < need / 2; ++k) {
      out.push_back(static_cast<char>(units[i + k] >> 8));
      out.push_back(static_cast<char>(units[i + k] & 0xFF));
    }
    i += need / 2 - 1;
  }
  return out;
}

void HalvorinI_UdfDString(std::uint8_t* p__PUCHAR__Field, std::size_t p__ULONG__Field,
                          const std::string& p__STRING__Utf8) {
  std::memset(p__PUCHAR__Field, 0, p__ULONG__Field);
  const std::string cs0 = HalvorinI_UdfCs0(p__STRING__Utf8, p__ULONG__Field - 1);
  if (cs0.size() < 2) return;
  std::memcpy(p__PUCHAR__Field, cs0.data(), cs0.size());
  p__PUCHAR__Field[p__ULONG__Field - 1] = static_cast<std::uint8_t>(cs0.size());
}

void HalvorinI_UdfCharSpec(std::uint8_t* p__PUCHAR__At) {
  std::memset(p__PUCHAR__At, 0, 64);
  std::memcpy(p__PUCHAR__At + 1, "OSTA Compressed Unicode", 23);
}

void HalvorinI_UdfRegId(std::uint8_t* p__PUCHAR__At, const char* p__PCHAR__Identifier,
                        std::uint8_t s0, std::uint8_t s1, std::uint8_t s2) {
  std::memset(p__PUCHAR__At, 0, 32);
  std::memcpy(p__PUCHAR__At + 1, p__PCHAR__Identifier,
              std::min<std::size_t>(23, std::strlen(p__PCHAR__Identifier)));
  p__PUCHAR__At[24] = s0;
  p__PUCHAR__At[25] = s1;
  p__PUCHAR__At[26] = s2;
}

void HalvorinI_UdfImplementation(std::uint8_t* p__PUCHAR__At) {
  HalvorinI_UdfRegId(p__PUCHAR__At, "*UDF Image Creator", 0, 0, 0);
}
void HalvorinI_UdfDomain(std::uint8_t* p__PUCHAR__At) {
  HalvorinI_UdfRegId(p__PUCHAR__At, "*OSTA UDF Compliant", 0x02, 0x01, 0x03);
}
void HalvorinI_UdfIdentifier(std::uint8_t* p__PUCHAR__At, const char* p__PCHAR__Identifier) {
  HalvorinI_UdfRegId(p__PUCHAR__At, p__PCHAR__Identifier, 0x02, 0x01, 0x00);
}

void HalvorinI_UdfTimestamp(std::uint8_t* p, const std::uint8_t* d) {
  std::memset(p, 0, 12);
  // Type 1 (local time) with the date's own offset from GMT, in minutes.
  const std::int32_t minutes = static_cast<std::int8_t>(d[6]) * 15;
  HalvorinI_UdfPut16(p, static_cast<std::uint16_t>(0x1000 | (minutes & 0x0FFF)));
  HalvorinI_UdfPut16(p + 2, static_cast<std::uint16_t>(1900 + d[0]));
  p[4] = d[1];
  p[5] = d[2];
  p[6] = d[3];
  p[7] = d[4];
  p[8] = d[5];
}

void HalvorinI_IsoDateOf(std::int64_t p__LONGLONG__UnixTime, std::uint8_t* p__PUCHAR__Date) {
  const std::time_t t = static_cast<std::time_t>(p__LONGLONG__UnixTime);
  std::tm local{};
  std::memset(p__PUCHAR__Date, 0, 7);
  if (!localtime_r(&t, &local)) return;
  p__PUCHAR__Date[0] = static_cast<std::uint8_t>(local.tm_year < 0     ? 0
                                                 : local.tm_year > 255 ? 255
                                                                       : local.tm_year);
  p__PUCHAR__Date[1] = static_cast<std::uint8_t>(local.tm_mon + 1);
  p__PUCHAR__Date[2] = static_cast<std::uint8_t>(local.tm_mday);
  p__PUCHAR__Date[3] = static_cast<std::uint8_t>(local.tm_hour);
  p__PUCHAR__Date[4] = static_cast<std::uint8_t>(local.tm_min);
  p__PUCHAR__Date[5] = static_cast<std::uint8_t>(local.tm_sec);
  p__PUCHAR__Date[6] = static_cast<std::uint8_t>(static_cast<std::int8_t>(local.tm_gmtoff / 900));
}
