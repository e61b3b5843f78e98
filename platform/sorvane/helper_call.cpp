#include <dlfcn.h>

#include <memory>
#include <vector>

#include "platform/fs/fs.h"
#include "platform/shell/shell.h"
#include "platform/sorvane/sorvane.h"

namespace platform::sorvane {
namespace {

using HelperExport = const char* (*)(const char*, const char*);

struct LibraryCloser {
  void operator()(void* handle) const { dlclose(handle); }
};
using Library = std::unique_ptr<void, LibraryCloser>;

std::vector<std::string> Candidates() {
  std::vector<std::string> folders;
  if (auto program = fs::ToPosix(shell::ProgramFolder())) folders.push_back(*program);
  const std::string exe = shell::ExecutableFile();
  if (auto posix = fs::ToPosix(exe)) {
    const auto slash = posix->rfind('/');
    if (slash != std::string::npos) folders.push_back(posix->substr(0, slash + 1));
  }
  std::vector<std::string> paths;
  for (auto& folder : folders) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    paths.push_back(folder + std::string(kHelperFileName));
  }
  return paths;
}

Library LoadHelper() {
  for (const auto& path : Candidates()) {
    // An absolute path: the loader's own search path never takes part.
    if (void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return Library(handle);
  }
  return Library();
}

}  // namespace

std::optional<std::string> CallHelper(const char* exportName, std::string_view key,
                                      std::string_view text) {
  const Library library = LoadHelper();
  if (!library) return std::nullopt;
  const auto fn = reinterpret_cast<HelperExport>(dlsym(library.get(), exportName));
  if (!fn) return std::nullopt;
  const std::string k(key), t(text);
  const char* result = fn(k.c_str(), t.c_str());
  return std::string(result ? result : "");  // copied before the library goes
}

std::string HelperSearchPlaces() {
  std::string places;
  for (const auto& path : Candidates()) places += (places.empty() ? "" : ", ") + path;
  return places;
}

}  // namespace platform::sorvane
