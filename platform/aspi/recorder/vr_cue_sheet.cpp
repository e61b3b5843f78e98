#include "platform/aspi/recorder/vr_cue_sheet.h"

namespace platform::aspi::vr {

namespace {

struct Entry {
  std::uint8_t controlAdr, tno, index, form, scms, minute, second, frame;
};

std::optional<std::int64_t> TimeOf(const Entry& e) {
  if (e.second >= 60 || e.frame >= 75 || e.minute >= 100) return std::nullopt;
  return (std::int64_t{e.minute} * 60 + e.second) * 75 + e.frame - 150;
}

bool TrackForm(std::uint8_t f) {
  return f == 0x00 || f == 0x10 || f == 0x20 || f == 0x40;
}

}  // namespace

std::optional<SessionCueSheet> SessionCueSheet::Parse(std::span<const std::uint8_t> bytes) {
  if (bytes.size() % 8 != 0 || bytes.size() < 32) return std::nullopt;
  std::vector<Entry> entries;
  for (std::size_t at = 0; at < bytes.size(); at += 8)
    entries.push_back({bytes[at], bytes[at + 1], bytes[at + 2], bytes[at + 3], bytes[at + 4],
                       bytes[at + 5], bytes[at + 6], bytes[at + 7]});
  // Lead-in, INDEX 0 (a pause; every track but the first may go without) and INDEX 1 of each
  // track, lead-out.
  if (entries.size() > 2 + 2 * 99) return std::nullopt;
  SessionCueSheet sheet;
  const Entry& in = entries.front();
  if ((in.controlAdr & 0x0F) != 1 || in.tno != 0 || in.index != 0 || in.scms != 0)
    return std::nullopt;
  if (in.form != 0x01 && in.form != 0x14 && in.form != 0x24 && in.form != 0x41) return std::nullopt;
  if (TimeOf(in) != -150) return std::nullopt;
  sheet.leadInForm = in.form;
  std::int64_t previous = -151;
  std::size_t i = 1;
  for (int number = 1; i + 1 < entries.size(); ++number) {
    const Entry* zero = entries[i].index == 0 ? &entries[i++] : nullptr;
    if (i + 1 >= entries.size() || (!zero && number == 1) || number > 99) return std::nullopt;
    const Entry& one = entries[i++];
    const Entry& first = zero ? *zero : one;
    for (const Entry* e : {&first, &one}) {
      if (e->tno != number || e->scms != 0 || (e->controlAdr & 0x0F) != 1) return std::nullopt;
      if (e->controlAdr != first.controlAdr || e->form != first.form || !TrackForm(e->form))
        return std::nullopt;
    }
    if (one.index != 1) return std::nullopt;
    // Cooked data goes in data tracks, samples in audio tracks; raw sectors in either.
    const bool audio = (first.controlAdr & 0x40) == 0;
    if ((first.form == 0x00 && !audio) || ((first.form == 0x10 || first.form == 0x20) && audio))
      return std::nullopt;
    const auto t1 = TimeOf(one);
    const auto t0 = zero ? TimeOf(*zero) : t1;
    if (!t0 || !t1 || *t0 <= previous || *t1 < *t0 || (zero && *t1 == *t0)) return std::nullopt;
    if (number == 1 && *t0 != -150) return std::nullopt;
    sheet.tracks.push_back({number, first.controlAdr, first.form, *t0, *t1});
    previous = *t1;
  }
  if (sheet.tracks.empty()) return std::nullopt;
  const Entry& out = entries.back();
  if (out.tno != 0xAA || out.index != 1 || out.scms != 0 ||
      out.controlAdr != entries[entries.size() - 2].controlAdr)
    return std::nullopt;
  if (out.form != 0x01 && out.form != 0x14 && out.form != 0x24) return std::nullopt;
  const auto leadOut = TimeOf(out);
  if (!leadOut || *leadOut <= previous) return std::nullopt;
  sheet.leadOut = *leadOut;
  sheet.leadOutForm = out.form;
  return sheet;
}

std::size_t SessionCueSheet::BlockSize(std::int64_t lba) const {
  if (lba < -150) return leadInForm == 0x41 ? 96 : 0;
  const CueTrack* t = TrackAt(lba);
  if (!t) return 0;
  switch (t->form) {
    case 0x00:
      return 2352;
    case 0x10:
      return 2048;
    case 0x20:
      return 2336;
    default:
      return 2448;
  }
}

const CueTrack* SessionCueSheet::TrackAt(std::int64_t lba) const {
  if (lba >= leadOut) return nullptr;
  const CueTrack* found = nullptr;
  for (const CueTrack& t : tracks)
    if (t.index0 <= lba) found = &t;
  return found;
}

}  // namespace platform::aspi::vr
