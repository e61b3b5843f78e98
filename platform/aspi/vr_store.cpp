#include "platform/aspi/vr_store.h"

#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace platform::aspi::vr {

namespace fs = platform::fs;

namespace {

fs::File OpenOrCreate(const std::string& path) {
  if (!fs::Exists(path)) {
    try {
      return fs::File(path, fs::OpenMode::CreateNew);
    } catch (const fs::FsError& e) {
      if (e.error() != EEXIST) throw;
    }
  }
  return fs::File(path, fs::OpenMode::ReadWrite);
}

std::string ReadAll(int fd) {
  std::string text;
  char buf[8192];
  off_t at = 0;
  for (;;) {
    const ssize_t n = pread(fd, buf, sizeof buf, at);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw fs::FsError("read of recorder state failed", errno);
    }
    if (n == 0) return text;
    text.append(buf, static_cast<size_t>(n));
    at += n;
    // A regular file reads short only at its end: the usual state text takes one read.
    if (static_cast<size_t>(n) < sizeof buf) return text;
    if (text.size() > (1u << 20)) throw fs::FsError("recorder state too large", EFBIG);
  }
}

// Rewrites a state file in place. A shorter text is padded with blank lines to the length the
// file has, which spares a truncate on every command; the readers skip blank lines.
void WriteAll(int fd, std::string text, std::size_t& fileSize) {
  const bool shrink = text.size() < fileSize;
  if (shrink) text.append(fileSize - text.size(), '\n');
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw fs::FsError("write of recorder state failed", errno);
    }
    done += static_cast<size_t>(n);
  }
  if (!shrink && text.size() != fileSize && ftruncate(fd, static_cast<off_t>(text.size())) != 0)
    throw fs::FsError("truncate of recorder state failed", errno);
  fileSize = text.size();
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
  lock_ = OpenOrCreate(folder_ + "recorder");
  lockSize_ = lock_.Size();
}

std::string RecorderStore::ImageBase(std::uint32_t serial) const {
  return folder_ + name_ + "-" + Number4(serial);
}

std::string RecorderStore::DiscFolder(std::uint32_t serial) const {
  return folder_ + "disc-" + Number4(serial) + "\\";
}

void RecorderStore::Lock() {
  while (flock(lock_.Descriptor(), LOCK_EX) != 0)
    if (errno != EINTR) throw fs::FsError("lock of recorder failed", errno);
}

void RecorderStore::Unlock() {
  flock(lock_.Descriptor(), LOCK_UN);
}

bool RecorderStore::Load(SharedState& state, const std::function<SharedState()>& fresh) {
  const std::string text = ReadAll(lock_.Descriptor());
  std::uint64_t generation = 0;
  if (std::sscanf(text.c_str(), "generation %llu",
                  reinterpret_cast<unsigned long long*>(&generation)) != 1) {
    state = fresh();
    Save(state);
    return true;
  }
  if (loaded_ && generation == seenGeneration_) return false;
  std::istringstream in(text);
  std::string key;
  in >> key >> generation;
  SharedState s = fresh();
  std::uint32_t serial = 0;
  bool ok = static_cast<bool>(in >> key >> serial) && key == "disc";
  ok = ok && (in >> key >> s.nextSerial) && key == "next";
  ok = ok && (in >> key >> s.trayEmpty) && key == "tray-empty";
  std::string rest((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::optional<DriveSettings> settings;
  if (ok) settings = DriveSettings::Parse(rest);
  std::optional<Disc> disc;
  if (settings) {
    try {
      const auto bytes = fs::ReadWholeFile(DiscFolder(serial) + "state");
      disc = Disc::Parse(std::string(bytes.begin(), bytes.end()));
    } catch (const fs::FsError&) {
    }
  }
  if (!disc || disc->serial != serial) {
    // An unreadable state starts over with a fresh blank; the old sectors stay on disk.
    const std::uint32_t nextSerial = s.nextSerial;
    s = fresh();
    s.nextSerial = std::max({nextSerial, s.nextSerial, serial + 1});
    s.disc.serial = s.nextSerial - 1;
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
    discState_ = OpenOrCreate(DiscFolder(state.disc.serial) + "state");
    discStateSerial_ = state.disc.serial;
    discStateSize_ = discState_.Size();
  }
  WriteAll(discState_.Descriptor(), state.disc.Serialize(), discStateSize_);
  state.generation = std::max(state.generation, seenGeneration_) + 1;
  std::ostringstream out;
  out << "generation " << state.generation << "\ndisc " << state.disc.serial << "\nnext "
      << state.nextSerial << "\ntray-empty " << state.trayEmpty << "\n"
      << state.settings.Serialize();
  WriteAll(lock_.Descriptor(), out.str(), lockSize_);
  seenGeneration_ = state.generation;
  loaded_ = true;
}

fs::File& RecorderStore::SectorFile(const Disc& disc) {
  if (!sectors_.IsOpen() || sectorsSerial_ != disc.serial) {
    if (sectors_.IsOpen()) sectors_.Close();
    fs::CreateDirectories(DiscFolder(disc.serial));
    sectors_ = OpenOrCreate(DiscFolder(disc.serial) + "sectors");
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

std::uint32_t RecorderStore::HighestImageNumber() const {
  std::uint32_t best = 0;
  try {
    for (const auto& e : fs::ListDirectory(folder_ + "*.*")) {
      const std::string prefix = name_ + "-";
      if (e.name.size() != prefix.size() + 8 || e.name.compare(0, prefix.size(), prefix) != 0)
        continue;
      const std::string digits = e.name.substr(prefix.size(), 4);
      if (digits.find_first_not_of("0123456789") != std::string::npos) continue;
      best = std::max<std::uint32_t>(best, static_cast<std::uint32_t>(std::stoul(digits)));
    }
  } catch (const fs::FsError&) {
  }
  return best;
}

}  // namespace platform::aspi::vr
