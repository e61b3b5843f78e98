#include <cstdlib>

#include "platform/fs/fs.h"
#include "platform/shell/shell.h"
#include "platform/shell/user_folders.h"

namespace platform::shell {

std::string ProgramFolder() {
  std::string posix;
  if (const char* q = std::getenv("QUORVA_HOME"); q && *q) {
    posix = q;
  } else {
    // Without a home folder it lies below the root.
    const std::string data = DataHome();
    posix = (data.empty() ? std::string("/.local/share") : data) + "/QuorvaBackup";
  }
  std::string win = fs::FromPosix(posix);
  if (win.back() != '\\') win += '\\';
  // Created when missing; a folder that cannot be made fails at its first use, with the
  // path in the error.
  fs::CreateDirectories(win);
  return win;
}

bool DeleteFilePermanently(std::string_view winPath) {
  return fs::DeleteFile(winPath);
}

}  // namespace platform::shell
