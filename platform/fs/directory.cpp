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

enum class Detail { Full, ForReading, Basic };

// Hands every entry to `each` as it is read: a walk of a large folder keeps no list of it.
template <typename Each>
void List(std::string_view pattern, Detail detail, Each&& each) {
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
    if (detail == Detail::Basic && e->d_type == DT_DIR) {
      FileInfo kind;
      kind.type = EntryType::Directory;
      each(DirEntry{std::string(name), kind});
      continue;
    }
    struct stat lst;
    if (fstatat(fd, e->d_name, &lst, AT_SYMLINK_NOFOLLOW) != 0) {
      const int err = errno;
      if (err == ENOENT) continue;  // removed while we listed
      FileInfo unknown;
      // A walk still learns that a file is there, to say later why it cannot be read.
      if (detail == Detail::Basic && e->d_type == DT_REG) unknown.type = EntryType::Regular;
      each(DirEntry{std::string(name), unknown, err});
      continue;
    }
    each(DirEntry{std::string(name),
                  detail::InfoFromLstat(fd, e->d_name, lst, name, detail != Detail::Basic,
                                        detail == Detail::ForReading)});
  }
}

std::vector<DirEntry> ListAll(std::string_view pattern, Detail detail) {
  std::vector<DirEntry> out;
  List(pattern, detail, [&out](DirEntry&& e) { out.push_back(std::move(e)); });
  return out;
}

}  // namespace

std::vector<DirEntry> ListDirectory(std::string_view pattern) {
  return ListAll(pattern, Detail::Full);
}

std::vector<DirEntry> ListDirectoryForReading(std::string_view pattern) {
  return ListAll(pattern, Detail::ForReading);
}

void ListDirectoryBasic(std::string_view pattern,
                        const std::function<void(const DirEntry&)>& each) {
  List(pattern, Detail::Basic, [&each](DirEntry&& e) { each(e); });
}

}  // namespace platform::fs
