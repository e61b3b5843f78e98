#include "platform/aspi/recorder/store/vr_store.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "platform/debug/debug.h"

namespace platform::aspi::vr {

namespace fs = platform::fs;

namespace {

// True when the text opens with "generation <generation>" as Save writes it.
bool SameGeneration(std::string_view text, std::uint64_t generation) {
  constexpr std::string_view kKey = "generation ";
  if (text.compare(0, kKey.size(), kKey) != 0) return false;
  const char* first = text.data() + kKey.size();
  const char* last = text.data() + text.size();
  std::uint64_t value = 0;
  const auto r = std::from_chars(first, last, value);
  return r.ec == std::errc() && r.ptr != last && *r.ptr == '\n' && value == generation;
}

void AppendNumber(std::string& s, unsigned long long v) {
  char buf[24];
  s.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

std::string Number4(std::uint32_t n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04u", n);
  return buf;
}

}  // namespace

RecorderStore::RecorderStore(std::string folder, std::string name)
    : folder_(std::move(folder)), name_(std::move(name)) {
  if (folder_.empty() || folder_.back() != '\\') folder_ += '\\';
  if (!fs::CreateDirectories(folder_)) throw fs::FsError("cannot create " + folder_, errno);
  recorderFile_ = StateFile(folder_ + "recorder");
  lock_ = std::make_unique<RecorderLock>(folder_ + "recorder.lock", recorderFile_.Descriptor());
}

std::string RecorderStore::ImageBase(std::uint32_t serial) const {
  return folder_ + name_ + "-" + Number4(serial);
}

std::string RecorderStore::DiscFolder(std::uint32_t serial) const {
  return folder_ + "disc-" + Number4(serial) + "\\";
}

void RecorderStore::Lock() {
  // A holder that died may have left its state half written: it is read afresh.
  if (lock_->Lock()) loaded_ = false;
}

void RecorderStore::Unlock() {
  lock_->Unlock();
}

std::string RecorderStore::SetAside(const std::string& path) const {
  std::string aside = path + ".unreadable";
  for (int k = 2; fs::Exists(aside); ++k) aside = path + ".unreadable-" + std::to_string(k);
  return fs::RenameReplace(path, aside) ? aside : std::string();
}

void RecorderStore::Report(const std::string& what, const std::string& why,
                           const std::string& keptAs) const {
  const std::string line =
      "Virtual recorder " + name_ + ": " + what + " could not be read (" + why + "); " +
      (keptAs.empty() ? std::string("it could not be kept aside") : "kept as " + keptAs) +
      ", the tray takes a fresh disc.\n";
  platform::debug::OutputDebugString(line.c_str());
}

bool RecorderStore::Load(SharedState& state, const std::function<SharedState()>& fresh) {
  // Every command asks: the usual answer, nothing changed, is read from the mapped file.
  if (loaded_ && SameGeneration(recorderFile_.Mapped(), seenGeneration_)) return false;
  const std::string text = recorderFile_.ReadAll();
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) {  // a new recorder
    state = fresh();
    Save(state);
    return true;
  }
  std::istringstream in(text);
  std::string key;
  std::uint64_t generation = 0;
  std::uint32_t serial = 0;
  bool ok = (in >> key >> generation) && key == "generation";
  if (ok && loaded_ && generation == seenGeneration_) return false;
  // Only now: a fresh state lists the image folder, which every command would pay for.
  SharedState s = fresh();
  ok = ok && (in >> key >> serial) && key == "disc";
  ok = ok && (in >> key >> s.nextSerial) && key == "next";
  ok = ok && (in >> key >> s.trayEmpty) && key == "tray-empty";
  std::string rest((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::optional<DriveSettings> settings;
  if (ok) settings = DriveSettings::Parse(rest);
  if (!settings) {
    // The recorder's own file is its lock, so it stays; a copy of what it held is kept.
    std::string aside = folder_ + "recorder.unreadable";
    for (int k = 2; fs::Exists(aside); ++k)
      aside = folder_ + "recorder.unreadable-" + std::to_string(k);
    try {
      fs::WriteWholeFileAtomic(aside, text.data(), text.size());
    } catch (const fs::FsError&) {
      aside.clear();
    }
    Report("the recorder's state", "damaged", aside);
    state = fresh();
    Save(state);
    return true;
  }
  std::optional<Disc> disc;
  std::string why;
  try {
    const auto bytes = fs::ReadWholeFile(DiscFolder(serial) + "state");
    disc = Disc::Parse(std::string(bytes.begin(), bytes.end()), &why);
    // Another process may have rewritten it at another length.
    if (discState_.IsOpen() && discStateSerial_ == serial) discState_.Refresh();
  } catch (const fs::FsError& e) {
    why = e.what();
  }
  if (disc && disc->serial != serial) disc.reset(), why = "serial differs from its folder";
  if (!disc) {
    // Never served or overwritten: the disc's folder, sectors included, is kept for a look.
    std::string folder = DiscFolder(serial);
    folder.pop_back();
    const bool present = fs::Exists(folder);
    if (present) {
      if (sectors_.IsOpen() && sectorsSerial_ == serial) sectors_.Close();
      if (discState_.IsOpen() && discStateSerial_ == serial) discState_.Close();
    }
    Report("the state of disc " + Number4(serial), why, present ? SetAside(folder) : "");
    const std::uint32_t nextSerial = s.nextSerial;
    s = fresh();
    if (s.disc.serial < nextSerial && nextSerial <= kMaxSerial) s.disc.serial = nextSerial;
    s.nextSerial = s.disc.serial + 1;
    state = s;
    Save(state);
    return true;
  }
  s.generation = generation;
  s.settings = *settings;
  s.disc = std::move(*disc);
  state = std::move(s);
  seenGeneration_ = generation;
  loaded_ = true;
  return true;
}

void RecorderStore::Save(SharedState& state) {
  if (!discState_.IsOpen() || discStateSerial_ != state.disc.serial) {
    if (discState_.IsOpen()) discState_.Close();
    fs::CreateDirectories(DiscFolder(state.disc.serial));
    discState_ = StateFile(DiscFolder(state.disc.serial) + "state");
    discStateSerial_ = state.disc.serial;
  }
  discState_.Write(state.disc.Serialize());
  state.generation = std::max(state.generation, seenGeneration_) + 1;
  std::string out = "generation ";
  AppendNumber(out, state.generation);
  out += "\ndisc ";
  AppendNumber(out, state.disc.serial);
  out += "\nnext ";
  AppendNumber(out, state.nextSerial);
  out += "\ntray-empty ";
  out += state.trayEmpty ? '1' : '0';
  out += '\n';
  // The settings change seldom: their text is made again only when they did.
  if (!settingsText_ || !(settingsSaved_ == state.settings)) {
    settingsText_ = state.settings.Serialize();
    settingsSaved_ = state.settings;
  }
  out += *settingsText_;
  recorderFile_.Write(std::move(out));
  seenGeneration_ = state.generation;
  loaded_ = true;
}

fs::File& RecorderStore::SectorFile(const Disc& disc) {
  if (!sectors_.IsOpen() || sectorsSerial_ != disc.serial) {
    if (sectors_.IsOpen()) sectors_.Close();
    fs::CreateDirectories(DiscFolder(disc.serial));
    sectors_ = OpenOrCreateFile(DiscFolder(disc.serial) + "sectors");
    sectorsSerial_ = disc.serial;
  }
  return sectors_;
}

void RecorderStore::WriteSectors(const Disc& disc, std::int64_t lba, const std::uint8_t* data,
                                 std::size_t count) {
  const int fd = SectorFile(disc).Descriptor();
  const std::size_t size = SectorSize(disc);
  const std::size_t total = count * size;
  off_t at = static_cast<off_t>(lba) * static_cast<off_t>(size);
  std::size_t done = 0;
  while (done < total) {
    const ssize_t n = pwrite(fd, data + done, total - done, at + static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw fs::FsError("write of sectors failed", errno);
    }
    done += static_cast<size_t>(n);
  }
}

void RecorderStore::ReadSectors(const Disc& disc, std::int64_t lba, std::uint8_t* data,
                                std::size_t count) {
  const int fd = SectorFile(disc).Descriptor();
  const std::size_t size = SectorSize(disc);
  const std::size_t total = count * size;
  off_t at = static_cast<off_t>(lba) * static_cast<off_t>(size);
  std::size_t done = 0;
  while (done < total) {
    const ssize_t n = pread(fd, data + done, total - done, at + static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw fs::FsError("read of sectors failed", errno);
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  std::memset(data + done, 0, total - done);
}

bool RecorderStore::AnyStored(const Disc& disc, std::int64_t lba, std::size_t count) {
  const int fd = SectorFile(disc).Descriptor();
  const off_t size = static_cast<off_t>(SectorSize(disc));
  const off_t from = static_cast<off_t>(lba) * size;
  const off_t data = lseek(fd, from, SEEK_DATA);
  return data >= 0 && data < from + static_cast<off_t>(count) * size;
}

void RecorderStore::DiscardSectors(const Disc& disc) {
  SectorFile(disc).Truncate(0);
}

void RecorderStore::MoveSectorsTo(const Disc& disc, const std::string& isoPath,
                                  std::int64_t blocks) {
  fs::File& f = SectorFile(disc);
  f.Truncate(static_cast<std::uint64_t>(blocks) * SectorSize(disc));
  f.Close();
  if (!fs::RenameReplace(DiscFolder(disc.serial) + "sectors", isoPath))
    throw fs::FsError("cannot move sectors to " + isoPath, errno);
}

void RecorderStore::RemoveDisc(std::uint32_t serial) {
  if (sectors_.IsOpen() && sectorsSerial_ == serial) sectors_.Close();
  if (discState_.IsOpen() && discStateSerial_ == serial) discState_.Close();
  const std::string dir = DiscFolder(serial);
  fs::DeleteFile(dir + "sectors");
  fs::DeleteFile(dir + "state");
  if (auto posix = fs::ToPosix(dir)) rmdir(posix->c_str());
}

std::uint32_t RecorderStore::HighestSerialInUse() const {
  // "<name>-N.iso" (.bin, .cue) and "disc-N" (set aside: "disc-N.unreadable..."), N of four or
  // more digits.
  auto serialAfter = [](const std::string& name, const std::string& prefix) -> std::uint32_t {
    if (name.compare(0, prefix.size(), prefix) != 0) return 0;
    std::size_t end = prefix.size();
    while (end < name.size() && name[end] >= '0' && name[end] <= '9') ++end;
    const std::size_t digits = end - prefix.size();
    if (digits < 4 || digits > 10 || (end < name.size() && name[end] != '.')) return 0;
    const unsigned long long n = std::stoull(name.substr(prefix.size(), digits));
    return n <= kMaxSerial ? static_cast<std::uint32_t>(n) : 0;
  };
  std::uint32_t best = 0;
  try {
    for (const auto& e : fs::ListDirectory(folder_ + "*.*"))
      best = std::max({best, serialAfter(e.name, name_ + "-"), serialAfter(e.name, "disc-")});
  } catch (const fs::FsError&) {
  }
  return best;
}

}  // namespace platform::aspi::vr
