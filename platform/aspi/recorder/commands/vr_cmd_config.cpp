// GET CONFIGURATION: the profile list and the features of a multi-format recorder, current as
// the disc in the tray makes them.
#include "platform/aspi/recorder/commands/vr_commands.h"

namespace platform::aspi::vr {

namespace {

struct Feature {
  std::uint16_t code;
  std::uint8_t version;
  bool persistent;
  bool current;
  std::vector<std::uint8_t> data;
};

constexpr Media kProfiles[] = {
    Media::DvdPlusR, Media::DvdPlusRw, Media::DvdRwSequential, Media::DvdRwRestricted,
    Media::DvdRam,   Media::DvdR,      Media::DvdRom,          Media::CdRw,
    Media::CdR,      Media::CdRom};

std::vector<Feature> Features(Drive& d) {
  const bool present = !d.state.trayEmpty;
  const Disc& disc = d.disc();
  const Media m = disc.media;
  const bool cd = present && disc.IsCd(), dvd = present && !disc.IsCd();
  const bool random = present && disc.IsRandom() && disc.formatted;
  std::vector<Feature> f;

  Feature profiles{0x0000, 0, true, true, {}};
  for (Media p : kProfiles) {
    const std::uint16_t number = Traits(p).profile;
    profiles.data.insert(profiles.data.end(),
                         {static_cast<std::uint8_t>(number >> 8), static_cast<std::uint8_t>(number),
                          static_cast<std::uint8_t>(present && p == m ? 1 : 0), 0});
  }
  f.push_back(profiles);
  f.push_back({0x0001, 2, true, true, {0, 0, 0, 2, 0x01, 0, 0, 0}});  // core: ATAPI, DBE
  f.push_back({0x0003, 0, true, true, {0x29, 0, 0, 0}});              // tray, eject, lock
  std::vector<std::uint8_t> readable = {0, 0, 0x08, 0, 0, static_cast<std::uint8_t>(dvd ? 16 : 1),
                                        0, 0};
  f.push_back({0x0010, 0, false, present && disc.RecordedEnd() > 0, readable});
  f.push_back({0x001E, 2, false, cd, {0, 0, 0, 0}});
  f.push_back({0x001F, 1, false, dvd, {0, 0, 0, 0}});
  std::vector<std::uint8_t> writable(12, 0);
  if (random) Put32(writable, 0, static_cast<std::uint32_t>(disc.capacity - 1));
  Put32(writable, 4, 2048);
  writable[9] = 16;
  f.push_back({0x0020, 0, false, random, writable});
  const bool formattable = present && (m == Media::DvdPlusRw || m == Media::DvdRam ||
                                       m == Media::DvdRwSequential || m == Media::DvdRwRestricted);
  f.push_back({0x0023, 0, false, formattable, {0, 0, 0, 0}});
  f.push_back({0x0024, 0, false, present && m == Media::DvdRam, {0x80, 0, 0, 0}});
  f.push_back({0x0026, 0, false, present && m == Media::DvdRwRestricted, {}});
  f.push_back({0x002A, 0, false, present && m == Media::DvdPlusRw, {0x01, 0, 0, 0}});
  f.push_back({0x002B, 0, false, present && m == Media::DvdPlusR, {0x01, 0, 0, 0}});
  // Track-at-once: BUF, test write, CD-RW; block types 0, 8, 10 and 13 (bits of bytes 2-3).
  f.push_back(
      {0x002D, 2, false, present && (m == Media::CdR || m == Media::CdRw), {0x46, 0, 0x25, 0x01}});
  f.push_back({0x002F,
               1,
               false,
               present && (m == Media::DvdR || m == Media::DvdRwSequential),
               {0x46, 0, 0, 0}});
  return f;
}

}  // namespace

void HandleGetConfiguration(Drive& d, Exchange& x) {
  if (x.B(1) & 0xFC) InvalidFieldInCdb();
  const std::uint8_t rt = x.B(1) & 0x03;
  if (rt == 3) InvalidFieldInCdb();
  for (size_t i = 4; i <= 6; ++i)
    if (x.B(i)) InvalidFieldInCdb();
  const std::uint16_t start = x.U16(2);
  std::vector<std::uint8_t> b(8, 0);
  if (!d.state.trayEmpty) Put16(b, 6, Traits(d.disc().media).profile);
  for (const auto& f : Features(d)) {
    if (rt == 2 ? f.code != start : f.code < start) continue;
    if (rt == 1 && !f.current) continue;
    b.push_back(static_cast<std::uint8_t>(f.code >> 8));
    b.push_back(static_cast<std::uint8_t>(f.code));
    b.push_back(
        static_cast<std::uint8_t>(f.version << 2 | (f.persistent ? 2 : 0) | (f.current ? 1 : 0)));
    b.push_back(static_cast<std::uint8_t>(f.data.size()));
    b.insert(b.end(), f.data.begin(), f.data.end());
  }
  Put32(b, 0, static_cast<std::uint32_t>(b.size() - 4));
  x.Reply(b, x.U16(7));
}

}  // namespace platform::aspi::vr
