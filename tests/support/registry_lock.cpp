#include "tests/support/registry_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

TRegistryHeldLocked::TRegistryHeldLocked(const std::string& database, const std::string& scratch) {
  // Commands come through a FIFO: the program ends when this process closes it, even when
  // this process dies.
  const std::string fifo = scratch + "/registry-lock-commands";
  unlink(fifo.c_str());
  if (mkfifo(fifo.c_str(), 0600) != 0) return;
  output_ = popen(("exec sqlite3 -bail " + Quote(database) + " < " + Quote(fifo)).c_str(), "r");
  if (!output_) return;
  // The FIFO opens for writing once the program has opened it for reading.
  for (int i = 0; i < 1000 && commands_ < 0; ++i) {
    commands_ = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (commands_ < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (commands_ < 0 || fcntl(commands_, F_SETFL, 0) != 0) return;
  if (!WriteAll(commands_,
                ".timeout 5000\nPRAGMA journal_mode=DELETE;\nBEGIN EXCLUSIVE;\nSELECT 'locked';\n"))
    return;
  char line[256];
  while (std::fgets(line, sizeof line, output_)) {
    if (std::strcmp(line, "locked\n") == 0) {
      locked_ = true;
      break;
    }
  }
}

TRegistryHeldLocked::~TRegistryHeldLocked() {
  Release();
}

bool TRegistryHeldLocked::Release() {
  bool ok = locked_;
  if (commands_ >= 0) {
    ok = WriteAll(commands_, "COMMIT;\n") && ok;
    close(commands_);
    commands_ = -1;
  }
  if (!output_) return false;
  ok = pclose(output_) == 0 && ok;
  output_ = nullptr;
  return ok;
}
