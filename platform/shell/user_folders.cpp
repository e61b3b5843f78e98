#include "platform/shell/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <vector>

namespace platform::shell {
namespace {

bool IsAbsolute(const char* p) {
  return p && p[0] == '/';
}

std::string Below(const std::string& home, const char* rest) {
  if (home.empty()) return {};
  return home + (home.back() == '/' ? "" : "/") + rest;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// One line: the name and the path it gives, or false when the line is of no known form.
bool ParseLine(std::string_view line, std::string_view home, std::string& name, std::string& path) {
  size_t i = line.find_first_not_of(" \t");
  if (i == std::string_view::npos) return false;
  line.remove_prefix(i);
  constexpr std::string_view kPrefix = "XDG_";
  if (line.substr(0, kPrefix.size()) != kPrefix) return false;
  line.remove_prefix(kPrefix.size());
  const size_t dir = line.find("_DIR");
  if (dir == std::string_view::npos || dir == 0) return false;
  name = std::string(line.substr(0, dir));
  line.remove_prefix(dir + 4);
  i = line.find_first_not_of(" \t");
  if (i == std::string_view::npos || line[i] != '=') return false;
  line.remove_prefix(i + 1);
  i = line.find_first_not_of(" \t");
  if (i == std::string_view::npos || line[i] != '"') return false;
  line.remove_prefix(i + 1);

  constexpr std::string_view kHome = "$HOME";
  if (line.substr(0, kHome.size()) == kHome &&
      (line.size() == kHome.size() || line[kHome.size()] == '/' || line[kHome.size()] == '"')) {
    if (home.empty()) return false;
    path = home == "/" ? std::string() : std::string(home);
    line.remove_prefix(kHome.size());
  } else if (!line.empty() && line.front() == '/') {
    path.clear();
  } else {
    return false;
  }
  bool closed = false;
  for (size_t k = 0; k < line.size(); ++k) {
    if (line[k] == '"') {
      closed = true;
      break;
    }
    if (line[k] == '\\' && k + 1 < line.size()) ++k;
    path += line[k];
  }
  if (!closed) return false;
  if (path.empty()) path = "/";  // "$HOME" of the root
  path = WithoutTrailingSlashes(std::move(path));
  return true;
}

}  // namespace

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); IsAbsolute(home)) return home;
  const long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd pw;
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found &&
      IsAbsolute(found->pw_dir))
    return found->pw_dir;
  return {};
}

std::string ConfigHome() {
  // The XDG rules ignore a relative value.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); IsAbsolute(xdg)) return xdg;
  return Below(HomeFolder(), ".config");
}

std::string DataHome() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); IsAbsolute(xdg)) return xdg;
  return Below(HomeFolder(), ".local/share");
}

std::map<std::string, std::string> ParseUserDirs(std::string_view text, std::string_view home) {
  const std::string homeFolder = WithoutTrailingSlashes(std::string(home));
  std::map<std::string, std::string> dirs;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    std::string name, path;
    if (ParseLine(line, homeFolder, name, path)) dirs[name] = std::move(path);
  }
  return dirs;
}

std::string UserDirectory(std::string_view name) {
  const std::string home = HomeFolder();
  const std::string config = ConfigHome();
  if (!config.empty()) {
    std::ifstream in(config + "/user-dirs.dirs", std::ios::binary);
    // A sane file is a few hundred bytes; the rest of a huge one is not read.
    constexpr size_t kMaxBytes = 1 << 20;
    std::string text;
    if (in) {
      text.resize(kMaxBytes);
      in.read(text.data(), static_cast<std::streamsize>(kMaxBytes));
      text.resize(static_cast<size_t>(in.gcount()));
    }
    const auto dirs = ParseUserDirs(text, home);
    if (const auto it = dirs.find(std::string(name)); it != dirs.end()) return it->second;
  }
  if (name == "DESKTOP") return Below(home, "Desktop");
  return WithoutTrailingSlashes(home);
}

}  // namespace platform::shell
