// The settings a drive keeps across discs: the write parameters page (05h), the error
// recovery page (01h), the vendor underrun-protection page (30h) and the chosen speeds.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/aspi/recorder/vr_media.h"

namespace platform::aspi::vr {

inline constexpr std::size_t kWriteParametersSize = 56;  // page length 36h
inline constexpr std::size_t kErrorRecoverySize = 12;    // page length 0Ah
inline constexpr std::size_t kUnderrunPageSize = 8;      // page length 06h

struct WriteParameters {
  std::array<std::uint8_t, kWriteParametersSize> page{};

  static WriteParameters Default(Media media);
  std::uint8_t WriteType() const { return page[2] & 0x0F; }
  bool TestWrite() const { return page[2] & 0x10; }
  bool UnderrunProtection() const { return page[2] & 0x40; }
  std::uint8_t MultiSession() const { return page[3] >> 6; }
  std::uint8_t TrackMode() const { return page[3] & 0x0F; }
  std::uint8_t BlockType() const { return page[4] & 0x0F; }
  std::uint8_t SessionFormat() const { return page[8]; }
  const std::uint8_t* Subheader() const { return &page[48]; }
  // Bytes per block of a WRITE, 0 when the block type is not one this recorder writes.
  std::size_t BlockSize(Media media) const;
  bool operator==(const WriteParameters&) const = default;
};

// Throws the sense a drive gives for a page it does not accept with this medium.
void ValidateWriteParameters(const WriteParameters& p, Media media);

struct DriveSettings {
  WriteParameters write;
  std::array<std::uint8_t, kErrorRecoverySize> errorRecovery{};
  bool underrunPageEnabled = false;  // page 30h byte 3 bit 0
  std::uint16_t readSpeed = 0;       // KB/s as set by SET CD SPEED, 0 = the fastest
  std::uint16_t writeSpeed = 0;

  static DriveSettings Default(Media media);
  static std::array<std::uint8_t, kErrorRecoverySize> DefaultErrorRecovery();
  std::string Serialize() const;
  static std::optional<DriveSettings> Parse(const std::string& text);
  bool operator==(const DriveSettings&) const = default;
};

}  // namespace platform::aspi::vr
