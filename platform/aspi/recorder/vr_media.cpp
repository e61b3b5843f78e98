#include "platform/aspi/recorder/vr_media.h"

#include <array>

namespace platform::aspi::vr {

namespace {

constexpr std::array<MediaTraits, 10> kMedia{{
    {Media::CdRom, "CD-ROM", 0x0008, true, true, false, false, 0, 0, 0},
    {Media::CdR, "CD-R", 0x0009, true, false, false, false, kCdCapacity, 0, 0},
    {Media::CdRw, "CD-RW", 0x000A, true, false, true, false, kCdCapacity, 0, 0},
    {Media::DvdRom, "DVD-ROM", 0x0010, false, true, false, false, 0, 0x0, 0x1},
    {Media::DvdR, "DVD-R", 0x0011, false, false, false, false, 2298496, 0x2, 0x2},
    {Media::DvdRwSequential, "DVD-RW", 0x0014, false, false, true, false, 2297888, 0x3, 0x4},
    {Media::DvdRwRestricted, "DVD-RW-RO", 0x0013, false, false, true, true, 2297888, 0x3, 0x4},
    {Media::DvdPlusR, "DVD+R", 0x001B, false, false, false, false, 2295104, 0xA, 0x2},
    {Media::DvdPlusRw, "DVD+RW", 0x001A, false, false, true, true, 2295104, 0x9, 0x4},
    {Media::DvdRam, "DVD-RAM", 0x0012, false, false, true, true, 2236704, 0x1, 0x4},
}};

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

const MediaTraits& Traits(Media media) {
  return kMedia[static_cast<size_t>(media)];
}

std::optional<Media> ParseMedia(std::string_view name) {
  for (const auto& t : kMedia)
    if (SameText(t.name, name)) return t.media;
  return std::nullopt;
}

}  // namespace platform::aspi::vr
