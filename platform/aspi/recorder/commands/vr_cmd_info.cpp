// READ DISC INFORMATION, READ TRACK INFORMATION, READ TOC/PMA/ATIP (formats 0 and 2),
// READ CAPACITY, READ FORMAT CAPACITIES and READ DVD STRUCTURE (formats 00h, 01h, 04h).
#include <algorithm>

#include "platform/aspi/recorder/coding/vr_sector_coding.h"
#include "platform/aspi/recorder/commands/vr_commands.h"

namespace platform::aspi::vr {

namespace {

void PutMsf(std::vector<std::uint8_t>& b, size_t at, std::int64_t lba) {
  const Msf m = LbaToMsf(lba);
  b[at] = 0;
  b[at + 1] = m.minute;
  b[at + 2] = m.second;
  b[at + 3] = m.frame;
}

void RequireZero(const Exchange& x, size_t from, size_t to) {
  for (size_t i = from; i <= to; ++i)
    if (x.B(i)) InvalidFieldInCdb();
}

// A track as READ TRACK INFORMATION describes it.
struct TrackView {
  int number = 1, session = 1;
  std::int64_t start = 0, size = 0, nwa = 0, free = 0, written = 0;
  bool blank = false, nwaValid = false, reserved = false, damaged = false, packet = false;
  std::uint8_t trackMode = 4, dataMode = 1;
};

std::uint8_t DataModeOf(SectorForm form) {
  if (form == SectorForm::Audio) return 0x0F;
  return form == SectorForm::Mode2Form1 || form == SectorForm::Mode2 ? 2 : 1;
}

TrackView ViewOf(Drive& d, const Track& t) {
  const Disc& disc = d.disc();
  TrackView v;
  v.number = t.number;
  v.session = t.session;
  v.start = t.start;
  v.size = t.Size();
  v.written = t.written;
  v.reserved = t.reserved > 0;
  v.damaged = t.damaged;
  v.trackMode = t.trackMode;
  v.dataMode = disc.IsCd() ? DataModeOf(t.form) : 1;
  if (!t.closed) {
    auto w = disc.Writable();
    v.nwaValid = w.has_value();
    if (w) v.nwa = w->nextWritable, v.free = w->freeBlocks, v.blank = w->blank;
    if (!t.reserved) v.size = t.written + v.free;
  }
  return v;
}

TrackView InvisibleView(Drive& d, const WritableTrack& w) {
  TrackView v;
  v.number = w.number;
  v.session = w.session;
  v.start = w.start;
  v.size = w.freeBlocks;
  v.nwa = w.nextWritable;
  v.free = w.freeBlocks;
  v.blank = true;
  v.nwaValid = true;
  if (d.disc().IsCd()) {
    v.trackMode = d.write().TrackMode();
    v.dataMode = d.write().BlockType() == 10 || d.write().BlockType() == 13 ? 2
                 : d.write().BlockType() == 8                               ? 1
                                                                            : 0x0F;
  } else {
    v.trackMode = 5;
  }
  return v;
}

// Random-writable media: one track over the formatted area, written anywhere.
TrackView RandomView(const Disc& disc) {
  TrackView v;
  v.size = disc.capacity;
  v.written = disc.highWater;
  v.blank = disc.highWater == 0;
  v.nwaValid = disc.formatted;
  v.free = disc.formatted ? disc.capacity : 0;
  v.packet = true;
  v.trackMode = 5;
  return v;
}

TrackView Resolve(Drive& d, std::uint8_t type, std::uint32_t value) {
  const Disc& disc = d.disc();
  if (disc.IsRandom()) {
    const bool ok = type == 0 ? value < static_cast<std::uint32_t>(disc.capacity) : value == 1;
    if (!ok) type == 0 ? LbaOutOfRange() : InvalidFieldInCdb();
    return RandomView(disc);
  }
  const auto w = disc.Writable();
  const bool invisible = w && !w->exists;
  switch (type) {
    case 0: {
      const auto lba = static_cast<std::int64_t>(static_cast<std::int32_t>(value));
      if (const Track* t = disc.TrackAt(lba)) return ViewOf(d, *t);
      if (invisible && lba >= w->start && lba < disc.capacity) return InvisibleView(d, *w);
      LbaOutOfRange();
    }
    case 1:
      if (value == 0xFF) {
        if (!w) InvalidFieldInCdb();
        return invisible ? InvisibleView(d, *w) : ViewOf(d, disc.tracks.back());
      }
      if (const Track* t = disc.TrackNumber(static_cast<int>(value))) return ViewOf(d, *t);
      if (invisible && static_cast<int>(value) == w->number) return InvisibleView(d, *w);
      InvalidFieldInCdb();
    default:
      for (const auto& t : disc.tracks)
        if (t.session == static_cast<int>(value)) return ViewOf(d, t);
      if (invisible && static_cast<int>(value) == w->session) return InvisibleView(d, *w);
      InvalidFieldInCdb();
  }
}

// Tracks of the closed sessions: what a TOC shows. Random-writable media show one track over
// what was written.
std::vector<const Track*> TocTracks(const Disc& disc, Track& synthetic) {
  std::vector<const Track*> out;
  if (disc.IsRandom()) {
    if (disc.formatted) {
      synthetic = Track{
          1, 1, 0, std::max<std::int64_t>(disc.highWater, 1), 0, true, false, SectorForm::Mode1, 4};
      out.push_back(&synthetic);
    }
    return out;
  }
  for (const auto& t : disc.tracks)
    if (disc.sessions[static_cast<size_t>(t.session - 1)].closed) out.push_back(&t);
  return out;
}

std::int64_t LeadOutOf(const Disc& disc, int session) {
  if (disc.IsRandom()) return std::max<std::int64_t>(disc.highWater, 1);
  return disc.sessions[static_cast<size_t>(session - 1)].leadOut;
}

void Descriptor11(std::vector<std::uint8_t>& b, std::uint8_t session, std::uint8_t adrControl,
                  std::uint8_t point, Msf time, Msf p, std::uint8_t zero = 0) {
  b.insert(b.end(), {session, adrControl, 0, point, time.minute, time.second, time.frame, zero,
                     p.minute, p.second, p.frame});
}

}  // namespace

void HandleReadDiscInformation(Drive& d, Exchange& x) {
  if (x.B(1) & 0xFF) InvalidFieldInCdb();  // standard disc information only
  RequireZero(x, 2, 6);
  const Disc& disc = d.disc();
  std::vector<std::uint8_t> b(34, 0);
  Put16(b, 0, 32);
  const auto status = disc.Status();
  b[2] =
      static_cast<std::uint8_t>((disc.traits().erasable ? 0x10 : 0) | disc.LastSessionState() << 2 |
                                static_cast<std::uint8_t>(status));
  b[3] = 1;
  const int sessions = disc.SessionCount(), first = disc.FirstTrackOfLastSession(),
            last = disc.LastTrackOfLastSession();
  b[4] = static_cast<std::uint8_t>(sessions);
  b[5] = static_cast<std::uint8_t>(first);
  b[6] = static_cast<std::uint8_t>(last);
  b[9] = static_cast<std::uint8_t>(sessions >> 8);
  b[10] = static_cast<std::uint8_t>(first >> 8);
  b[11] = static_cast<std::uint8_t>(last >> 8);
  b[7] = 0x20;                                                         // unrestricted use
  if (disc.media == Media::DvdPlusRw && disc.formatted) b[7] |= 0x03;  // formatting complete
  if (disc.IsCd()) b[8] = disc.sessions.empty() ? 0x00 : disc.sessions.front().format;
  const bool open = status == DiscStatus::Empty || status == DiscStatus::Incomplete;
  if (!open) {
    Put32(b, 16, 0xFFFFFFFF);
    Put32(b, 20, 0xFFFFFFFF);
  } else if (disc.IsCd()) {
    PutMsf(b, 16, disc.NextLeadIn());
    if (d.faults.leadInStart) std::copy_n(d.faults.leadInStart->begin(), 3, b.begin() + 17);
    PutMsf(b, 20, disc.capacity);
  } else {
    Put32(b, 20, static_cast<std::uint32_t>(disc.capacity));
  }
  x.Reply(b, x.U16(7));
}

void HandleReadTrackInformation(Drive& d, Exchange& x) {
  if (x.B(1) & 0xF8) InvalidFieldInCdb();
  const std::uint8_t type = x.B(1) & 0x03;
  if (type == 3 || x.B(6)) InvalidFieldInCdb();
  const TrackView v = Resolve(d, type, x.U32(2));
  std::vector<std::uint8_t> b(48, 0);
  Put16(b, 0, 46);
  b[2] = static_cast<std::uint8_t>(v.number);
  b[3] = static_cast<std::uint8_t>(v.session);
  b[32] = static_cast<std::uint8_t>(v.number >> 8);
  b[33] = static_cast<std::uint8_t>(v.session >> 8);
  b[5] = static_cast<std::uint8_t>((v.damaged ? 0x20 : 0) | (v.trackMode & 0x0F));
  const bool dvd = !d.disc().IsCd();
  b[6] = static_cast<std::uint8_t>((v.reserved ? 0x80 : 0) | (v.blank ? 0x40 : 0) |
                                   (v.packet ? 0x30 : 0) | (v.dataMode & 0x0F));
  b[7] = static_cast<std::uint8_t>((v.written > 0 ? 0x02 : 0) | (v.nwaValid ? 0x01 : 0));
  Put32(b, 8, static_cast<std::uint32_t>(v.start));
  if (v.nwaValid) Put32(b, 12, static_cast<std::uint32_t>(v.nwa));
  Put32(b, 16, static_cast<std::uint32_t>(v.free));
  if (dvd) Put32(b, 20, 16);
  Put32(b, 24, static_cast<std::uint32_t>(v.size));
  if (v.written > 0) Put32(b, 28, static_cast<std::uint32_t>(v.start + v.written - 1));
  x.Reply(b, x.U16(7));
}

void HandleReadToc(Drive& d, Exchange& x) {
  if (x.B(1) & 0xFD) InvalidFieldInCdb();
  if (x.B(2) & 0xF0) InvalidFieldInCdb();
  RequireZero(x, 3, 5);
  const bool msf = x.B(1) & 0x02;
  const std::uint8_t format = x.B(2) & 0x0F, number = x.B(6);
  const Disc& disc = d.disc();
  Track synthetic;
  const auto tracks = TocTracks(disc, synthetic);
  if (tracks.empty()) InvalidFieldInCdb();  // nothing closed yet
  std::vector<std::uint8_t> b(4, 0);
  if (format == 0) {
    const int first = tracks.front()->number, last = tracks.back()->number;
    if (number > last && number != 0xAA) InvalidFieldInCdb();
    b[2] = static_cast<std::uint8_t>(first);
    b[3] = static_cast<std::uint8_t>(last);
    auto entry = [&](std::uint8_t control, std::uint8_t point, std::int64_t lba) {
      std::vector<std::uint8_t> e(8, 0);
      e[1] = static_cast<std::uint8_t>(0x10 | control);
      e[2] = point;
      if (msf)
        PutMsf(e, 4, lba);
      else
        Put32(e, 4, static_cast<std::uint32_t>(lba));
      b.insert(b.end(), e.begin(), e.end());
    };
    for (const Track* t : tracks)
      if (number != 0xAA && t->number >= number)
        entry(t->trackMode & 0x0F, static_cast<std::uint8_t>(t->number), t->start);
    entry(tracks.back()->trackMode & 0x0F, 0xAA, LeadOutOf(disc, tracks.back()->session));
  } else if (format == 2) {
    if (!disc.IsCd()) InvalidFieldInCdb();
    const int lastSession = tracks.back()->session;
    const int from = std::max<int>(1, number);
    if (from > lastSession) InvalidFieldInCdb();
    b[2] = static_cast<std::uint8_t>(from);
    b[3] = static_cast<std::uint8_t>(lastSession);
    for (int s = from; s <= lastSession; ++s) {
      std::vector<const Track*> in;
      for (const Track* t : tracks)
        if (t->session == s) in.push_back(t);
      if (in.empty()) continue;
      const auto session = static_cast<std::uint8_t>(s);
      const std::uint8_t control = static_cast<std::uint8_t>(0x10 | (in.front()->trackMode & 0x0F));
      const Session& info = disc.sessions[static_cast<size_t>(s - 1)];
      Descriptor11(b, session, control, 0xA0, {},
                   {static_cast<std::uint8_t>(in.front()->number), info.format, 0});
      Descriptor11(b, session, control, 0xA1, {},
                   {static_cast<std::uint8_t>(in.back()->number), 0, 0});
      Descriptor11(b, session, control, 0xA2, {}, LbaToMsf(info.leadOut));
      for (const Track* t : in)
        Descriptor11(b, session, static_cast<std::uint8_t>(0x10 | (t->trackMode & 0x0F)),
                     static_cast<std::uint8_t>(t->number), {}, LbaToMsf(t->start));
      if (s == lastSession && !disc.finalized && !disc.IsRom())
        Descriptor11(b, session, 0x50 | 0x04, 0xB0, LbaToMsf(disc.NextTrackStart()),
                     LbaToMsf(disc.capacity));
    }
  } else if (format == 5) {
    // CD-Text: the packs the lead-in carried.
    if (!disc.IsCd()) InvalidFieldInCdb();
    b.insert(b.end(), disc.cdText.begin(), disc.cdText.end());
  } else {
    InvalidFieldInCdb();
  }
  Put16(b, 0, static_cast<std::uint32_t>(b.size() - 2));
  x.Reply(b, x.U16(7));
}

void HandleReadCapacity(Drive& d, Exchange& x) {
  if (x.B(1) || x.B(6) || x.B(7) || (x.B(8) & 0xFE)) InvalidFieldInCdb();
  if (!(x.B(8) & 0x01) && x.U32(2) != 0) InvalidFieldInCdb();
  const Disc& disc = d.disc();
  std::int64_t last = 0;
  if (disc.IsRom() || (disc.IsRandom() && disc.formatted))
    last = disc.capacity - 1;
  else if (!disc.IsRandom())
    last = std::max<std::int64_t>(disc.RecordedEnd() - 1, 0);
  std::vector<std::uint8_t> b(8, 0);
  Put32(b, 0, static_cast<std::uint32_t>(last));
  Put32(b, 4, 2048);
  x.Reply(b, 8);
}

void HandleReadFormatCapacities(Drive& d, Exchange& x) {
  RequireZero(x, 1, 6);
  const Disc& disc = d.disc();
  std::vector<std::uint8_t> b(12, 0);
  auto descriptor = [&](std::uint32_t blocks, std::uint8_t typeByte, std::uint32_t parameter) {
    std::vector<std::uint8_t> e(8, 0);
    Put32(e, 0, blocks);
    e[4] = typeByte;
    e[5] = static_cast<std::uint8_t>(parameter >> 16);
    Put16(e, 6, parameter);
    b.insert(b.end(), e.begin(), e.end());
  };
  const auto capacity = static_cast<std::uint32_t>(disc.capacity);
  const bool formatted = disc.IsRandom() ? disc.formatted : disc.RecordedEnd() > 0;
  Put32(b, 4, capacity);
  b[8] = formatted ? 0x02 : 0x01;
  b[10] = 0x08;  // 2048-byte blocks
  switch (disc.media) {
    case Media::DvdPlusRw:
      descriptor(capacity, 0x26 << 2, 0);
      break;
    case Media::DvdRam:
      descriptor(capacity, 0x00 << 2, 2048);
      break;
    case Media::DvdRwSequential:
    case Media::DvdRwRestricted:
      descriptor(capacity, 0x10 << 2, kEccBlock);
      descriptor(capacity, 0x15 << 2, kEccBlock);
      break;
    default:
      break;
  }
  b[3] = static_cast<std::uint8_t>(b.size() - 4);
  x.Reply(b, x.U16(7));
}

void HandleReadDvdStructure(Drive& d, Exchange& x) {
  if (x.B(1)) InvalidFieldInCdb();  // DVD structures only
  if (x.B(10) & 0x3F) InvalidFieldInCdb();
  const Disc& disc = d.disc();
  if (disc.IsCd()) CannotReadMedium();
  if (x.B(6) != 0) InvalidFieldInCdb();  // one layer
  std::vector<std::uint8_t> b;
  switch (x.B(7)) {
    case 0x00: {
      b.assign(4 + 2048, 0);
      const auto& t = disc.traits();
      b[4] = static_cast<std::uint8_t>(t.bookType << 4 | (disc.IsRom() ? 1 : 5));
      b[5] = disc.IsRom() ? 0x02 : 0x0F;
      b[6] = t.layerType ? t.layerType : 0x01;
      b[7] = 0x10;
      Put32(b, 8, 0x030000);
      Put32(b, 12, static_cast<std::uint32_t>(0x030000 + disc.capacity - 1));
      break;
    }
    case 0x01:
      b.assign(8, 0);  // no copy protection, no region
      break;
    case 0x04: {
      b.assign(4 + 2048, 0);
      const char id[] = "QUORVA VIRTUAL RECORDER";
      std::copy(id, id + sizeof id - 1, b.begin() + 4);
      break;
    }
    default:
      InvalidFieldInCdb();
  }
  Put16(b, 0, static_cast<std::uint32_t>(b.size() - 2));
  x.Reply(b, x.U16(8));
}

}  // namespace platform::aspi::vr
