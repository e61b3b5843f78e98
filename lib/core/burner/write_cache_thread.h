// The events of the write-cache thread: manual-reset, as the consumer protocol waits on them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

class CHalvorin_ManualResetEvent {
 public:
  void Set() {
    std::lock_guard<std::mutex> guard(m__MUTEX__Event);
    m__BOOLEAN__IsSet = true;
    m__CONDITION__Event.notify_all();
  }
  void Reset() {
    std::lock_guard<std::mutex> guard(m__MUTEX__Event);
    m__BOOLEAN__IsSet = false;
  }
  bool IsSet() {
    std::lock_guard<std::mutex> guard(m__MUTEX__Event);
    return m__BOOLEAN__IsSet;
  }
  // True when set within the time.
  bool Wait(std::chrono::milliseconds p__Timeout) {
    std::unique_lock<std::mutex> guard(m__MUTEX__Event);
    return m__CONDITION__Event.wait_for(guard, p__Timeout, [this] { return m__BOOLEAN__IsSet; });
  }

 private:
  std::mutex m__MUTEX__Event;
  std::condition_variable m__CONDITION__Event;
  bool m__BOOLEAN__IsSet = false;
};

// Wakes whoever polls a queue as soon as it changes, so that polls stay short without spinning.
// A waiter may ask for several changes first: the notifier then wakes it once, not each time.
class CHalvorin_QueueSignal {
 public:
  void Notify() {
    std::lock_guard<std::mutex> guard(m__MUTEX__Signal);
    ++m__ULONGLONG__Generation;
    if (m__LONG__Waiters > 0 && m__ULONGLONG__Generation >= m__ULONGLONG__WakeAt)
      m__CONDITION__Signal.notify_all();
  }
  // Wakes every waiter however many changes it asked for (a stop request).
  void NotifyAll() {
    std::lock_guard<std::mutex> guard(m__MUTEX__Signal);
    ++m__ULONGLONG__Generation;
    ++m__ULONGLONG__Broadcasts;
    m__CONDITION__Signal.notify_all();
  }
  void WaitFor(std::chrono::milliseconds p__Timeout) { WaitForChanges(1, p__Timeout); }
  // Returns after `count` changes, a NotifyAll, or the time-out, whichever comes first.
  void WaitForChanges(unsigned long long p__ULONGLONG__Count,
                      std::chrono::milliseconds p__Timeout) {
    std::unique_lock<std::mutex> guard(m__MUTEX__Signal);
    const unsigned long long wakeAt = m__ULONGLONG__Generation + p__ULONGLONG__Count;
    const unsigned long long broadcasts = m__ULONGLONG__Broadcasts;
    if (m__LONG__Waiters++ == 0 || wakeAt < m__ULONGLONG__WakeAt) m__ULONGLONG__WakeAt = wakeAt;
    m__CONDITION__Signal.wait_for(guard, p__Timeout, [&] {
      return m__ULONGLONG__Generation >= wakeAt || m__ULONGLONG__Broadcasts != broadcasts;
    });
    // Waiters that remain are woken at the next change and wait again for their own count.
    if (--m__LONG__Waiters > 0) m__ULONGLONG__WakeAt = m__ULONGLONG__Generation + 1;
  }

 private:
  std::mutex m__MUTEX__Signal;
  std::condition_variable m__CONDITION__Signal;
  unsigned long long m__ULONGLONG__Generation = 0;
  unsigned long long m__ULONGLONG__WakeAt = 0;
  unsigned long long m__ULONGLONG__Broadcasts = 0;
  long m__LONG__Waiters = 0;
};
