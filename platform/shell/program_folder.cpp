#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/fs/fs.h"
#include "platform/shell/shell.h"

namespace platform::shell {
namespace {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  std::vector<char> buf(16384);
  struct passwd pw;
  struct passwd* found = nullptr;
  if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && pw.pw_dir)
    return pw.pw_dir;
  return "/";
}

}  // namespace

std::string ProgramFolder() {
  std::string posix;
  if (const char* q = std::getenv("QUORVA_HOME"); q && *q) {
    posix = q;
  } else if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x == '/') {
    posix = std::string(x) + "/QuorvaBackup";  // a relative XDG_DATA_HOME is to be ignored
  } else {
    posix = HomeFolder() + "/.local/share/QuorvaBackup";
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
