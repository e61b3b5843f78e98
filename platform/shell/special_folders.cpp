#include "platform/shell/special_folders.h"

#include "platform/fs/fs.h"
#include "platform/shell/user_folders.h"

namespace platform::shell {
namespace {

std::string PosixPathOf(int csidl) {
  switch (csidl) {
    case CSIDL_DESKTOP:
      return UserDirectory("DESKTOP");
    case CSIDL_PERSONAL:
      return UserDirectory("DOCUMENTS");
    case CSIDL_TEMPLATES:
      return UserDirectory("TEMPLATES");
    case CSIDL_APPDATA:
      return ConfigHome();
    case CSIDL_STARTMENU: {
      const std::string data = DataHome();
      return data.empty() ? std::string() : data + "/applications";
    }
    case CSIDL_COMMON_STARTMENU:
      return "/usr/share/applications";
    default:
      return {};
  }
}

std::string Trimmed(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

std::optional<std::string> SpecialFolderPath(int csidl) {
  const std::string posix = Trimmed(PosixPathOf(csidl));
  if (posix.empty() || posix.front() != '/') return std::nullopt;
  const std::string home = Trimmed(HomeFolder());
  if (!home.empty() && posix == home) return std::nullopt;
  std::string win = fs::FromPosix(posix);
  if (!fs::IsDirectory(win)) return std::nullopt;
  if (win.back() != '\\') win += '\\';
  return win;
}

}  // namespace platform::shell
