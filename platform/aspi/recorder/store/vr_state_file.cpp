#include "platform/aspi/recorder/store/vr_state_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace platform::aspi::vr {

namespace fs = platform::fs;

fs::File OpenOrCreateFile(const std::string& path) {
  if (!fs::Exists(path)) {
    try {
      return fs::File(path, fs::OpenMode::CreateNew);
    } catch (const fs::FsError& e) {
      if (e.error() != EEXIST) throw;
    }
  }
  return fs::File(path, fs::OpenMode::ReadWrite);
}

StateFile::StateFile(const std::string& path) : file_(OpenOrCreateFile(path)) {
  Map(static_cast<std::size_t>(file_.Size()));
}

StateFile::~StateFile() {
  Unmap();
}

StateFile::StateFile(StateFile&& other) noexcept
    : file_(std::move(other.file_)),
      map_(std::exchange(other.map_, nullptr)),
      mapped_(std::exchange(other.mapped_, 0)),
      size_(std::exchange(other.size_, 0)) {}

StateFile& StateFile::operator=(StateFile&& other) noexcept {
  if (this != &other) {
    Unmap();
    file_ = std::move(other.file_);
    map_ = std::exchange(other.map_, nullptr);
    mapped_ = std::exchange(other.mapped_, 0);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void StateFile::Close() {
  Unmap();
  size_ = 0;
  file_.Close();
}

void StateFile::Unmap() noexcept {
  if (map_) munmap(map_, mapped_);
  map_ = nullptr;
  mapped_ = 0;
}

void StateFile::Map(std::size_t size) {
  size_ = size;
  if (map_ && mapped_ == size) return;
  Unmap();
  if (size == 0) return;
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, file_.Descriptor(), 0);
  // Without a mapping every access goes through the descriptor.
  if (p != MAP_FAILED) map_ = static_cast<char*>(p), mapped_ = size;
}

std::string_view StateFile::Mapped() const {
  return map_ ? std::string_view(map_, mapped_) : std::string_view();
}

std::string StateFile::ReadAll() {
  std::string text;
  char buf[8192];
  off_t at = 0;
  for (;;) {
    const ssize_t n = pread(file_.Descriptor(), buf, sizeof buf, at);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw fs::FsError("read of recorder state failed", errno);
    }
    if (n == 0) break;
    text.append(buf, static_cast<size_t>(n));
    at += n;
    if (text.size() > (1u << 20)) throw fs::FsError("recorder state too large", EFBIG);
  }
  Map(text.size());
  return text;
}

void StateFile::Refresh() {
  Map(static_cast<std::size_t>(file_.Size()));
}

void StateFile::Write(std::string text) {
  if (map_ && text.size() <= size_) {
    std::memcpy(map_, text.data(), text.size());
    std::memset(map_ + text.size(), '\n', size_ - text.size());
    return;
  }
  const bool shrink = text.size() < size_;
  if (shrink) text.append(size_ - text.size(), '\n');
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = pwrite(file_.Descriptor(), text.data() + done, text.size() - done,
                             static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw fs::FsError("write of recorder state failed", errno);
    }
    done += static_cast<size_t>(n);
  }
  if (!shrink && text.size() != size_ &&
      ftruncate(file_.Descriptor(), static_cast<off_t>(text.size())) != 0)
    throw fs::FsError("truncate of recorder state failed", errno);
  Map(text.size());
}

}  // namespace platform::aspi::vr
