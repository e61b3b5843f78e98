#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/fs/internal.h"

namespace platform::fs {

static_assert(sizeof(off_t) == 8, "files over 4 GiB need a 64-bit off_t");

namespace {

int OpenFlags(OpenMode mode) {
  switch (mode) {
    case OpenMode::Read:
      return O_RDONLY;
    case OpenMode::ReadWrite:
      return O_RDWR;
    case OpenMode::CreateAlways:
      // Truncated only after the lock is held, so a file in use elsewhere is not emptied.
      return O_RDWR | O_CREAT;
    case OpenMode::CreateNew:
      return O_RDWR | O_CREAT | O_EXCL;
  }
  return O_RDONLY;
}

// A file is opened without blocking, so that a FIFO without a writer (or reader) or a device
// that waits cannot hold the caller; once fstat shows a regular file the flag goes again.
void RefuseUnlessRegular(int fd, const std::string& path) {
  struct stat st;
  if (::fstat(fd, &st) != 0) detail::ThrowErrno("cannot open", path, errno);
  if (S_ISDIR(st.st_mode)) detail::ThrowErrno("cannot open", path, EISDIR);
  if (!S_ISREG(st.st_mode)) throw FsError("cannot open " + path + ": not a regular file", EINVAL);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
    detail::ThrowErrno("cannot open", path, errno);
}

int LockOperation(OpenMode mode, Share share) {
  switch (share) {
    case Share::All:
      return 0;
    case Share::ReadOnly:
      return (mode == OpenMode::Read ? LOCK_SH : LOCK_EX) | LOCK_NB;
    case Share::Exclusive:
      return LOCK_EX | LOCK_NB;
  }
  return 0;
}

}  // namespace

File::File(std::string_view winPath, OpenMode mode, Share share) : path_(winPath) {
  detail::IgnoreFileSizeSignal();
  const std::string posix = ToPosixOrThrow(winPath);
  // ReadWrite takes whatever the name is, a device too; every other mode regular files only.
  const bool regularOnly = mode != OpenMode::ReadWrite;
  const int flags = OpenFlags(mode) | O_CLOEXEC | (regularOnly ? O_NONBLOCK | O_NOCTTY : 0);
  int fd;
  do {
    fd = open(posix.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) detail::ThrowErrno("cannot open", path_, errno);
  // A throwing constructor runs no destructor: close by hand below.
  fd_ = fd;
  try {
    // Before a lock or the truncation: nothing but a regular file is ever emptied.
    if (regularOnly) RefuseUnlessRegular(fd_, path_);
    if (const int op = LockOperation(mode, share)) {
      int rc;
      do {
        rc = flock(fd_, op);
      } while (rc != 0 && errno == EINTR);
      if (rc != 0) {
        if (errno == EWOULDBLOCK) throw FsError("file is in use: " + path_, EWOULDBLOCK);
        detail::ThrowErrno("cannot lock", path_, errno);
      }
    }
    if (mode == OpenMode::CreateAlways && ftruncate(fd_, 0) != 0)
      detail::ThrowErrno("cannot truncate", path_, errno);
  } catch (...) {
    ::close(fd_);
    fd_ = -1;
    throw;
  }
}

File::File(int fd, std::string winPath) noexcept : fd_(fd), path_(std::move(winPath)) {
  detail::IgnoreFileSizeSignal();
}

File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

size_t File::Read(void* buffer, size_t n) {
  if (fd_ < 0) throw FsError("file is not open: " + path_, EBADF);
  auto* p = static_cast<char*>(buffer);
  size_t total = 0;
  while (total < n) {
    const ssize_t got = ::read(fd_, p + total, n - total);
    if (got < 0) {
      if (errno == EINTR) continue;
      detail::ThrowErrno("cannot read", path_, errno);
    }
    if (got == 0) break;
    total += static_cast<size_t>(got);
  }
  return total;
}

void File::Write(const void* buffer, size_t n) {
  if (fd_ < 0) throw FsError("file is not open: " + path_, EBADF);
  const auto* p = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < n) {
    const ssize_t put = ::write(fd_, p + done, n - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      detail::ThrowErrno("cannot write", path_, errno);
    }
    // No progress and no error: the device takes nothing more.
    if (put == 0) detail::ThrowErrno("cannot write", path_, ENOSPC);
    done += static_cast<size_t>(put);
  }
}

std::uint64_t File::Seek(std::int64_t offset, int whence) {
  if (fd_ < 0) throw FsError("file is not open: " + path_, EBADF);
  const off_t pos = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (pos < 0) detail::ThrowErrno("cannot seek in", path_, errno);
  return static_cast<std::uint64_t>(pos);
}

std::uint64_t File::Position() const {
  if (fd_ < 0) throw FsError("file is not open: " + path_, EBADF);
  const off_t pos = ::lseek(fd_, 0, SEEK_CUR);
  if (pos < 0) detail::ThrowErrno("cannot tell the position in", path_, errno);
  return static_cast<std::uint64_t>(pos);
}

std::uint64_t File::Size() const {
  if (fd_ < 0) throw FsError("file is not open: " + path_, EBADF);
  struct stat st;
  if (::fstat(fd_, &st) != 0) detail::ThrowErrno("cannot read the size of", path_, errno);
  return static_cast<std::uint64_t>(st.st_size);
}

void File::Truncate(std::uint64_t size) {
  if (fd_ < 0) throw FsError("file is not open: " + path_, EBADF);
  if (size > static_cast<std::uint64_t>(INT64_MAX))
    detail::ThrowErrno("cannot truncate", path_, EFBIG);
  int rc;
  do {
    rc = ::ftruncate(fd_, static_cast<off_t>(size));
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) detail::ThrowErrno("cannot truncate", path_, errno);
}

void File::Flush() {
  if (fd_ < 0) throw FsError("file is not open: " + path_, EBADF);
  if (::fsync(fd_) != 0 && errno != EINVAL)  // EINVAL: a pipe or device that cannot sync
    detail::ThrowErrno("cannot flush", path_, errno);
}

void File::StartWriteBack(std::uint64_t offset, std::uint64_t length) {
  if (fd_ >= 0)
    ::sync_file_range(fd_, static_cast<off64_t>(offset), static_cast<off64_t>(length),
                      SYNC_FILE_RANGE_WRITE);
}

bool File::SetModificationTime(std::int64_t sec, std::int32_t nsec) {
  if (fd_ < 0 || nsec < 0 || nsec > 999'999'999) return false;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // access time stays
  times[1].tv_sec = static_cast<time_t>(sec);
  times[1].tv_nsec = nsec;
  return futimens(fd_, times) == 0;
}

bool File::SetMode(std::uint32_t mode) {
  return fd_ >= 0 && fchmod(fd_, static_cast<mode_t>(mode)) == 0;
}

int File::Release() noexcept {
  return std::exchange(fd_, -1);
}

void File::Close() {
  if (fd_ < 0) return;
  const int fd = std::exchange(fd_, -1);
  // Linux releases the descriptor even when close fails, so it is never retried.
  if (::close(fd) != 0 && errno != EINTR) detail::ThrowErrno("cannot close", path_, errno);
}

}  // namespace platform::fs
