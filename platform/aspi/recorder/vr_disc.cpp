#include "platform/aspi/recorder/vr_disc.h"

#include <algorithm>
#include <charconv>
#include <sstream>

#include "platform/aspi/recorder/vr_cue_sheet.h"

namespace platform::aspi::vr {

namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  for (std::uint8_t b : bytes) {
    s += kDigits[b >> 4];
    s += kDigits[b & 15];
  }
  return s;
}

bool Unhex(const std::string& s, std::vector<std::uint8_t>& out, std::size_t limit) {
  if (s.empty() || s.size() % 2 || s.size() / 2 > limit) return false;
  out.clear();
  for (std::size_t i = 0; i < s.size(); i += 2) {
    unsigned v = 0;
    const auto r = std::from_chars(s.data() + i, s.data() + i + 2, v, 16);
    if (r.ec != std::errc() || r.ptr != s.data() + i + 2) return false;
    out.push_back(static_cast<std::uint8_t>(v));
  }
  return true;
}

constexpr std::size_t kMaxCueSheet = 8 * 200;
constexpr std::size_t kMaxCdText = 8 * 256 * 18;
constexpr std::size_t kMaxTocPoints = 99 + 3;

std::int64_t RoundUp(std::int64_t v, std::int64_t unit) {
  return (v + unit - 1) / unit * unit;
}

}  // namespace

Disc Disc::Blank(Media media, std::uint32_t serial) {
  Disc d;
  d.media = media;
  d.serial = serial;
  d.capacity = Traits(media).capacity;
  d.formatted = media == Media::DvdRwRestricted;  // what a quick format leaves
  return d;
}

DiscStatus Disc::Status() const {
  if (IsRom()) return DiscStatus::Complete;
  if (media == Media::DvdRam) return DiscStatus::Other;
  if (IsRandom()) return formatted ? DiscStatus::Complete : DiscStatus::Empty;
  if (tracks.empty()) return DiscStatus::Empty;
  return finalized ? DiscStatus::Complete : DiscStatus::Incomplete;
}

std::uint8_t Disc::LastSessionState() const {
  if (IsRom() || IsRandom()) return (IsRom() || formatted) ? 3 : 0;
  if (tracks.empty()) return 0;
  if (finalized) return 3;
  return sessions.back().closed ? 0 : 1;
}

int Disc::SessionCount() const {
  if (sessions.empty()) return 1;
  const bool emptyNext = !IsRom() && !IsRandom() && !finalized && sessions.back().closed;
  return static_cast<int>(sessions.size()) + (emptyNext ? 1 : 0);
}

int Disc::FirstTrackOfLastSession() const {
  if (tracks.empty() || (!IsRandom() && !IsRom() && !finalized && sessions.back().closed))
    return static_cast<int>(tracks.size()) + 1;
  const int last = sessions.back().number;
  for (const auto& t : tracks)
    if (t.session == last) return t.number;
  return static_cast<int>(tracks.size()) + 1;
}

int Disc::LastTrackOfLastSession() const {
  auto w = Writable();
  if (w && !w->exists) return w->number;
  return tracks.empty() ? 1 : tracks.back().number;
}

std::int64_t Disc::NextTrackStart() const {
  if (tracks.empty()) return 0;
  const Session& s = sessions.back();
  if (s.closed) {
    if (IsCd()) {
      const std::int64_t leadOut = sessions.size() == 1 ? kCdFirstLeadOut : kCdLaterLeadOut;
      return s.leadOut + leadOut + kCdLeadIn + 150;
    }
    return RoundUp(s.leadOut, kEccBlock) + kDvdPlusSessionGap;
  }
  const Track& last = tracks.back();
  return IsCd() ? last.End() + kCdTrackGap : RoundUp(last.End(), kEccBlock);
}

std::optional<WritableTrack> Disc::Writable() const {
  if (IsRom() || IsRandom() || finalized) return std::nullopt;
  if (!tracks.empty() && !tracks.back().closed) {
    const Track& t = tracks.back();
    const std::int64_t nwa = t.start + t.written;
    const std::int64_t free = t.reserved ? t.reserved - t.written : capacity - nwa;
    return WritableTrack{
        t.number,       t.session,      t.start, nwa, std::max<std::int64_t>(free, 0),
        t.written == 0, t.reserved > 0, true};
  }
  const std::int64_t start = NextTrackStart();
  if (start >= capacity) return std::nullopt;
  const int session = (sessions.empty() || sessions.back().closed)
                          ? static_cast<int>(sessions.size()) + 1
                          : sessions.back().number;
  return WritableTrack{static_cast<int>(tracks.size()) + 1,
                       session,
                       start,
                       start,
                       capacity - start,
                       true,
                       false,
                       false};
}

