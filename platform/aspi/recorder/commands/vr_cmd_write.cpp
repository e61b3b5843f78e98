// WRITE(10) at the next writable address (anywhere on random-writable media), RESERVE TRACK,
// SYNCHRONIZE CACHE and CLOSE TRACK/SESSION.
#include <vector>

#include "platform/aspi/recorder/coding/vr_sector_coding.h"
#include "platform/aspi/recorder/commands/vr_commands.h"

namespace platform::aspi::vr {

namespace {

bool SequentialDvd(Media m) {
  return m == Media::DvdR || m == Media::DvdRwSequential;
}

// A reserved track is closed with the rest of its reservation left empty, as a drive pads it.
void CloseTrack(Track& t) {
  if (t.reserved) t.written = t.reserved;
  t.closed = true;
}

void CloseSession(Disc& disc, bool appendable) {
  if (Track* open = disc.OpenTrack()) CloseTrack(*open);
  if (disc.sessions.empty() || disc.sessions.back().closed) return;
  Session& s = disc.sessions.back();
  s.closed = true;
  s.leadOut = disc.tracks.back().End();
  disc.finalized = !appendable || disc.NextTrackStart() >= disc.capacity;
}

void WriteRandom(Drive& d, Exchange& x, std::int64_t lba, std::int64_t count) {
  Disc& disc = d.disc();
  if (!disc.formatted) IncompatibleFormat();
  if (lba < 0 || lba + count > disc.capacity) LbaOutOfRange();
  if (d.drain.Write(x.data.size(), d.clock) == DrainModel::Outcome::Underrun)
    d.drain.CountProtectedUnderrun();  // random-writable media resume where they stopped
  const auto stored = d.clock.Now();
  d.store.WriteSectors(disc, lba, x.data.data(), static_cast<std::size_t>(count));
  d.drain.Hold(d.clock.Now() - stored);
  disc.highWater = std::max(disc.highWater, lba + count);
  d.dirty = true;
}

}  // namespace

void HandleWrite10(Drive& d, Exchange& x) {
  if (x.B(1) & 0xE7) InvalidFieldInCdb();  // DPO and FUA only
  const std::int64_t lba = static_cast<std::int32_t>(x.U32(2));
  const std::int64_t count = x.U16(7);
  Disc& disc = d.disc();
  if (disc.IsRom()) IncompatibleFormat();
  const WriteParameters& w = d.write();
  try {
    ValidateWriteParameters(w, disc.media);
  } catch (const SenseError&) {
    IllegalModeForTrack();  // the page was set for another medium
  }
  if (count == 0) return;
  x.RequireDirection(DataDirection::Out, true);
  if (disc.IsCd() && w.WriteType() == 2) return WriteSessionAtOnce(d, x, lba, count);
  if (disc.IsCd() && w.WriteType() == 3) return WriteDiscAtOnce(d, x, lba, count);
  if (!disc.cueSheet.empty() || disc.dao) CommandSequenceError();
  const std::size_t blockSize = w.BlockSize(disc.media);
  if (blockSize == 0 || x.data.size() != static_cast<std::size_t>(count) * blockSize)
    IllegalModeForTrack();
  x.transferred = x.data.size();
  if (disc.IsRandom()) return WriteRandom(d, x, lba, count);

  const auto wt = disc.Writable();
  if (!wt) InvalidAddressForWrite();
  const bool test = d.TestWriting();
  if (test) {
    if (d.testNext < 0) d.testNext = wt->nextWritable;
    if (lba != d.testNext) InvalidAddressForWrite();
    if (count > wt->freeBlocks) LbaOutOfRange();
    d.drain.Write(x.data.size(), d.clock);
    d.testNext += count;
    return;
  }
  if (SequentialDvd(disc.media) && !wt->reserved) CommandSequenceError();  // disc-at-once
  if (lba != wt->nextWritable) InvalidAddressForWrite();
  if (count > wt->freeBlocks) LbaOutOfRange();
  const SectorForm form = w.BlockType() == 10   ? SectorForm::Mode2Form1
                          : w.BlockType() == 13 ? SectorForm::Mode2
                          : w.BlockType() == 0  ? SectorForm::Audio
                                                : SectorForm::Mode1;
  if (wt->exists && disc.IsCd() && disc.tracks.back().form != form) IllegalModeForTrack();

  if (d.drain.Write(x.data.size(), d.clock) == DrainModel::Outcome::Underrun) {
    if (d.UnderrunProtected()) {
      d.drain.CountProtectedUnderrun();
    } else if (Track* open = disc.OpenTrack()) {
      // The laser ran out of data: the track ends where it stopped, spoilt.
      open->damaged = true;
      CloseTrack(*open);
      d.drain.StopStreaming();
      d.dirty = true;
      Fail(3, 0x0C, 0x09);
    }
  }
  if (!wt->exists) {
    if (disc.sessions.empty() || disc.sessions.back().closed)
      disc.sessions.push_back(
          {wt->session, false, disc.IsCd() ? w.SessionFormat() : std::uint8_t{0}, 0});
    Track t;
    t.number = wt->number;
    t.session = wt->session;
    t.start = wt->start;
    t.form = disc.IsCd() ? form : SectorForm::Mode1;
    t.trackMode = disc.IsCd() ? w.TrackMode() : 5;
    // A CD track's 150-block pre-gap is burnt in the track's own form, as a drive writes it
    // before the track's first block.
    t.pregap = disc.IsCd() ? 150 : 0;
    disc.tracks.push_back(t);
  }
  if (disc.IsCd() && form == SectorForm::Audio) {
    // Audio samples are the raw sectors themselves.
    const auto stored = d.clock.Now();
    d.store.WriteSectors(disc, lba, x.data.data(), static_cast<std::size_t>(count));
    d.drain.Hold(d.clock.Now() - stored);
  } else if (disc.IsCd()) {
    // Cooked data is stored as the raw sectors the drive would burn.
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(count) * kRawSectorSize);
    for (std::int64_t i = 0; i < count; ++i) {
      const std::uint8_t* user = x.data.data() + i * blockSize;
      std::uint8_t* sector = raw.data() + i * kRawSectorSize;
      if (form == SectorForm::Mode2)
        EncodeMode2Form2(lba + i, user, sector);
      else if (form == SectorForm::Mode2Form1)
        EncodeMode2Form1(lba + i, w.Subheader(), user, sector);
      else
        EncodeMode1(lba + i, user, sector);
    }
    const auto stored = d.clock.Now();
    d.store.WriteSectors(disc, lba, raw.data(), static_cast<std::size_t>(count));
    d.drain.Hold(d.clock.Now() - stored);
  } else {
    const auto stored = d.clock.Now();
    d.store.WriteSectors(disc, lba, x.data.data(), static_cast<std::size_t>(count));
    d.drain.Hold(d.clock.Now() - stored);
  }
  disc.tracks.back().written += count;
  d.dirty = true;
}

