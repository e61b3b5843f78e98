// Disc-at-once on CD media (write type 3, raw sectors with PQ or raw P-W subchannel): WRITE(10)
// in order from the lead-in start the drive reports to the end of the lead-out. The lead-in's
// Q frames are the disc's TOC and its R-W the CD-Text; program-area and lead-out Q are checked
// against that TOC. SYNCHRONIZE CACHE after the lead-out closes the disc; a write that stops
// before, or a lead-in without a usable TOC, leaves the disc damaged.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/aspi/recorder/coding/vr_lead_in_toc.h"
#include "platform/aspi/recorder/coding/vr_sector_coding.h"
#include "platform/aspi/recorder/coding/vr_subchannel.h"
#include "platform/aspi/recorder/commands/vr_commands.h"

namespace platform::aspi::vr {

namespace {

bool IsData(const TocTrack& t) {
  return (t.control & 0x04) != 0;
}

// The track after the one that holds the LBA, when the Q the host sent for it is that track's
// pause: INDEX 0, counting down to its start. A drive writes the Q it is given, so the disc
// has the pause.
const TocTrack* PauseOf(const QFrame& f, const DecodedToc& toc, std::int64_t lba) {
  if (!f.crcOk || f.q[2] != 0 || lba < 0) return nullptr;
  for (const TocTrack& t : toc.tracks)
    if (t.start > lba)
      return QPositionMatches(f, static_cast<std::uint8_t>(t.control << 4 | 1),
                              ToBcd(static_cast<std::uint8_t>(t.number)), t.start, lba)
                 ? &t
                 : nullptr;
  return nullptr;
}

// The Q a sector at the LBA must carry: INDEX 0 counting down before track 1 (and in the pause
// of a later track), INDEX 1 counting up from a track's start, TNO AAh in the lead-out.
bool QMatches(const QFrame& f, const DecodedToc& toc, std::int64_t lba) {
  if (!f.crcOk) return false;
  if (PauseOf(f, toc, lba)) return true;
  const TocTrack* track = &toc.tracks.front();
  for (const TocTrack& t : toc.tracks)
    if (t.start <= lba) track = &t;
  const bool leadOut = lba >= toc.leadOut;
  const std::uint8_t control = toc.tracks.back().control;
  return QPositionMatches(
      f, static_cast<std::uint8_t>((leadOut ? control : track->control) << 4 | 1),
      leadOut ? std::uint8_t{0xAA} : ToBcd(static_cast<std::uint8_t>(track->number)),
      leadOut ? toc.leadOut : track->start, lba);
}

void ForgetDiscAtOnce(Disc& disc) {
  disc.dao = false;
  disc.daoLeadIn = 0;
  disc.daoNext = 0;
  disc.toc.clear();
  disc.tocContradicts = false;
}

// A track of the TOC enters the disc's list when the write reaches it (track 1 with its
// pre-gap from -150, a later one with the pause the Q gave it); the one before it is complete
// then.
Track& EnterTrack(Disc& disc, const DecodedToc& toc, const TocTrack& t) {
  if (!disc.tracks.empty() && disc.tracks.back().number == t.number) return disc.tracks.back();
  if (Track* open = disc.OpenTrack()) open->closed = true;
  if (disc.sessions.empty()) disc.sessions.push_back({1, false, toc.discType, 0});
  Track track;
  track.number = t.number;
  track.start = t.start;
  track.pregap = t.number == 1 || disc.tracks.empty() ? 150 : t.start - disc.tracks.back().End();
  track.form = IsData(t) ? SectorForm::Mode1 : SectorForm::Audio;
  track.trackMode = t.control;
  disc.tracks.push_back(track);
  return disc.tracks.back();
}

}  // namespace

void SpoilDiscAtOnce(Drive& d) {
  Disc& disc = d.disc();
  if (!disc.dao) return;
  if (d.TestWriting()) {
    ForgetDiscAtOnce(disc);
    d.dirty = true;
    return;
  }
  // The laser stopped: what was burnt stays, in a closed session nothing can be added to.
  if (disc.tracks.empty()) {
    Track t;
    t.trackMode = 4;
    disc.tracks.push_back(t);
  }
  if (disc.sessions.empty()) disc.sessions.push_back({1, false, 0, 0});
  if (Track* open = disc.OpenTrack()) {
    open->damaged = true;
    open->closed = true;
  }
  disc.sessions.back().closed = true;
  disc.sessions.back().leadOut = disc.tracks.back().End();
  disc.finalized = true;
  ForgetDiscAtOnce(disc);
  d.drain.StopStreaming();
  d.dirty = true;
}

void WriteDiscAtOnce(Drive& d, Exchange& x, std::int64_t lba, std::int64_t count) {
  Disc& disc = d.disc();
  const std::size_t blockSize = d.write().BlockSize(disc.media);
  if (blockSize != kRawSectorSize + kPQBlockSize && blockSize != kRawSectorSize + kRawPWBlockSize)
    IllegalModeForTrack();
  if (x.data.size() != static_cast<std::size_t>(count) * blockSize) IllegalModeForTrack();
  if (!disc.cueSheet.empty()) CommandSequenceError();
  if (!disc.dao) {
    // The whole disc at once: a blank one, from the lead-in start it reports.
    if (disc.Status() != DiscStatus::Empty || disc.finalized) CommandSequenceError();
    if (lba != disc.NextLeadIn()) InvalidAddressForWrite();
    ForgetDiscAtOnce(disc);
    disc.dao = true;
    disc.daoLeadIn = lba;
    disc.daoNext = lba;
    disc.cdText.clear();
    disc.qMismatches = 0;
  }
  if (lba != disc.daoNext) InvalidAddressForWrite();
  std::optional<DecodedToc> toc;
  if (lba >= -150 && !disc.tocContradicts) toc = DecodeToc(disc.toc, disc.capacity);
  if (toc && lba + count > toc->leadOut + kCdFirstLeadOut) LbaOutOfRange();
  x.transferred = x.data.size();
  if (d.drain.Write(static_cast<std::uint64_t>(count) * kRawSectorSize, d.clock) ==
      DrainModel::Outcome::Underrun) {
    if (d.UnderrunProtected()) {
      d.drain.CountProtectedUnderrun();
    } else {
      SpoilDiscAtOnce(d);
      Fail(3, 0x0C, 0x09);
    }
  }
  const bool test = d.TestWriting();
  const std::size_t unit = blockSize - kRawSectorSize;
  std::vector<std::uint8_t> raw;
  std::int64_t rawStart = -1;
  auto store = [&] {
    if (rawStart < 0) return;
    const auto stored = d.clock.Now();
    d.store.WriteSectors(disc, rawStart, raw.data(), raw.size() / kRawSectorSize);
    d.drain.Hold(d.clock.Now() - stored);
  };
  for (std::int64_t i = 0; i < count; ++i) {
    const std::int64_t at = lba + i;
    const std::uint8_t* p = x.data.data() + static_cast<std::size_t>(i) * blockSize;
    const std::uint8_t* sub = p + kRawSectorSize;
    if (at < -150) {  // the lead-in: its Q is the TOC, its R-W the CD-Text
      if (AddTocFrame(disc.toc, DecodeQ(sub, unit)) == TocFrame::Contradicts)
        disc.tocContradicts = true;
      if (unit == kRawPWBlockSize && !RwEmpty(sub))
        for (const CdTextPack& pack : DecodeRw(sub))
          if (pack.crcOk) AddCdTextPack(disc, pack);
      continue;
    }
    if (!toc) {
      toc = DecodeToc(disc.toc, disc.capacity);
      if (!toc || disc.tocContradicts) {
        store();
        disc.daoNext = at;
        SpoilDiscAtOnce(d);
        Fail(3, 0x0C, 0x00);  // the lead-in burnt holds no TOC a reader could use
      }
    }
    const QFrame q = DecodeQ(sub, unit);
    if (!QMatches(q, *toc, at)) ++disc.qMismatches;
    if (at >= toc->leadOut || test) continue;
    const TocTrack* cue = &toc->tracks.front();
    for (const TocTrack& t : toc->tracks)
      if (t.start <= at) cue = &t;
    Track& track = EnterTrack(disc, *toc, *cue);
    // A pause's sectors are of the track they lead to, and no part of the one before.
    const TocTrack* pause = PauseOf(q, *toc, at);
    const TocTrack& kind = pause ? *pause : *cue;
    std::uint8_t sector[kRawSectorSize];
    std::memcpy(sector, p, kRawSectorSize);
    // The host sends data scrambled: a sector is data by the control of its Q (an audio pause
    // after a data track is not, a data sector with a damaged sync is), by its track's kind
    // where that Q does not read.
    if (q.crcOk ? (q.q[0] & 0x40) != 0 : IsData(kind)) Scramble(sector);
    if (at == track.start && IsData(*cue) && (sector[15] & 0x03) == 2)
      track.form = SectorForm::Mode2;
    if (at >= track.start && !pause) track.written = at + 1 - track.start;
    if (at >= 0) {
      if (rawStart < 0) rawStart = at;
      raw.insert(raw.end(), sector, sector + kRawSectorSize);
    }
  }
  store();
  disc.daoNext += count;
  d.dirty = true;
}

bool SynchronizeDiscAtOnce(Drive& d) {
  Disc& disc = d.disc();
  if (!disc.dao) return false;
  const auto toc = DecodeToc(disc.toc, disc.capacity);
  if (d.TestWriting()) {
    ForgetDiscAtOnce(disc);
    d.dirty = true;
    return true;
  }
  if (!toc || disc.tocContradicts || disc.daoNext < toc->leadOut + kCdFirstLeadOut ||
      disc.tracks.empty()) {
    SpoilDiscAtOnce(d);
    CommandSequenceError();
  }
  disc.tracks.back().closed = true;
  Session& session = disc.sessions.back();
  session.closed = true;
  session.leadOut = toc->leadOut;
  disc.finalized = true;  // the host's lead-in points to no further session
  ForgetDiscAtOnce(disc);
  d.dirty = true;
  return true;
}

}  // namespace platform::aspi::vr
