#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fs/internal.h"

namespace platform::fs {
namespace detail {
namespace {

EntryType TypeOf(mode_t mode) {
  if (S_ISREG(mode)) return EntryType::Regular;
  if (S_ISDIR(mode)) return EntryType::Directory;
  return EntryType::Other;
}

}  // namespace

FileInfo InfoFromLstat(int dirFd, const char* name, const struct stat& lst,
                       std::string_view entryName, bool attributes, bool probeRead) {
  FileInfo info;
  struct stat st = lst;
  if (S_ISLNK(lst.st_mode)) {
    info.isSymlink = true;
    if (fstatat(dirFd, name, &st, 0) != 0) {
      // Dangling (or looping) link: nothing to follow, so it reports the link itself
      // with no type and no size.
      info.isBrokenLink = true;
      info.mtimeSec = lst.st_mtim.tv_sec;
      info.mtimeNsec = static_cast<std::int32_t>(lst.st_mtim.tv_nsec);
      info.atimeSec = lst.st_atim.tv_sec;
      info.ctimeSec = lst.st_ctim.tv_sec;
      info.hidden = attributes && !entryName.empty() && entryName[0] == '.';
      return info;
    }
  }
  info.type = TypeOf(st.st_mode);
  info.size = info.type == EntryType::Directory ? 0 : static_cast<std::uint64_t>(st.st_size);
  info.mtimeSec = st.st_mtim.tv_sec;
  info.mtimeNsec = static_cast<std::int32_t>(st.st_mtim.tv_nsec);
  info.atimeSec = st.st_atim.tv_sec;
  info.ctimeSec = st.st_ctim.tv_sec;
  if (!attributes) return info;
  info.hidden = !entryName.empty() && entryName[0] == '.' && entryName != "." && entryName != "..";
  if (probeRead && faccessat(dirFd, name, R_OK | W_OK, 0) == 0)
    info.readable = true;
  else
    info.readOnly = faccessat(dirFd, name, W_OK, 0) != 0 && errno != ENOENT;
  info.archive = info.type == EntryType::Regular;
  return info;
}

}  // namespace detail

std::optional<FileInfo> Stat(std::string_view winPath) {
  const auto posix = ToPosix(winPath);
  if (!posix) return std::nullopt;
  struct stat lst;
  if (lstat(posix->c_str(), &lst) != 0) return std::nullopt;
  std::string name = FileNamePart(winPath);
  return detail::InfoFromLstat(AT_FDCWD, posix->c_str(), lst, name, true);
}

std::optional<FileInfo> StatBasic(std::string_view winPath) {
  const auto posix = ToPosix(winPath);
  if (!posix) return std::nullopt;
  struct stat lst;
  if (lstat(posix->c_str(), &lst) != 0) return std::nullopt;
  return detail::InfoFromLstat(AT_FDCWD, posix->c_str(), lst, {}, false);
}

std::optional<std::int64_t> BirthTimeSec(std::string_view winPath) {
  const auto posix = ToPosix(winPath);
  if (!posix) return std::nullopt;
  struct statx sx {};
  if (statx(AT_FDCWD, posix->c_str(), 0, STATX_BTIME, &sx) != 0 || !(sx.stx_mask & STATX_BTIME))
    return std::nullopt;
  return static_cast<std::int64_t>(sx.stx_btime.tv_sec);
}

std::optional<std::int64_t> BirthTimeSec(const File& file) {
  struct statx sx {};
  if (!file.IsOpen() || statx(file.Descriptor(), "", AT_EMPTY_PATH, STATX_BTIME, &sx) != 0 ||
      !(sx.stx_mask & STATX_BTIME))
    return std::nullopt;
  return static_cast<std::int64_t>(sx.stx_btime.tv_sec);
}

bool Exists(std::string_view winPath) {
  // The name is there, even when it is a dangling link: creating over it would write
  // through the link.
  const auto posix = ToPosix(winPath);
  struct stat lst;
  return posix && lstat(posix->c_str(), &lst) == 0;
}

bool IsDirectory(std::string_view winPath) {
  const auto info = Stat(winPath);
  return info && info->type == EntryType::Directory;
}

bool IsRegularFile(std::string_view winPath) {
  const auto info = Stat(winPath);
  return info && info->type == EntryType::Regular;
}

}  // namespace platform::fs
