#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "platform/fs/internal.h"

namespace platform::fs {

std::vector<std::uint8_t> ReadWholeFile(std::string_view winPath) {
  File f(winPath, OpenMode::Read);
  std::vector<std::uint8_t> data;
  // The size is a hint only: the file may change while it is read.
  const std::uint64_t hint = f.Size();
  if (hint > 0 && hint < (std::uint64_t{1} << 32)) data.reserve(static_cast<size_t>(hint));
  std::uint8_t chunk[65536];
  for (;;) {
    const size_t got = f.Read(chunk, sizeof chunk);
    if (got == 0) break;
    data.insert(data.end(), chunk, chunk + got);
  }
  return data;
}

void WriteWholeFileAtomic(std::string_view winPath, const void* data, size_t n) {
  static std::atomic<unsigned> counter{0};
  const std::string folder = ParentFolder(winPath);
  const std::string name = FileNamePart(winPath);
  if (name.empty()) throw FsError("not a file name: " + std::string(winPath), EINVAL);
  const std::string target = ToPosixOrThrow(winPath);

  // A hidden temporary beside the target, so the rename stays on one file system.
  File out;
  std::string temp;
  for (int attempt = 0;; ++attempt) {
    char suffix[40];
    std::snprintf(suffix, sizeof suffix, ".%lx.%x.tmp", static_cast<unsigned long>(getpid()),
                  counter.fetch_add(1));
    temp = folder + "." + name + suffix;
    try {
      out = File(temp, OpenMode::CreateNew);
      break;
    } catch (const FsError& e) {
      if (e.error() != EEXIST || attempt >= 100) throw;
    }
  }
  const std::string tempPosix = ToPosixOrThrow(temp);
  try {
    // Keep the permissions of the file being replaced.
    struct stat st;
    if (stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode))
      (void)fchmod(out.Descriptor(), st.st_mode & 07777);
    out.Write(data, n);
    out.Flush();
    out.Close();
    if (rename(tempPosix.c_str(), target.c_str()) != 0)
      detail::ThrowErrno("cannot replace", winPath, errno);
  } catch (...) {
    out = File();
    unlink(tempPosix.c_str());
    throw;
  }
  // Make the rename itself durable; a failure here loses nothing already written.
  SyncFolder(folder);
}

}  // namespace platform::fs
