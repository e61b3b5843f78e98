#include <dlfcn.h>

#include <cstddef>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/media/media.h"

namespace platform::media {

namespace {

constexpr const char* kRuntimeName = "libhalvorin_media.so";
constexpr std::uint32_t kErrorModuleNotFound = 126;
constexpr std::uint32_t kErrorProcedureNotFound = 127;

std::mutex gNameMutex;
std::string gNameOverride;  // under gNameMutex

// Where the runtime is looked for: the folder of the program or library that holds this code,
// then that object's run path, never a relative folder (the current one). The loader's own
// search by name is not used for these: it goes by the caller of dlopen, which a sanitizer's
// interceptor replaces.
std::vector<std::string> SearchFolders() {
  std::vector<std::string> folders;
  Dl_info info{};
  if (!::dladdr(reinterpret_cast<void*>(&SearchFolders), &info) || !info.dli_fname) return folders;
  const std::string self = info.dli_fname;
  if (const auto slash = self.rfind('/'); slash != std::string::npos && self[0] == '/')
    folders.push_back(self.substr(0, slash));
  void* object = ::dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
  if (!object) object = ::dlopen(nullptr, RTLD_LAZY);  // this code is in the program itself
  if (!object) return folders;
  Dl_serinfo size{};
  if (::dlinfo(object, RTLD_DI_SERINFOSIZE, &size) == 0 && size.dls_size >= sizeof(Dl_serinfo)) {
    std::vector<std::max_align_t> storage(size.dls_size / sizeof(std::max_align_t) + 1);
    auto* paths = reinterpret_cast<Dl_serinfo*>(storage.data());
    *paths = size;
    if (::dlinfo(object, RTLD_DI_SERINFO, paths) == 0)
      for (unsigned i = 0; i < paths->dls_cnt; ++i)
        if (const char* p = paths->dls_serpath[i].dls_name; p && p[0] == '/') folders.push_back(p);
  }
  ::dlclose(object);
  return folders;
}

}  // namespace

std::string RuntimeName() {
  std::lock_guard lock(gNameMutex);
  return gNameOverride.empty() ? kRuntimeName : gNameOverride;
}

void testing::SetRuntimeName(const std::string& name) {
  std::lock_guard lock(gNameMutex);
  gNameOverride = name;
}

RuntimeModule::~RuntimeModule() {
  Free();
}

RuntimeModule::RuntimeModule(RuntimeModule&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

RuntimeModule& RuntimeModule::operator=(RuntimeModule&& other) noexcept {
  if (this != &other) {
    Free();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

std::uint32_t RuntimeModule::Load() {
  if (handle_) return 0;
  // It stays mapped once loaded: the decoders below it are not made to be unloaded.
  constexpr int kFlags = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE;
  const std::string name = RuntimeName();
  for (const std::string& folder : SearchFolders()) {
    handle_ = ::dlopen((folder + "/" + name).c_str(), kFlags);
    if (handle_) return 0;
  }
  handle_ = ::dlopen(name.c_str(), kFlags);  // the system's folders
  return handle_ ? 0 : kErrorModuleNotFound;
}

void* RuntimeModule::GetProcAddress(const char* name, std::uint32_t* error) const {
  void* address = handle_ && name ? ::dlsym(handle_, name) : nullptr;
  if (error) *error = address ? 0 : kErrorProcedureNotFound;
  return address;
}

void RuntimeModule::Free() {
  if (void* h = std::exchange(handle_, nullptr)) ::dlclose(h);
}

}  // namespace platform::media
