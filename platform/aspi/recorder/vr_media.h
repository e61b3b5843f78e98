// The media a virtual recorder holds: their MMC profiles and the numbers a drive reports.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace platform::aspi::vr {

enum class Media : std::uint8_t {
  CdRom,
  CdR,
  CdRw,
  DvdRom,
  DvdR,
  DvdRwSequential,
  DvdRwRestricted,  // a DVD-RW after a quick format: written at random
  DvdPlusR,
  DvdPlusRw,
  DvdRam,
};

struct MediaTraits {
  Media media;
  std::string_view name;  // as in the configuration: "CD-R", "DVD+RW", ...
  std::uint16_t profile;
  bool cd;
  bool rom;
  bool erasable;
  bool random;             // written anywhere once formatted
  std::int64_t capacity;   // user blocks of a blank (0 for pressed discs: the fixture's size)
  std::uint8_t bookType;   // DVD physical format, byte 0 bits 4-7
  std::uint8_t layerType;  // DVD physical format, byte 2 bits 0-3
};

const MediaTraits& Traits(Media media);
std::optional<Media> ParseMedia(std::string_view name);  // case-insensitive

// 80-minute CD-R/RW: the last possible lead-out start, 79:59:74.
inline constexpr std::int64_t kCdCapacity = 359849;

}  // namespace platform::aspi::vr
