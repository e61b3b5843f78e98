#include "platform/aspi/aspi.h"

namespace platform::aspi {

// The setter notifies under the lock, and a waiter that saw the flag takes the lock once before
// it returns: the setter is then done with the event, which its owner may free at once.
void CompletionEvent::Set() {
  std::lock_guard lock(mutex_);
  set_.store(true, std::memory_order_release);
  cv_.notify_all();
}

void CompletionEvent::Reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

// A blocking wait: a spin of yields gave a loaded machine's other work the waiter's core and
// burnt a core of its own while the recorder streamed.
void CompletionEvent::Wait() {
  std::unique_lock lock(mutex_);
  cv_.wait(lock, [&] { return set_.load(); });
}

bool CompletionEvent::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, timeout, [&] { return set_.load(); });
}

bool CompletionEvent::IsSet() {
  if (!set_.load(std::memory_order_acquire)) return false;
  std::lock_guard lock(mutex_);
  return true;
}

}  // namespace platform::aspi
