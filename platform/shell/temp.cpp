#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "platform/fs/fs.h"
#include "platform/shell/shell.h"

namespace platform::shell {
namespace {

std::string WithBackslash(std::string s) {
  if (s.empty() || s.back() != '\\') s += '\\';
  return s;
}

// The first `count` characters (code points, not bytes) of a UTF-8 text.
std::string_view FirstChars(std::string_view s, size_t count) {
  size_t i = 0;
  for (size_t chars = 0; i < s.size() && chars < count; ++chars) {
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
  }
  return s.substr(0, i);
}

// Candidate numbers run on from a random start, so threads and processes seldom meet;
// O_EXCL settles the rare meeting.
unsigned NextCandidate() {
  static std::atomic<unsigned> next{[] {
    std::random_device rd;
    return static_cast<unsigned>(rd() ^ (static_cast<unsigned>(getpid()) << 8));
  }()};
  return next.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

std::string TempFolder() {
  const char* env = std::getenv("TMPDIR");
  struct stat st;
  if (env && *env && stat(env, &st) == 0 && S_ISDIR(st.st_mode))
    return WithBackslash(fs::FromPosix(env));
  return "Z:\\tmp\\";
}

namespace {

// Creates the next free name (O_EXCL, 0600) and returns its descriptor; `name` gets the name.
int CreateTempDescriptor(std::string_view folder, std::string_view prefix, std::string& name) {
  const std::string base = WithBackslash(std::string(folder)) + std::string(FirstChars(prefix, 3));
  fs::ToPosixOrThrow(base);  // the folder must have a place in the file system
  // Four hex digits as the platform call gives; 0 is never used, as there.
  for (unsigned attempt = 0; attempt < 0xFFFF; ++attempt) {
    const unsigned value = NextCandidate() % 0xFFFF + 1;
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", value);
    name = base + digits + ".tmp";
    const std::string posix = fs::ToPosixOrThrow(name);
    const int fd = open(posix.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    if (errno != EEXIST && errno != EINTR)
      throw fs::FsError(
          "cannot create a temporary file in " + std::string(folder) + ": " + std::strerror(errno),
          errno);
  }
  throw fs::FsError("no free temporary file name in " + std::string(folder), EEXIST);
}

}  // namespace

std::string CreateTempFileName(std::string_view folder, std::string_view prefix) {
  std::string name;
  close(CreateTempDescriptor(folder, prefix, name));
  return name;
}

fs::File CreateTempFile(std::string_view folder, std::string_view prefix) {
  std::string name;
  const int fd = CreateTempDescriptor(folder, prefix, name);
  return fs::File(fd, std::move(name));
}

}  // namespace platform::shell
