// Session-at-once on CD media: SEND CUE SHEET, then WRITE(10) in order from -150 (from the
// lead-in start with a 41h lead-in) up to the cue sheet's lead-out, each block as large as the
// cue sheet says; SYNCHRONIZE CACHE at the lead-out closes the session.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/aspi/recorder/coding/vr_sector_coding.h"
#include "platform/aspi/recorder/coding/vr_subchannel.h"
#include "platform/aspi/recorder/commands/vr_commands.h"
#include "platform/aspi/recorder/vr_cue_sheet.h"

namespace platform::aspi::vr {

namespace {

constexpr std::size_t kMaxCdTextPacks = 8 * 256;

// A raw sector the host sent scrambled: data by the control of its Q, or, where that Q does not
// read, by its sync field and a data mode.
bool IsDataSector(const std::uint8_t* s, const QFrame& q) {
  if (q.crcOk) return (q.q[0] & 0x40) != 0;
  const std::uint8_t mode = s[15] & 0x03;
  return (mode == 1 || mode == 2) && HasSync(s);
}

SectorForm FormOf(const CueTrack& t) {
  switch (t.form) {
    case 0x00:
      return SectorForm::Audio;
    case 0x10:
      return SectorForm::Mode1;
    case 0x20:
      return SectorForm::Mode2;
    default:
      return t.Audio() ? SectorForm::Audio : SectorForm::Mode1;
  }
}

// The Q of a host's raw sector against the position the cue sheet gives it.
bool QMatches(const QFrame& f, const CueTrack& t, std::int64_t lba) {
  if (!f.crcOk || (f.q[0] & 0x0F) != 1) return false;
  return QPositionMatches(f, f.q[0], ToBcd(static_cast<std::uint8_t>(t.number)), t.index1, lba);
}

}  // namespace

void AddCdTextPack(Disc& disc, const CdTextPack& pack) {
  std::vector<std::uint8_t>& packs = disc.cdText;
  const std::size_t count = packs.size() / kCdTextPackSize;
  std::size_t at = count;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* p = packs.data() + i * kCdTextPackSize;
    if (std::equal(p, p + 3, pack.bytes.begin())) return;
    if (at == count && p[2] > pack.bytes[2]) at = i;
  }
  if (count >= kMaxCdTextPacks) return;
  packs.insert(packs.begin() + static_cast<std::ptrdiff_t>(at * kCdTextPackSize),
               pack.bytes.begin(), pack.bytes.end());
}

namespace {

// The track of the cue sheet gets its entry in the disc when the write reaches its pre-gap;
// the one before it is complete then.
Track& EnterTrack(Drive& d, const CueTrack& t) {
  Disc& disc = d.disc();
  if (!disc.tracks.empty() && disc.tracks.back().number == t.number) return disc.tracks.back();
  if (Track* open = disc.OpenTrack()) open->closed = true;
  if (disc.sessions.empty()) disc.sessions.push_back({1, false, d.write().SessionFormat(), 0});
  Track track;
  track.number = t.number;
  track.session = 1;
  track.start = t.index1;
  track.pregap = t.index1 - t.index0;
  track.form = FormOf(t);
  track.trackMode = static_cast<std::uint8_t>(t.controlAdr >> 4);  // the TOC's control, whole
  disc.tracks.push_back(track);
  return disc.tracks.back();
}

void DropCueSheet(Disc& disc) {
  disc.cueSheet.clear();
  disc.saoNext = 0;
}

// The laser stopped before the lead-out: what was written stays, the session is closed spoilt.
void SpoilSession(Drive& d) {
  Disc& disc = d.disc();
  if (Track* open = disc.OpenTrack()) {
    open->damaged = true;
    open->closed = true;
  }
  if (!disc.sessions.empty() && !disc.sessions.back().closed) {
    disc.sessions.back().closed = true;
    disc.sessions.back().leadOut = disc.tracks.back().End();
    disc.finalized = true;
  }
  DropCueSheet(disc);
  d.drain.StopStreaming();
  d.dirty = true;
}

}  // namespace

void HandleSendCueSheet(Drive& d, Exchange& x) {
  if (x.B(1) || x.B(2) || x.B(3) || x.B(4) || x.B(5) || x.B(9)) InvalidFieldInCdb();
  const std::size_t length = x.U24(6);
  Disc& disc = d.disc();
  if (!disc.IsCd() || disc.IsRom()) IncompatibleFormat();
  if (d.write().WriteType() != 2) CommandSequenceError();
  const auto bytes = x.Parameters(length);
  // One session at once on a blank disc.
  if (!disc.tracks.empty() || !disc.cueSheet.empty() || disc.finalized || disc.dao)
    CommandSequenceError();
  const auto sheet = SessionCueSheet::Parse(bytes);
  if (!sheet || sheet->leadOut > disc.capacity) InvalidFieldInParameters();
  disc.cueSheet.assign(bytes.begin(), bytes.end());
  disc.saoNext = sheet->WriteStart(disc.NextLeadIn());
  disc.cdText.clear();
  disc.qMismatches = 0;
  d.dirty = true;
}

