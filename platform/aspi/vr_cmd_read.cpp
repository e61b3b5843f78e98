// READ(10) of user data and READ CD of written sectors with the byte-9 field selections and
// subchannel the library's probes send.
#include <algorithm>
#include <cstring>

#include "platform/aspi/vr_commands.h"
#include "platform/aspi/vr_disc_reader.h"
#include "platform/aspi/vr_sector_coding.h"

namespace platform::aspi::vr {

namespace {

std::int64_t ReadableEnd(const Disc& disc) {
  if (disc.IsRom()) return disc.capacity;
  if (disc.IsRandom()) return disc.formatted ? disc.capacity : 0;
  return disc.RecordedEnd();
}

void CheckMediumErrors(Drive& d, std::int64_t lba, std::int64_t count) {
  auto it = d.faults.mediumErrors.lower_bound(lba);
  if (it != d.faults.mediumErrors.end() && *it < lba + count)
    throw SenseError{{3, 0x11, 0x05, static_cast<std::uint32_t>(*it)}};
}

struct Region {
  size_t offset, size;
};

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
  CheckMediumErrors(d, lba, count);
  DiscReader reader(disc, d.store);
  reader.UserBlocks(lba, x.data.data(), static_cast<size_t>(count));
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
  CheckMediumErrors(d, lba, count);

  DiscReader reader(disc, d.store);
  std::vector<std::uint8_t> out;
  std::uint8_t raw[kRawSectorSize];
  for (std::int64_t i = 0; i < count; ++i) {
    const std::int64_t at = lba + i;
    reader.Raw(at, raw);
    const bool mode2 = (raw[15] & 0x03) == 2;
    if (expected == 1 || expected == 3 || expected == 5 || (expected == 2 && mode2) ||
        (expected == 4 && !mode2))
      IllegalModeForTrack();
    // Fields in sector order; a selection must be one unbroken run of them.
    const Region sync{0, 12}, header{12, 4}, subheader{16, mode2 ? 8u : 0u},
        user{mode2 ? 24u : 16u, kUserSectorSize}, edc{mode2 ? 2072u : 2064u, mode2 ? 280u : 288u};
    const std::uint8_t codes = (b9 >> 5) & 0x03;
    const bool chosen[5] = {(b9 & 0x80) != 0, codes == 1 || codes == 3, codes == 2 || codes == 3,
                            (b9 & 0x10) != 0, (b9 & 0x08) != 0};
    const Region regions[5] = {sync, header, subheader, user, edc};
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
