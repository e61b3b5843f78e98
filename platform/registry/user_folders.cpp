#include "platform/registry/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace platform::registry {
namespace {

bool IsAbsolute(const char* p) {
  return p && p[0] == '/';
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); IsAbsolute(home)) return home;
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd pw;
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found &&
      IsAbsolute(found->pw_dir))
    return found->pw_dir;
  return {};
}

}  // namespace

std::string ConfigHome() {
  // The XDG rules ignore a relative value.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); IsAbsolute(xdg)) return xdg;
  const std::string home = HomeFolder();
  if (home.empty()) return {};
  return home + (home.back() == '/' ? ".config" : "/.config");
}

}  // namespace platform::registry
