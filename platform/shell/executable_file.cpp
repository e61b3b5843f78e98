#include <unistd.h>

#include <vector>

#include "platform/fs/fs.h"
#include "platform/shell/shell.h"

namespace platform::shell {

std::string ExecutableFile() {
  std::vector<char> buf(4096);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buf.size())
      return fs::FromPosix(std::string(buf.data(), static_cast<size_t>(n)));
    if (buf.size() >= (1u << 20)) return {};
    buf.resize(buf.size() * 2);
  }
}

}  // namespace platform::shell
