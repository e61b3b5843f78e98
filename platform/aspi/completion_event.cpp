#include <thread>

#include "platform/aspi/aspi.h"

namespace platform::aspi {

void CompletionEvent::Set() {
  {
    std::lock_guard lock(mutex_);
    set_ = true;
  }
  cv_.notify_all();
}

void CompletionEvent::Reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

void CompletionEvent::Wait() {
  // Commands of the virtual recorders complete within microseconds: a short spin spares the
  // sleep and wake-up of a blocking wait.
  for (int i = 0; i < 4000; ++i) {
    if (set_.load(std::memory_order_acquire)) return;
    std::this_thread::yield();
  }
  std::unique_lock lock(mutex_);
  cv_.wait(lock, [&] { return set_.load(); });
}

bool CompletionEvent::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, timeout, [&] { return set_.load(); });
}

bool CompletionEvent::IsSet() {
  return set_.load(std::memory_order_acquire);
}

}  // namespace platform::aspi
