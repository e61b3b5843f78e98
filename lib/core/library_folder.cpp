#include "lib/core/library_folder.h"

#include <dlfcn.h>

#include <mutex>

#include "platform/fs/fs.h"

namespace {

std::mutex gFolderMutex;
std::string gFolderOverride;  // under gFolderMutex

}  // namespace

std::string HalvorinI_LibraryFolder() {
  {
    std::lock_guard lock(gFolderMutex);
    if (!gFolderOverride.empty()) return gFolderOverride;
  }
  Dl_info info{};
  if (!::dladdr(reinterpret_cast<void*>(&HalvorinI_LibraryFolder), &info) || !info.dli_fname)
    return {};
  const std::string self = info.dli_fname;
  const auto slash = self.rfind('/');
  if (self.empty() || self[0] != '/' || slash == std::string::npos) return {};
  return platform::fs::FromPosix(slash == 0 ? "/" : self.substr(0, slash));
}

void HalvorinI_SetLibraryFolderForTesting(const std::string& p__STRING__WindowsFolder) {
  std::lock_guard lock(gFolderMutex);
  gFolderOverride = p__STRING__WindowsFolder;
}

std::string HalvorinI_LibraryFile(const std::string& p__STRING__Name) {
  if (p__STRING__Name.empty() || p__STRING__Name == "." || p__STRING__Name == ".." ||
      p__STRING__Name.find_first_of("\\/:") != std::string::npos)
    return {};
  std::string folder = HalvorinI_LibraryFolder();
  if (folder.empty()) return {};
  if (folder.back() != '\\') folder += '\\';
  return folder + p__STRING__Name;
}
