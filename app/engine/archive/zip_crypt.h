// Traditional PKWARE encryption of zip entries: the three keys, the 12-byte header in front of
// an entry's data, and the stream cipher over its bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr size_t kZipCryptHeaderSize = 12;

class TZipCryptKeys {
 public:
  explicit TZipCryptKeys(std::string_view password);

  void Encrypt(std::uint8_t* data, size_t n);
  void Decrypt(std::uint8_t* data, size_t n);

  // The encrypted header of a new entry: 11 random bytes and the check byte (the CRC's high
  // byte, or the DOS time's high byte when the sizes follow the data).
  std::array<std::uint8_t, kZipCryptHeaderSize> MakeHeader(std::uint8_t checkByte);
  // Decrypts an entry's header; true when its check byte matches (the password is likely right).
  bool TakeHeader(const std::uint8_t* header, std::uint8_t checkByte);

 private:
  std::uint8_t StreamByte() const;
  void Update(std::uint8_t plain);

  std::uint32_t k0_ = 0x12345678, k1_ = 0x23456789, k2_ = 0x34567890;
};
