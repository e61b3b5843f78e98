// The user's user-dirs.dirs file, as the special folders read it: any text, any home folder.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/shell/user_folders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const char* home : {"/home/ann", "/", ""}) {
    for (const auto& [name, path] : platform::shell::ParseUserDirs(text, home)) {
      // Every path found is absolute and the name it belongs to is not empty.
      if (name.empty() || path.empty() || path.front() != '/') __builtin_trap();
    }
  }
  return 0;
}
