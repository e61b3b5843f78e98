#include "tests/support/child_process.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/temp_dir.h"

namespace {

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

std::string ThisProgram() {
  std::string path(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
  path.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return path;
}

}  // namespace

std::string SanitizerRuntimeLibrary() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    const auto slash = line.find('/');
    if (slash == std::string::npos) continue;
    const std::string path = line.substr(slash);
    const std::string name = path.substr(path.rfind('/') + 1);
    if (name.rfind("libasan.so", 0) == 0 || name.rfind("libclang_rt.asan", 0) == 0) return path;
  }
  return {};
}

bool BuiltWithAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#else
  return false;
#endif
#else
  return false;
#endif
}

std::string PythonForBuiltLibraries() {
  const std::string runtime = SanitizerRuntimeLibrary();
  if (runtime.empty()) return QUORVA_PYTHON;
  // The interpreter's own allocations are not this build's to check.
  return "env LD_PRELOAD=" + Quote(runtime) + " ASAN_OPTIONS=detect_leaks=0 " + QUORVA_PYTHON;
}

int RunThisProgram(const std::string& filter, const std::vector<std::string>& environment,
                   std::string* output) {
  std::string command = "env " + std::string(kChildMarker) + "=1";
  for (const auto& e : environment) command += " " + Quote(e);
  command += " " + Quote(ThisProgram()) + " " + Quote("--gtest_filter=" + filter);
  return RunCommand(command, output);
}

bool IsTestChild() {
  const char* marker = std::getenv(kChildMarker);
  return marker && *marker == '1';
}