std::int64_t Disc::NextLeadIn() const {
  if (sessions.empty()) return -11634;  // 97:26:66, the lead-in of a blank 80-minute disc
  const Session& s = sessions.back();
  if (!s.closed) return s.leadOut;  // not known before the session closes
  const std::int64_t leadOut = sessions.size() == 1 ? kCdFirstLeadOut : kCdLaterLeadOut;
  return s.leadOut + leadOut;
}

std::int64_t Disc::RecordedEnd() const {
  if (IsRandom()) return highWater;
  std::int64_t end = 0;
  for (const auto& t : tracks) end = std::max(end, t.start + t.written);
  return end;
}

const Track* Disc::TrackAt(std::int64_t lba) const {
  for (const auto& t : tracks)
    if (lba >= t.start && lba < t.End()) return &t;
  return nullptr;
}

const Track* Disc::TrackNumber(int number) const {
  for (const auto& t : tracks)
    if (t.number == number) return &t;
  return nullptr;
}

Track* Disc::OpenTrack() {
  if (tracks.empty() || tracks.back().closed) return nullptr;
  return &tracks.back();
}

namespace {

// The state text is rewritten after every command that changes the disc: built by appending,
// without a stream.
class StateText {
 public:
  StateText& operator<<(std::string_view text) {
    out_ += text;
    return *this;
  }
  // Literals here, not in the bool overload below.
  StateText& operator<<(const char* text) { return *this << std::string_view(text); }
  StateText& operator<<(char c) {
    out_ += c;
    return *this;
  }
  StateText& operator<<(bool b) { return *this << (b ? '1' : '0'); }
  StateText& operator<<(std::int64_t v) {
    char buf[24];
    out_.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
    return *this;
  }
  StateText& operator<<(int v) { return *this << std::int64_t{v}; }
  StateText& operator<<(std::uint32_t v) { return *this << std::int64_t{v}; }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
};

}  // namespace

std::string Disc::Serialize() const {
  StateText out;
  out << "media " << traits().name << "\nserial " << serial << "\nformatted " << formatted
      << "\nfinalized " << finalized << "\nhighWater " << highWater << "\ncapacity " << capacity
      << "\npressed " << static_cast<int>(pressed) << "\n";
  for (const auto& s : sessions)
    out << "session " << s.number << ' ' << s.closed << ' ' << int{s.format} << ' ' << s.leadOut
        << "\n";
  for (const auto& t : tracks) {
    out << "track " << t.number << ' ' << t.session << ' ' << t.start << ' ' << t.written << ' '
        << t.reserved << ' ' << t.closed << ' ' << t.damaged << ' ' << static_cast<int>(t.form)
        << ' ' << int{t.trackMode};
    if (t.pregap) out << ' ' << t.pregap;
    out << "\n";
  }
  if (!cueSheet.empty()) out << "cue " << Hex(cueSheet) << "\nsao " << saoNext << "\n";
  if (qMismatches) out << "qmismatches " << qMismatches << "\n";
  if (!cdText.empty()) out << "cdtext " << Hex(cdText) << "\n";
  if (dao) out << "dao " << daoLeadIn << ' ' << daoNext << ' ' << tocContradicts << "\n";
  if (!toc.empty()) {
    std::vector<std::uint8_t> points;
    for (const TocPoint& p : toc)
      points.insert(points.end(), {p.point, p.control, p.minute, p.second, p.frame});
    out << "toc " << Hex(points) << "\n";
  }
  if (!fixture.empty()) out << "fixture " << fixture << "\n";
  out << "end\n";
  return out.Take();
}

