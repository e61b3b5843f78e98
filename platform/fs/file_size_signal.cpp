#include <csignal>
#include <mutex>

#include "platform/fs/internal.h"

namespace platform::fs::detail {

void IgnoreFileSizeSignal() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Leave a handler the program installed itself alone.
    struct sigaction old {};
    if (sigaction(SIGXFSZ, nullptr, &old) != 0) return;
    if (!(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_DFL) {
      struct sigaction ign {};
      ign.sa_handler = SIG_IGN;
      sigemptyset(&ign.sa_mask);
      sigaction(SIGXFSZ, &ign, nullptr);
    }
  });
}

}  // namespace platform::fs::detail
