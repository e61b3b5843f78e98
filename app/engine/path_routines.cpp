#include "app/engine/path_routines.h"

#include "platform/shell/shell.h"
#include "platform/text/text.h"

namespace {

// Index just past the folder part: after the last backslash or colon, 0 when there is none.
size_t NameStart(std::string_view path) {
  const size_t sep = path.find_last_of("\\:");
  return sep == std::string_view::npos ? 0 : sep + 1;
}

}  // namespace

std::string AddTrailingBackslash(std::string_view path) {
  std::string out(path);
  if (out.empty() || out.back() != '\\') out.push_back('\\');
  return out;
}

std::string PathWithoutExtension(std::string_view path) {
  std::string_view name = path.substr(NameStart(path));
  const size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return std::string(name);
}

std::string ExtractFileExt(std::string_view path) {
  const std::string_view name = path.substr(NameStart(path));
  const size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string ExtractFilePath(std::string_view path) {
  return std::string(path.substr(0, NameStart(path)));
}

bool IsWindowsNT() {
  return platform::shell::IsWindowsNT();
}

bool IsPathPrefix(std::string_view prefix, std::string_view path) {
  return platform::text::StartsWithCI(prefix, path);
}

bool IsPathPrefixExact(std::string_view prefix, std::string_view path) {
  return path.starts_with(prefix);
}
