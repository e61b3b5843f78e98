#include "app/engine/archive/zip_crypt.h"

#include <sys/random.h>
#include <zlib.h>

#include <random>

namespace {

const z_crc_t* CrcTable() {
  static const z_crc_t* table = get_crc_table();
  return table;
}

std::uint32_t Crc32Byte(std::uint32_t crc, std::uint8_t b) {
  return CrcTable()[(crc ^ b) & 0xff] ^ (crc >> 8);
}

}  // namespace

TZipCryptKeys::TZipCryptKeys(std::string_view password) {
  for (const char c : password) Update(static_cast<std::uint8_t>(c));
}

std::uint8_t TZipCryptKeys::StreamByte() const {
  const std::uint32_t t = (k2_ | 2) & 0xffff;
  return static_cast<std::uint8_t>((t * (t ^ 1)) >> 8);
}

void TZipCryptKeys::Update(std::uint8_t plain) {
  k0_ = Crc32Byte(k0_, plain);
  k1_ = (k1_ + (k0_ & 0xff)) * 134775813 + 1;
  k2_ = Crc32Byte(k2_, static_cast<std::uint8_t>(k1_ >> 24));
}

void TZipCryptKeys::Encrypt(std::uint8_t* data, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const std::uint8_t plain = data[i];
    data[i] = plain ^ StreamByte();
    Update(plain);
  }
}

void TZipCryptKeys::Decrypt(std::uint8_t* data, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    data[i] ^= StreamByte();
    Update(data[i]);
  }
}

std::array<std::uint8_t, kZipCryptHeaderSize> TZipCryptKeys::MakeHeader(std::uint8_t checkByte) {
  std::array<std::uint8_t, kZipCryptHeaderSize> header{};
  if (getrandom(header.data(), kZipCryptHeaderSize - 1, 0) !=
      static_cast<ssize_t>(kZipCryptHeaderSize - 1)) {
    std::random_device device;  // no getrandom: the library's own source
    for (size_t i = 0; i + 1 < kZipCryptHeaderSize; ++i)
      header[i] = static_cast<std::uint8_t>(device());
  }
  header[kZipCryptHeaderSize - 1] = checkByte;
  Encrypt(header.data(), header.size());
  return header;
}

bool TZipCryptKeys::TakeHeader(const std::uint8_t* header, std::uint8_t checkByte) {
  std::array<std::uint8_t, kZipCryptHeaderSize> plain{};
  for (size_t i = 0; i < kZipCryptHeaderSize; ++i) plain[i] = header[i];
  Decrypt(plain.data(), plain.size());
  return plain[kZipCryptHeaderSize - 1] == checkByte;
}
