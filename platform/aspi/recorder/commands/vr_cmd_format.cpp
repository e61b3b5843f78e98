// BLANK of rewritable sequential media and FORMAT UNIT of DVD+RW, DVD-RAM and DVD-RW.
#include "platform/aspi/recorder/commands/vr_commands.h"

namespace platform::aspi::vr {

void HandleBlank(Drive& d, Exchange& x) {
  if (x.B(1) & 0xE8) InvalidFieldInCdb();
  const std::uint8_t type = x.B(1) & 0x07;
  for (size_t i = 6; i <= 10; ++i)
    if (x.B(i)) InvalidFieldInCdb();
  d.Immed(x.B(1) & 0x10);
  Disc& disc = d.disc();
  const Media m = disc.media;
  if (m != Media::CdRw && m != Media::DvdRwSequential && m != Media::DvdRwRestricted)
    IncompatibleFormat();
  if (type > 1) InvalidFieldInCdb();  // the whole disc, or its table of contents
  d.store.DiscardSectors(disc);
  disc = Disc::Blank(m == Media::CdRw ? Media::CdRw : Media::DvdRwSequential, disc.serial);
  d.testNext = -1;
  d.dirty = true;
}

void HandleFormatUnit(Drive& d, Exchange& x) {
  if (x.B(1) & 0xE0 || x.B(2) || x.B(3) || x.B(4)) InvalidFieldInCdb();
  if (!(x.B(1) & 0x10) || (x.B(1) & 0x07) != 1) InvalidFieldInCdb();  // FmtData, format code 1
  if (x.data.size() < 4) ParameterListLengthError();
  const auto header = x.Parameters(4);
  if (header[0] || ((header[2] << 8) | header[3]) != 8) InvalidFieldInParameters();
  const auto list = x.Parameters(12);
  const bool fov = list[1] & 0x80;
  d.Immed(fov && (list[1] & 0x02));
  const std::uint32_t blocks =
      static_cast<std::uint32_t>(list[4]) << 24 | list[5] << 16 | list[6] << 8 | list[7];
  const std::uint8_t type = list[8] >> 2;
  const std::uint32_t parameter =
      static_cast<std::uint32_t>(list[9]) << 16 | list[10] << 8 | list[11];
  Disc& disc = d.disc();
  const std::int64_t most = Traits(disc.media).capacity;
  switch (disc.media) {
    case Media::DvdPlusRw:
      if (type != 0x26 || parameter != 0 || blocks == 0) InvalidFieldInParameters();
      if (blocks != 0xFFFFFFFF && blocks > most) InvalidFieldInParameters();
      break;
    case Media::DvdRam:
      if (type != 0x00 || parameter != 2048 || blocks == 0 || blocks > most)
        InvalidFieldInParameters();
      break;
    case Media::DvdRwSequential:
    case Media::DvdRwRestricted:
      if ((type != 0x10 && type != 0x15) || parameter != kEccBlock) InvalidFieldInParameters();
      break;
    default:
      IncompatibleFormat();
  }
  d.store.DiscardSectors(disc);
  const Media to = disc.media == Media::DvdRwSequential ? Media::DvdRwRestricted : disc.media;
  disc = Disc::Blank(to, disc.serial);
  disc.formatted = true;
  if (to == Media::DvdRam) disc.capacity = blocks;
  d.testNext = -1;
  d.dirty = true;
}

}  // namespace platform::aspi::vr
