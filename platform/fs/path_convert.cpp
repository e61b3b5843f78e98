#include <filesystem>
#include <system_error>

#include "platform/fs/fs.h"

namespace platform::fs {
namespace {

bool IsRootDrive(std::string_view p) {
  return p.size() >= 2 && (p[0] == 'Z' || p[0] == 'z') && p[1] == ':';
}

}  // namespace

std::optional<std::string> ToPosix(std::string_view winPath) {
  // Only "Z:" and "Z:\..." name the POSIX tree; "Z:name" is relative to a drive's current
  // folder, which does not exist here. A NUL could never reach a system call intact.
  if (!IsRootDrive(winPath)) return std::nullopt;
  if (winPath.find('\0') != std::string_view::npos) return std::nullopt;
  std::string_view rest = winPath.substr(2);
  if (rest.empty()) return std::string("/");
  if (rest[0] != '\\' && rest[0] != '/') return std::nullopt;
  std::string out(rest);
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

std::string ToPosixOrThrow(std::string_view winPath) {
  if (auto p = ToPosix(winPath)) return *p;
  throw FsError("path has no place in the file system: " + std::string(winPath), EINVAL);
}

std::string FromPosix(std::string_view posixPath) {
  std::string abs;
  if (posixPath.empty() || posixPath[0] != '/') {
    std::error_code ec;
    const auto cwd = std::filesystem::current_path(ec);
    if (ec) throw FsError("cannot read the current folder: " + ec.message(), ec.value());
    abs = cwd.string();
    if (!posixPath.empty()) {
      if (abs.back() != '/') abs += '/';
      abs += posixPath;
    }
  } else {
    abs = posixPath;
  }
  // A backslash inside a POSIX name is kept as it is: the Windows form then reads it as a
  // separator, so such a name does not survive the round trip (it cannot be told apart).
  std::string out = "Z:";
  out.reserve(abs.size() + 2);
  for (char c : abs) {
    if (c == '/') {
      if (out.back() != '\\') out += '\\';  // "//" is one separator
    } else {
      out += c;
    }
  }
  return out;
}

std::string FullPathName(std::string_view name) {
  if (name.empty()) throw FsError("not a file name", EINVAL);
  std::string full;
  if (IsRootDrive(name)) {
    full = name;
  } else if (name.find(':') == std::string_view::npos && name[0] != '\\' && name[0] != '/') {
    std::error_code ec;
    const auto cwd = std::filesystem::current_path(ec);
    if (ec) throw FsError("cannot read the current folder: " + ec.message(), ec.value());
    full = FromPosix(cwd.string());
    if (full.back() != '\\') full += '\\';
    full += name;
  } else {
    throw FsError("path has no place in the file system: " + std::string(name), EINVAL);
  }
  for (char& c : full)
    if (c == '/') c = '\\';
  if (!ToPosix(full)) throw FsError("path has no place in the file system: " + full, EINVAL);
  return full;
}

std::string ParentFolder(std::string_view winPath) {
  const size_t pos = winPath.find_last_of("\\/:");
  if (pos == std::string_view::npos) return {};
  return std::string(winPath.substr(0, pos + 1));
}

std::string FileNamePart(std::string_view winPath) {
  const size_t pos = winPath.find_last_of("\\/:");
  if (pos == std::string_view::npos) return std::string(winPath);
  return std::string(winPath.substr(pos + 1));
}

}  // namespace platform::fs