std::string Disc::Check() const {
  const MediaTraits& m = traits();
  if (serial == 0 || serial > kMaxSerial) return "serial out of range";
  if (pressed != PressedImage::None) {
    if (!m.rom || fixture.empty()) return "pressed disc without its image";
  } else if (capacity > m.capacity) {
    return "capacity beyond the medium's";
  }
  if (highWater > capacity) return "written area beyond the capacity";
  if (formatted && !m.random && media != Media::DvdRwRestricted) return "formatted write-once disc";
  if (sessions.size() > 99 || tracks.size() > 99) return "more than 99 sessions or tracks";
  for (std::size_t i = 0; i < sessions.size(); ++i) {
    const Session& s = sessions[i];
    if (s.number != static_cast<int>(i) + 1) return "sessions out of order";
    if (!s.closed && i + 1 != sessions.size()) return "open session before the last";
  }
  if (tracks.empty() != sessions.empty()) return "sessions and tracks disagree";
  std::int64_t end = 0;
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    const Track& t = tracks[i];
    if (t.number != static_cast<int>(i) + 1) return "tracks out of order";
    if (t.session < 1 || t.session > static_cast<int>(sessions.size()))
      return "track outside the sessions";
    if (i > 0 && t.session < tracks[i - 1].session) return "tracks out of session order";
    if (t.session > (i > 0 ? tracks[i - 1].session : 0) + 1) return "session without a track";
    if (t.pregap < 0 || (t.pregap && !m.cd)) return "pre-gap out of place";
    // The first track's pre-gap starts at -150, before the first user block.
    if (t.start - t.pregap < (i == 0 ? -150 : end)) return "tracks overlap";
    if (t.reserved && t.written > t.reserved) return "track written beyond its reservation";
    if (t.End() > capacity) return "track beyond the capacity";
    if (!t.closed && i + 1 != tracks.size()) return "open track before the last";
    if (!t.closed && sessions[static_cast<std::size_t>(t.session) - 1].closed)
      return "open track in a closed session";
    end = t.End();
  }
  if (!tracks.empty() && tracks.back().session != static_cast<int>(sessions.size()))
    return "session without a track";
  for (const Session& s : sessions) {
    if (!s.closed) continue;
    const Track* last = nullptr;
    for (const Track& t : tracks)
      if (t.session == s.number) last = &t;
    if (s.leadOut < last->End() || s.leadOut > capacity) return "lead-out out of place";
  }
  if (finalized && !sessions.empty() && !sessions.back().closed) return "finalized open session";
  if (qMismatches < 0) return "negative Q mismatch count";
  if (cdText.size() % 18 || cdText.size() > kMaxCdText) return "CD-Text of broken packs";
  if (!cdText.empty() && !m.cd) return "CD-Text on a DVD";
  if (!cueSheet.empty()) {
    const auto sheet = SessionCueSheet::Parse(cueSheet);
    if (!sheet || !m.cd || m.rom) return "unreadable cue sheet";
    if (finalized || (!sessions.empty() && (sessions.size() > 1 || sessions.back().closed)))
      return "cue sheet of a closed session";
    const std::int64_t first = sheet->leadInForm == 0x41 ? -45150 : -150;
    if (saoNext < first || saoNext > sheet->leadOut || sheet->leadOut > capacity)
      return "session-at-once address out of place";
    if (!tracks.empty()) {
      // A track enters the list with its pre-gap, and its blocks count from its start.
      const Track& last = tracks.back();
      const std::int64_t reached = last.written ? last.End() : last.start - last.pregap;
      if (tracks.size() > sheet->tracks.size() || last.End() > sheet->leadOut || saoNext < reached)
        return "tracks beyond the cue sheet";
    }
  }
  if (std::string problem = CheckDiscAtOnce(); !problem.empty()) return problem;
  return {};
}

std::string Disc::CheckDiscAtOnce() const {
  const MediaTraits& m = traits();
  for (std::size_t i = 0; i < toc.size(); ++i)
    if (!ValidTocPoint(toc[i]) || (i > 0 && toc[i - 1].point >= toc[i].point))
      return "unreadable TOC";
  if (!dao) return toc.empty() && !tocContradicts ? "" : "TOC without a disc-at-once write";
  if (!m.cd || m.rom) return "disc-at-once on a medium that takes none";
  if (!cueSheet.empty()) return "cue sheet during a disc-at-once write";
  if (finalized || sessions.size() > 1 || (!sessions.empty() && sessions.back().closed))
    return "disc-at-once write of a closed session";
  if (daoNext < daoLeadIn) return "disc-at-once address out of place";
  // Past the lead-in the write goes on only under a TOC that reads.
  if (daoNext <= -150 && tracks.empty()) return {};
  const auto decoded = DecodeToc(toc, capacity);
  if (!decoded || tocContradicts) return "disc-at-once write past the lead-in without a TOC";
  if (daoNext > decoded->leadOut + kCdFirstLeadOut) return "disc-at-once address out of place";
  if (tracks.size() > decoded->tracks.size()) return "tracks beyond the TOC";
  for (std::size_t i = 0; i < tracks.size(); ++i)
    if (tracks[i].start != decoded->tracks[i].start || tracks[i].End() > decoded->leadOut)
      return "tracks beyond the TOC";
  if (!tracks.empty() && daoNext < tracks.back().End()) return "tracks beyond the TOC";
  return {};
}