void WriteSessionAtOnce(Drive& d, Exchange& x, std::int64_t lba, std::int64_t count) {
  Disc& disc = d.disc();
  if (disc.cueSheet.empty()) CommandSequenceError();
  const auto sheet = SessionCueSheet::Parse(disc.cueSheet);
  if (!sheet) CommandSequenceError();
  if (lba != disc.saoNext) InvalidAddressForWrite();
  if (lba + count > sheet->leadOut) LbaOutOfRange();
  std::size_t total = 0;
  for (std::int64_t i = 0; i < count; ++i) {
    const std::size_t size = sheet->BlockSize(lba + i);
    if (size == 0) InvalidAddressForWrite();
    total += size;
  }
  if (x.data.size() != total) IllegalModeForTrack();
  x.transferred = total;
  // Every block takes a sector's time on the disc, whatever the host sends for it.
  if (d.drain.Write(static_cast<std::uint64_t>(count) * kRawSectorSize, d.clock) ==
      DrainModel::Outcome::Underrun) {
    if (d.UnderrunProtected()) {
      d.drain.CountProtectedUnderrun();
    } else {
      SpoilSession(d);
      Fail(3, 0x0C, 0x09);
    }
  }
  if (d.TestWriting()) {
    disc.saoNext += count;
    d.dirty = true;
    return;
  }
  std::vector<std::uint8_t> raw;
  std::int64_t rawStart = -1;
  const std::uint8_t* p = x.data.data();
  for (std::int64_t i = 0; i < count; ++i) {
    const std::int64_t at = lba + i;
    const std::size_t size = sheet->BlockSize(at);
    if (at < -150) {  // the lead-in: R-W only, CD-Text when it carries packs
      if (!RwEmpty(p))
        for (const CdTextPack& pack : DecodeRw(p))
          if (pack.crcOk) AddCdTextPack(disc, pack);
      p += size;
      continue;
    }
    const CueTrack& cue = *sheet->TrackAt(at);
    Track& track = EnterTrack(d, cue);
    std::uint8_t sector[kRawSectorSize];
    switch (cue.form) {
      case 0x00:
        std::memcpy(sector, p, kRawSectorSize);
        break;
      case 0x10:
        EncodeMode1(at, p, sector);
        break;
      case 0x20:
        EncodeMode2Unit(at, p, sector);
        break;
      default:
        std::memcpy(sector, p, kRawSectorSize);
        const QFrame q = DecodeQ(p + kRawSectorSize, kRawPWBlockSize);
        if (IsDataSector(sector, q)) Scramble(sector);
        if (!QMatches(q, cue, at)) ++disc.qMismatches;
        if (at == cue.index1 && !cue.Audio() && (sector[15] & 0x03) == 2)
          track.form = SectorForm::Mode2;
        break;
    }
    if (at >= track.start) track.written = at + 1 - track.start;
    if (at >= 0) {
      if (rawStart < 0) rawStart = at;
      raw.insert(raw.end(), sector, sector + kRawSectorSize);
    }
    p += size;
  }
  if (rawStart >= 0) {
    const auto stored = d.clock.Now();
    d.store.WriteSectors(disc, rawStart, raw.data(), raw.size() / kRawSectorSize);
    d.drain.Hold(d.clock.Now() - stored);
  }
  disc.saoNext += count;
  d.dirty = true;
}

bool SynchronizeSessionAtOnce(Drive& d) {
  Disc& disc = d.disc();
  if (disc.cueSheet.empty()) return false;
  const auto sheet = SessionCueSheet::Parse(disc.cueSheet);
  if (d.TestWriting() || !sheet || disc.saoNext <= -150) {
    // Nothing of the program area written: the drive forgets the cue sheet.
    DropCueSheet(disc);
    d.dirty = true;
    return true;
  }
  if (disc.saoNext < sheet->leadOut) {
    SpoilSession(d);
    CommandSequenceError();
  }
  Track& last = disc.tracks.back();
  last.closed = true;
  Session& session = disc.sessions.back();
  session.closed = true;
  session.leadOut = sheet->leadOut;
  disc.finalized = d.write().MultiSession() != 3 || disc.NextTrackStart() >= disc.capacity;
  DropCueSheet(disc);
  d.dirty = true;
  return true;
}

}  // namespace platform::aspi::vr
