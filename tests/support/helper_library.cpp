#include "tests/support/helper_library.h"

#include <cstdlib>
#include <filesystem>

std::string BuiltHelperLibrary() {
  const char* build = std::getenv("QUORVA_BUILD_DIR");
  return std::string(build ? build : ".") + "/app/ui/libsorvane.so";
}

bool InstallHelperLibrary(const std::string& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::filesystem::copy_file(BuiltHelperLibrary(), folder + "/libsorvane.so",
                             std::filesystem::copy_options::overwrite_existing, ec);
  return !ec;
}
