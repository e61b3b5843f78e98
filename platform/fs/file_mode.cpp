#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>

#include "platform/fs/fs.h"

namespace platform::fs {
namespace {

// umask() can only be read by setting it, which races with other threads creating files;
// the kernel reports it in /proc, so the set-and-restore is only the fallback.
mode_t CurrentUmask() {
  if (FILE* f = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned value = 0;
    bool found = false;
    while (std::fgets(line, sizeof line, f))
      if (std::sscanf(line, "Umask: %o", &value) == 1) {
        found = true;
        break;
      }
    std::fclose(f);
    if (found) return static_cast<mode_t>(value & 0777);
  }
  static std::mutex lock;
  std::lock_guard guard(lock);
  const mode_t old = umask(022);
  umask(old);
  return old;
}

}  // namespace

std::optional<FileIdentity> Identify(std::string_view winPath) {
  const auto posix = ToPosix(winPath);
  if (!posix) return std::nullopt;
  struct statx sx {};
  if (statx(AT_FDCWD, posix->c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &sx) !=
      0)
    return std::nullopt;
  FileIdentity id;
  id.device = static_cast<std::uint64_t>(makedev(sx.stx_dev_major, sx.stx_dev_minor));
  id.inode = static_cast<std::uint64_t>(sx.stx_ino);
  id.mode = static_cast<std::uint32_t>(sx.stx_mode & 07777);
  id.regular = S_ISREG(sx.stx_mode);
  if (sx.stx_mask & STATX_BTIME)
    id.birthNsec = static_cast<std::int64_t>(sx.stx_btime.tv_sec) * 1'000'000'000 +
                   static_cast<std::int64_t>(sx.stx_btime.tv_nsec);
  return id;
}

bool SetFileMode(std::string_view winPath, std::uint32_t mode) {
  const auto posix = ToPosix(winPath);
  if (!posix) return false;
  // Opened without following a link, so the mode lands on the file that was checked.
  const int fd = open(posix->c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  const bool ok =
      fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && fchmod(fd, static_cast<mode_t>(mode)) == 0;
  close(fd);
  return ok;
}

std::uint32_t DefaultFileMode() {
  return 0666 & ~static_cast<std::uint32_t>(CurrentUmask());
}

}  // namespace platform::fs
