// READ(10) of user data and READ CD of written sectors: the byte-9 field selections of every
// sector type (CD-DA, Mode 1, Mode 2 formless, Form 1 and Form 2), the expected sector type
// filter, subchannel, and the faults a test set for single sectors.
#include <algorithm>
#include <cstring>

#include "platform/aspi/recorder/coding/vr_sector_coding.h"
#include "platform/aspi/recorder/commands/vr_commands.h"
#include "platform/aspi/recorder/vr_disc_reader.h"

namespace platform::aspi::vr {

namespace {

std::int64_t ReadableEnd(const Disc& disc) {
  if (disc.IsRom()) return disc.capacity;
  if (disc.IsRandom()) return disc.formatted ? disc.capacity : 0;
  return disc.RecordedEnd();
}

void CheckMediumErrors(Drive& d, std::uint8_t opcode, std::int64_t lba, std::int64_t count) {
  auto it = d.faults.mediumErrors.lower_bound(lba);
  if (it != d.faults.mediumErrors.end() && *it < lba + count)
    throw SenseError{{3, 0x11, 0x05, static_cast<std::uint32_t>(*it)}};
  if (auto sense = d.faults.reads.Take(opcode, lba, count)) throw SenseError{*sense};
}

// Page 01h with DCR set: the drive hands out what it read without correcting it.
bool CorrectionDisabled(const Drive& d) {
  return d.state.settings.errorRecovery[2] & 0x01;
}

[[noreturn]] void UnrecoveredReadError(std::int64_t lba) {
  throw SenseError{{3, 0x11, 0x05, static_cast<std::uint32_t>(lba)}};
}

// The sector types of READ CD's expected sector type field (1-5); 0 accepts them all.
enum class SectorType : std::uint8_t { CdDa = 1, Mode1 = 2, Mode2 = 3, Form1 = 4, Form2 = 5 };

// Audio by its track; data by its header. A Mode 2 sector whose two subheader copies disagree
// carries no form: it is read as formless, 2336 bytes after its header.
SectorType TypeOf(const Disc& disc, std::int64_t lba, const std::uint8_t* raw) {
  if (FormAt(disc, lba) == SectorForm::Audio) return SectorType::CdDa;
  if ((raw[15] & 0x03) != 2) return SectorType::Mode1;
  if (std::memcmp(raw + 16, raw + 20, 4) != 0) return SectorType::Mode2;
  return (raw[18] & 0x20) ? SectorType::Form2 : SectorType::Form1;
}

struct Region {
  size_t offset, size;
};

// Sync, header, subheader, user data and EDC/ECC of a data sector of the type.
void RegionsOf(SectorType type, Region (&r)[5]) {
  r[0] = {0, 12};
  r[1] = {12, 4};
  switch (type) {
    case SectorType::Mode1:
      r[2] = {16, 0}, r[3] = {16, 2048}, r[4] = {2064, 288};
      break;
    case SectorType::Mode2:
      r[2] = {16, 0}, r[3] = {16, 2336}, r[4] = {2352, 0};
      break;
    case SectorType::Form1:
      r[2] = {16, 8}, r[3] = {24, 2048}, r[4] = {2072, 280};
      break;
    default:  // Form 2: its EDC is the last four bytes
      r[2] = {16, 8}, r[3] = {24, 2324}, r[4] = {2348, 4};
      break;
  }
}

}  // namespace

void HandleRead10(Drive& d, Exchange& x) {
  if (x.B(1) & 0xE7) InvalidFieldInCdb();  // DPO and FUA only
  const std::int64_t lba = static_cast<std::int32_t>(x.U32(2));
  const std::int64_t count = x.U16(7);
  if (count == 0) return;
  const Disc& disc = d.disc();
  if (lba < 0 || lba + count > ReadableEnd(disc)) LbaOutOfRange();
  x.RequireDirection(DataDirection::In, true);
  const size_t bytes = static_cast<size_t>(count) * kUserSectorSize;
  if (x.data.size() < bytes) {
    x.overrun = true;
    return;
  }
  CheckMediumErrors(d, 0x28, lba, count);
  const ReadFaults& faults = d.faults.reads;
  const bool raw = CorrectionDisabled(d);
  if (!raw)
    if (auto bad = faults.FirstUncorrectable(lba, count)) UnrecoveredReadError(*bad);
  DiscReader reader(disc, d.store);
  reader.UserBlocks(lba, x.data.data(), static_cast<size_t>(count));
  if (raw && faults.AnyDamage(lba, count)) {
    for (auto it = faults.damage.lower_bound(lba);
         it != faults.damage.end() && it->first < lba + count; ++it) {
      std::uint8_t* user = x.data.data() + static_cast<size_t>(it->first - lba) * kUserSectorSize;
      if (disc.IsCd()) {
        std::uint8_t sector[kRawSectorSize];
        reader.Raw(it->first, sector);
        faults.Damage(it->first, sector);
        std::memcpy(user, sector + ((sector[15] & 3) == 2 ? 24 : 16), kUserSectorSize);
      } else {
        ForEachDamagedByte(it->second, [&](size_t at) {
          if (at - 16 < kUserSectorSize) user[at - 16] ^= 0xA5;
        });
      }
    }
  }
  x.transferred = bytes;
}

void HandleReadCd(Drive& d, Exchange& x) {
  if (x.B(1) & 0xE3) InvalidFieldInCdb();
  const std::uint8_t expected = (x.B(1) >> 2) & 0x07;
  if (expected > 5) InvalidFieldInCdb();
  const std::uint8_t b9 = x.B(9), sub = x.B(10);
  if ((b9 & 0x01) || ((b9 >> 1) & 0x03) == 3) InvalidFieldInCdb();
  if (sub & 0xF8 || (sub != 0 && sub != 1 && sub != 2 && sub != 4)) InvalidFieldInCdb();
  const Disc& disc = d.disc();
  if (!disc.IsCd()) IllegalModeForTrack();
  const std::int64_t lba = static_cast<std::int32_t>(x.U32(2));
  const std::int64_t count = x.U24(6);
  if (count == 0) return;
  if (lba < 0 || lba + count > ReadableEnd(disc)) LbaOutOfRange();
  x.RequireDirection(DataDirection::In, true);
  CheckMediumErrors(d, 0xBE, lba, count);
  const ReadFaults& faults = d.faults.reads;
  // The EDC/ECC field is asked for by a host that checks the sectors itself: it gets them as
  // the medium holds them.
  const bool asStored = (b9 & 0x08) || CorrectionDisabled(d);

  DiscReader reader(disc, d.store);
  std::vector<std::uint8_t> out;
  std::uint8_t raw[kRawSectorSize];
  for (std::int64_t i = 0; i < count; ++i) {
    const std::int64_t at = lba + i;
    reader.Raw(at, raw);
    const SectorType type = TypeOf(disc, at, raw);
    if (expected != 0 && expected != static_cast<std::uint8_t>(type)) IllegalModeForTrack();
    if (faults.AnyDamage(at, 1)) {
      if (asStored)
        faults.Damage(at, raw);
      else if (faults.FirstUncorrectable(at, 1))
        UnrecoveredReadError(at);
    }
    if (type == SectorType::CdDa) {
      // Samples are the whole sector: only the user data field selects them.
      if (b9 & 0x10) out.insert(out.end(), raw, raw + kRawSectorSize);
    } else {
      // Fields in sector order; a selection must be one unbroken run of them.
      Region regions[5];
      RegionsOf(type, regions);
      const std::uint8_t codes = (b9 >> 5) & 0x03;
      const bool chosen[5] = {(b9 & 0x80) != 0, codes == 1 || codes == 3, codes == 2 || codes == 3,
                              (b9 & 0x10) != 0, (b9 & 0x08) != 0};
      int first = -1, last = -1;
      for (int r = 0; r < 5; ++r) {
        if (!chosen[r] || regions[r].size == 0) continue;
        if (first < 0) first = r;
        last = r;
      }
      for (int r = first; first >= 0 && r <= last; ++r)
        if (!chosen[r] && regions[r].size != 0) InvalidFieldInCdb();
      if (first >= 0) {
        const size_t from = regions[first].offset, to = regions[last].offset + regions[last].size;
        out.insert(out.end(), raw + from, raw + to);
      }
    }
    const std::uint8_t c2 = (b9 >> 1) & 0x03;
    if (c2) out.insert(out.end(), c2 == 1 ? 294 : 296, 0);  // no C2 errors
    if (sub) {
      const Track* t = disc.TrackAt(at);
      const Track* next = nullptr;
      for (const auto& tr : disc.tracks)
        if (tr.start > at) {
          next = &tr;
          break;
        }
      QPosition q;
      const bool pregap =
          !t && next && next->start - at <= std::max<std::int64_t>(150, next->pregap);
      if (pregap) {
        q.control = next->trackMode;
        q.track = static_cast<std::uint8_t>(next->number);
        q.index = 0;
        q.relative = next->start - at - 1;  // 00:00:00 at the last pause sector
      } else if (t) {
        q.control = t->trackMode;
        q.track = static_cast<std::uint8_t>(t->number);
        q.relative = at - t->start;
      }
      q.lba = at;
      std::uint8_t q12[12];
      FormatQ(q, q12);
      if (sub == 1) {
        std::uint8_t rawSub[kSubchannelSize];
        InterleaveSubchannel(pregap, q12, rawSub);
        out.insert(out.end(), rawSub, rawSub + kSubchannelSize);
      } else if (sub == 2) {
        out.insert(out.end(), q12, q12 + 12);
        out.insert(out.end(), {0, 0, 0, static_cast<std::uint8_t>(pregap ? 0x80 : 0)});
      } else {
        out.insert(out.end(), kSubchannelSize, 0);  // R-W: no CD-Text or graphics
      }
    }
  }
  if (out.empty()) return;
  if (x.data.size() < out.size()) {
    x.overrun = true;
    return;
  }
  std::memcpy(x.data.data(), out.data(), out.size());
  x.transferred = out.size();
}

}  // namespace platform::aspi::vr
