#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/shell/shell.h"

namespace platform::shell {

std::string UserName() {
  const uid_t uid = getuid();
  long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(hint > 0 ? static_cast<size_t>(hint) : 16384);
  for (;;) {
    struct passwd pw;
    struct passwd* found = nullptr;
    const int rc = getpwuid_r(uid, &pw, buf.data(), buf.size(), &found);
    if (rc == ERANGE && buf.size() < (1u << 20)) {
      buf.resize(buf.size() * 2);
      continue;
    }
    if (rc == 0 && found && pw.pw_name) return pw.pw_name;
    break;
  }
  // An account without a passwd entry (containers): the login name, else the number.
  if (const char* user = std::getenv("USER"); user && *user) return user;
  return std::to_string(uid);
}

std::string ComputerName() {
  char buf[256 + 1] = {};
  if (gethostname(buf, sizeof buf - 1) != 0) return {};
  return buf;
}

bool IsWindowsNT() {
  return true;
}

}  // namespace platform::shell
