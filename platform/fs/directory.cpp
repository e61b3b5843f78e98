#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/fs/internal.h"

namespace platform::fs {
namespace {

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};

enum class Detail { Full, ForReading, Kinds };

std::vector<DirEntry> List(std::string_view pattern, Detail detail) {
  const std::string folder = ParentFolder(pattern);
  std::string mask = FileNamePart(pattern);
  if (mask.empty()) mask = "*";  // a bare folder lists everything in it
  const std::string posix = ToPosixOrThrow(folder.empty() ? pattern : folder);

  const int fd = open(posix.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) detail::ThrowErrno("cannot list folder", folder, errno);
  std::unique_ptr<DIR, DirCloser> dir(fdopendir(fd));
  if (!dir) {
    const int err = errno;
    close(fd);
    detail::ThrowErrno("cannot list folder", folder, err);
  }

  std::vector<DirEntry> out;
  for (;;) {
    errno = 0;
    const dirent* e = readdir(dir.get());
    if (!e) {
      if (errno != 0) detail::ThrowErrno("cannot list folder", folder, errno);
      break;
    }
    const std::string_view name(e->d_name);
    if (name == "." || name == "..") continue;
    if (!MatchesMask(name, mask)) continue;
    if (detail == Detail::Kinds && (e->d_type == DT_REG || e->d_type == DT_DIR)) {
      FileInfo kind;
      kind.type = e->d_type == DT_REG ? EntryType::Regular : EntryType::Directory;
      out.push_back({std::string(name), kind});
      continue;
    }
    struct stat lst;
    if (fstatat(fd, e->d_name, &lst, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) continue;  // removed while we listed
      out.push_back({std::string(name), FileInfo{}});
      continue;
    }
    out.push_back(
        {std::string(name), detail::InfoFromLstat(fd, e->d_name, lst, name, detail != Detail::Kinds,
                                                  detail == Detail::ForReading)});
  }
  return out;
}

}  // namespace

std::vector<DirEntry> ListDirectory(std::string_view pattern) {
  return List(pattern, Detail::Full);
}

std::vector<DirEntry> ListDirectoryForReading(std::string_view pattern) {
  return List(pattern, Detail::ForReading);
}

std::vector<DirEntry> ListDirectoryKinds(std::string_view pattern) {
  return List(pattern, Detail::Kinds);
}

}  // namespace platform::fs
