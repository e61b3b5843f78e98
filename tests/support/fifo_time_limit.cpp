#include "tests/support/fifo_time_limit.h"

#include <fcntl.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

bool ReturnsWithin(std::chrono::seconds limit, const std::vector<std::string>& fifos,
                   const std::function<void()>& call) {
  std::mutex mutex;
  std::condition_variable returned;
  bool done = false;
  std::thread worker([&] {
    call();
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    returned.notify_all();
  });
  std::unique_lock<std::mutex> lock(mutex);
  const bool inTime = returned.wait_for(lock, limit, [&] { return done; });
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!done) {
    // A writer that opens and closes again lets a blocked open return; the read after it
    // sees the end of the data.
    for (const std::string& fifo : fifos) {
      const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) ::close(fd);
    }
    if (std::chrono::steady_clock::now() > giveUp) {
      std::fprintf(stderr, "a call still runs a minute past its time limit\n");
      std::_Exit(1);
    }
    returned.wait_for(lock, std::chrono::milliseconds(50), [&] { return done; });
  }
  lock.unlock();
  worker.join();
  return inTime;
}