std::optional<Disc> Disc::Parse(const std::string& text, std::string* why) {
  auto refuse = [&](std::string reason) -> std::optional<Disc> {
    if (why) *why = std::move(reason);
    return std::nullopt;
  };
  Disc d;
  std::istringstream in(text);
  std::string line;
  bool ended = false, haveMedia = false;
  auto number = [](std::istringstream& s, auto& v, auto lo, auto hi) {
    long long x;
    if (!(s >> x) || x < lo || x > hi) return false;
    v = static_cast<std::remove_reference_t<decltype(v)>>(x);
    return true;
  };
  constexpr long long kMaxLba = 1LL << 40;
  while (std::getline(in, line)) {
    std::istringstream s(line);
    std::string key;
    s >> key;
    bool ok = true;
    if (key == "media") {
      std::string name;
      s >> name;
      auto m = ParseMedia(name);
      ok = m.has_value();
      if (ok) d.media = *m, haveMedia = true;
    } else if (key == "serial") {
      ok = number(s, d.serial, 1, static_cast<long long>(kMaxSerial));
    } else if (key == "formatted") {
      ok = number(s, d.formatted, 0, 1);
    } else if (key == "finalized") {
      ok = number(s, d.finalized, 0, 1);
    } else if (key == "highWater") {
      ok = number(s, d.highWater, 0, kMaxLba);
    } else if (key == "capacity") {
      ok = number(s, d.capacity, 0, kMaxLba);
    } else if (key == "pressed") {
      int p = 0;
      ok = number(s, p, 0, 2);
      d.pressed = static_cast<PressedImage>(p);
    } else if (key == "session") {
      Session x;
      int format = 0;
      ok = number(s, x.number, 1, 99) && number(s, x.closed, 0, 1) && number(s, format, 0, 255) &&
           number(s, x.leadOut, 0, kMaxLba) && d.sessions.size() < 99;
      x.format = static_cast<std::uint8_t>(format);
      d.sessions.push_back(x);
    } else if (key == "track") {
      Track t;
      int form = 1, mode = 4;
      ok = number(s, t.number, 1, 99) && number(s, t.session, 1, 99) &&
           number(s, t.start, 0, kMaxLba) && number(s, t.written, 0, kMaxLba) &&
           number(s, t.reserved, 0, kMaxLba) && number(s, t.closed, 0, 1) &&
           number(s, t.damaged, 0, 1) && number(s, form, 1, 4) && number(s, mode, 0, 15) &&
           d.tracks.size() < 99;
      // Older states end here; session-at-once tracks add their pre-gap.
      if (ok && !(s >> std::ws).eof()) ok = number(s, t.pregap, 1, kMaxLba);
      t.form = static_cast<SectorForm>(form);
      t.trackMode = static_cast<std::uint8_t>(mode);
      d.tracks.push_back(t);
    } else if (key == "cue") {
      std::string hex;
      ok = (s >> hex) && Unhex(hex, d.cueSheet, kMaxCueSheet);
    } else if (key == "sao") {
      ok = number(s, d.saoNext, -45150, kMaxLba);
    } else if (key == "qmismatches") {
      ok = number(s, d.qMismatches, 1, kMaxLba);
    } else if (key == "cdtext") {
      std::string hex;
      ok = (s >> hex) && Unhex(hex, d.cdText, kMaxCdText);
    } else if (key == "dao") {
      ok = number(s, d.daoLeadIn, -45150, -151) && number(s, d.daoNext, -45150, kMaxLba) &&
           number(s, d.tocContradicts, 0, 1);
      d.dao = true;
    } else if (key == "toc") {
      std::string hex;
      std::vector<std::uint8_t> points;
      ok = (s >> hex) && Unhex(hex, points, kMaxTocPoints * 5) && points.size() % 5 == 0;
      for (std::size_t i = 0; ok && i < points.size(); i += 5)
        d.toc.push_back({points[i], points[i + 1], points[i + 2], points[i + 3], points[i + 4]});
    } else if (key == "fixture") {
      std::getline(s >> std::ws, d.fixture);
    } else if (key == "end") {
      ended = true;
    } else if (!key.empty()) {
      ok = false;
    }
    // A line holds what its writer put there and nothing more (the fixture's path is the rest).
    if (ok && key != "fixture" && !(s >> std::ws).eof()) ok = false;
    if (!ok) return refuse("unreadable line '" + line.substr(0, 80) + "'");
  }
  if (!ended || !haveMedia) return refuse("incomplete state");
  if (std::string problem = d.Check(); !problem.empty()) return refuse(std::move(problem));
  return d;
}

}  // namespace platform::aspi::vr
