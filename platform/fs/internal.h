// Helpers shared by the files of the file-system layer; not part of its interface.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

#include "platform/fs/fs.h"

namespace platform::fs::detail {

// "<what> <path>: <strerror>" as an FsError carrying errno `err`.
[[noreturn]] void ThrowErrno(std::string_view what, std::string_view path, int err);

// FileInfo of a directory entry or path from its lstat record; follows a symbolic link
// through `dirFd`/`name` (as fstatat takes them) to report its target. Without `attributes`
// hidden, read only and archive stay false; with `probeRead` too, `readable` is set where one
// permission check finds the entry both readable and writable.
FileInfo InfoFromLstat(int dirFd, const char* name, const struct stat& lst,
                       std::string_view entryName, bool attributes, bool probeRead = false);

// Writes beyond RLIMIT_FSIZE must fail with EFBIG instead of killing the process.
void IgnoreFileSizeSignal();

}  // namespace platform::fs::detail