void HandleReserveTrack(Drive& d, Exchange& x) {
  if (x.B(1) || x.B(2) || x.B(3) || x.B(4)) InvalidFieldInCdb();  // reservation by size only
  const std::int64_t size = x.U32(5);
  Disc& disc = d.disc();
  if (disc.IsRom()) IncompatibleFormat();
  // Restricted overwrite takes the DVD-R sequence as it is: the reservation has no meaning.
  if (disc.media == Media::DvdRwRestricted) return;
  if (!SequentialDvd(disc.media)) CommandSequenceError();
  if (size == 0) InvalidFieldInCdb();
  if (d.TestWriting()) return;
  if (!disc.tracks.empty()) CommandSequenceError();  // one reserved track per disc
  const std::int64_t rounded = (size + kEccBlock - 1) / kEccBlock * kEccBlock;
  if (rounded > disc.capacity) InvalidFieldInCdb();
  disc.sessions.push_back({1, false, 0, 0});
  Track t;
  t.reserved = rounded;
  t.trackMode = 4;
  disc.tracks.push_back(t);
  d.dirty = true;
}

void HandleSynchronizeCache(Drive& d, Exchange& x) {
  if (x.B(1) & 0xF9) InvalidFieldInCdb();  // Immed (bit 1) and SYNC_NV
  const bool immed = x.B(1) & 0x02;
  d.Immed(immed);
  d.drain.Flush(immed, d.clock);
  d.testNext = -1;
  if (SynchronizeSessionAtOnce(d) || SynchronizeDiscAtOnce(d)) return;
  Disc& disc = d.disc();
  Track* open = disc.OpenTrack();
  if (!open || open->written == 0 || disc.IsRandom()) return;
  if (disc.IsCd()) {
    CloseTrack(*open);  // track-at-once: the drive writes the run-out and closes the track
    d.dirty = true;
  } else if (SequentialDvd(disc.media)) {
    CloseSession(disc, false);  // disc-at-once completes the disc without a close command
    d.dirty = true;
  }
}

void HandleCloseTrackSession(Drive& d, Exchange& x) {
  if (x.B(1) & 0xFE || x.B(2) & 0xF8 || x.B(3)) InvalidFieldInCdb();
  d.Immed(x.B(1) & 0x01);
  const std::uint8_t function = x.B(2) & 0x07;
  const int number = x.U16(4);
  Disc& disc = d.disc();
  if (disc.IsRom()) IncompatibleFormat();
  const bool plusR = disc.media == Media::DvdPlusR;
  if (function != 1 && function != 2 && !(function == 5 && plusR)) InvalidFieldInCdb();
  if (disc.IsRandom() || d.TestWriting()) {
    d.testNext = -1;
    if (function == 5) InvalidFieldInCdb();
    return;  // nothing to close on random-writable media or after a simulated write
  }
  switch (function) {
    case 1: {
      Track* open = disc.OpenTrack();
      if (!open) {
        if (!disc.TrackNumber(number)) InvalidFieldInCdb();
        return;  // already closed
      }
      if (number != open->number) InvalidFieldInCdb();
      CloseTrack(*open);
      break;
    }
    case 2:
      CloseSession(disc, plusR || (!SequentialDvd(disc.media) && d.write().MultiSession() == 3));
      break;
    default:
      CloseSession(disc, false);  // DVD+R: finalize
      break;
  }
  d.dirty = true;
}

}  // namespace platform::aspi::vr
