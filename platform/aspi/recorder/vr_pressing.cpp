#include "platform/aspi/recorder/vr_pressing.h"

#include <sstream>
#include <stdexcept>

#include "platform/aspi/recorder/coding/vr_sector_coding.h"
#include "platform/fs/fs.h"

namespace platform::aspi::vr {

namespace fs = platform::fs;

namespace {

bool EndsWith(const std::string& s, const char* ext) {
  const std::string e(ext);
  if (s.size() < e.size()) return false;
  for (size_t i = 0; i < e.size(); ++i) {
    char c = s[s.size() - e.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != e[i]) return false;
  }
  return true;
}

std::uint64_t SizeOf(const std::string& path) {
  auto info = fs::Stat(path);
  if (!info || info->type != fs::EntryType::Regular)
    throw std::runtime_error("fixture not found: " + path);
  return info->size;
}

std::int64_t ParseMsf(const std::string& text) {
  unsigned m, s, f;
  char c1, c2;
  std::istringstream in(text);
  if (!(in >> m >> c1 >> s >> c2 >> f) || c1 != ':' || c2 != ':' || s > 59 || f > 74 || m > 99)
    throw std::runtime_error("bad time in cue sheet: " + text);
  return static_cast<std::int64_t>(m) * 4500 + s * 75 + f;
}

Disc PressIso(Media media, const std::string& path, std::uint32_t serial) {
  const std::uint64_t size = SizeOf(path);
  if (size == 0 || size % 2048 != 0) throw std::runtime_error("iso size is not whole blocks");
  Disc d;
  d.media = media;
  d.serial = serial;
  d.capacity = static_cast<std::int64_t>(size / 2048);
  d.finalized = true;
  d.pressed = PressedImage::Iso;
  d.fixture = path;
  d.sessions.push_back({1, true, 0x00, d.capacity});
  d.tracks.push_back({1, 1, 0, d.capacity, 0, true, false, SectorForm::Mode1, 4});
  return d;
}

Disc PressCue(Media media, const std::string& cuePath, std::uint32_t serial) {
  const auto bytes = fs::ReadWholeFile(cuePath);
  if (bytes.size() > (1u << 20)) throw std::runtime_error("cue sheet too large");
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  std::string line, binPath;
  struct Entry {
    SectorForm form;
    std::int64_t index0 = -1, index1 = -1;
  };
  std::vector<Entry> entries;
  while (std::getline(in, line)) {
    std::istringstream s(line);
    std::string word;
    s >> word;
    if (word == "FILE") {
      if (!binPath.empty()) throw std::runtime_error("one FILE only");
      const auto open = line.find('"'), close = line.rfind('"');
      if (open == std::string::npos || close <= open) throw std::runtime_error("bad FILE line");
      binPath = fs::ParentFolder(cuePath) + line.substr(open + 1, close - open - 1);
      if (line.find("BINARY", close) == std::string::npos)
        throw std::runtime_error("FILE must be BINARY");
    } else if (word == "TRACK") {
      int number = 0;
      std::string type;
      s >> number >> type;
      if (number != static_cast<int>(entries.size()) + 1 || number > 99)
        throw std::runtime_error("tracks out of order");
      // A Mode 2 track holds Form 1 and Form 2 sectors, each by its subheader.
      if (type == "MODE1/2352")
        entries.push_back({SectorForm::Mode1});
      else if (type == "MODE2/2352")
        entries.push_back({SectorForm::Mode2});
      else if (type == "AUDIO")
        entries.push_back({SectorForm::Audio});
      else
        throw std::runtime_error("unsupported track type " + type);
    } else if (word == "INDEX") {
      int index = -1;
      std::string time;
      s >> index >> time;
      if (entries.empty() || (index != 0 && index != 1)) throw std::runtime_error("bad INDEX line");
      (index == 0 ? entries.back().index0 : entries.back().index1) = ParseMsf(time);
    } else if (word == "PREGAP" || word == "POSTGAP") {
      throw std::runtime_error("gaps outside the file are not supported");
    }
  }
  if (binPath.empty() || entries.empty()) throw std::runtime_error("cue sheet without tracks");
  const std::uint64_t size = SizeOf(binPath);
  if (size == 0 || size % kRawSectorSize != 0)
    throw std::runtime_error("bin size is not whole sectors");
  const auto blocks = static_cast<std::int64_t>(size / kRawSectorSize);
  Disc d;
  d.media = media;
  d.serial = serial;
  d.capacity = blocks;
  d.finalized = true;
  d.pressed = PressedImage::Bin;
  d.fixture = binPath;
  bool xa = false;
  for (size_t i = 0; i < entries.size(); ++i) {
    const auto& e = entries[i];
    if (e.index1 < 0 || (e.index0 >= 0 && e.index0 > e.index1))
      throw std::runtime_error("bad index");
    const std::int64_t next =
        i + 1 < entries.size()
            ? (entries[i + 1].index0 >= 0 ? entries[i + 1].index0 : entries[i + 1].index1)
            : blocks;
    if (next <= e.index1 || next > blocks) throw std::runtime_error("tracks overlap the file");
    // CONTROL: 4 for data, 0 for two-channel audio without pre-emphasis.
    const std::uint8_t control = e.form == SectorForm::Audio ? 0 : 4;
    d.tracks.push_back(
        {static_cast<int>(i) + 1, 1, e.index1, next - e.index1, 0, true, false, e.form, control});
    xa = xa || e.form == SectorForm::Mode2;
  }
  d.sessions.push_back({1, true, static_cast<std::uint8_t>(xa ? 0x20 : 0x00), blocks});
  return d;
}

}  // namespace

Disc PressDisc(Media media, const std::string& fixture, std::uint32_t serial) {
  if (!Traits(media).rom) throw std::runtime_error("only CD-ROM and DVD-ROM are pressed");
  if (EndsWith(fixture, ".iso")) return PressIso(media, fixture, serial);
  if (EndsWith(fixture, ".cue")) {
    if (!Traits(media).cd) throw std::runtime_error("a .bin/.cue fixture makes a CD");
    return PressCue(media, fixture, serial);
  }
  throw std::runtime_error("fixture must be an .iso or a .cue: " + fixture);
}

}  // namespace platform::aspi::vr
