#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "platform/fs/fs.h"

namespace platform::fs {

bool DeleteFile(std::string_view winPath) {
  const auto posix = ToPosix(winPath);
  return posix && unlink(posix->c_str()) == 0;
}

bool RenameReplace(std::string_view from, std::string_view to) {
  const auto a = ToPosix(from);
  const auto b = ToPosix(to);
  return a && b && rename(a->c_str(), b->c_str()) == 0;
}

bool SyncFolder(std::string_view winPath) {
  const auto posix = ToPosix(winPath);
  const int fd = posix ? open(posix->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
  if (fd < 0) return false;
  const bool synced = fsync(fd) == 0;
  close(fd);
  return synced;
}

bool CreateDirectories(std::string_view winPath) {
  const auto posix = ToPosix(winPath);
  if (!posix) return false;
  std::error_code ec;
  std::filesystem::create_directories(*posix, ec);
  return std::filesystem::is_directory(*posix, ec);
}

bool SetModificationTime(std::string_view winPath, std::int64_t sec, std::int32_t nsec) {
  const auto posix = ToPosix(winPath);
  if (!posix || nsec < 0 || nsec > 999'999'999) return false;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // access time stays
  times[1].tv_sec = static_cast<time_t>(sec);
  times[1].tv_nsec = nsec;
  return utimensat(AT_FDCWD, posix->c_str(), times, 0) == 0;
}

}  // namespace platform::fs
