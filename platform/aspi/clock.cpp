#include "platform/aspi/clock.h"

#include <mutex>
#include <thread>

namespace platform::aspi {

namespace {
std::mutex gClockMutex;
std::shared_ptr<Clock>& ClockSlot() {
  static std::shared_ptr<Clock> clock = std::make_shared<SystemClock>();
  return clock;
}
}  // namespace

Clock::Duration SystemClock::Now() {
  return std::chrono::steady_clock::now().time_since_epoch();
}

void SystemClock::SleepFor(Duration d) {
  if (d.count() > 0) std::this_thread::sleep_for(d);
}

std::shared_ptr<Clock> CurrentClock() {
  std::lock_guard lock(gClockMutex);
  return ClockSlot();
}

void SetClock(std::shared_ptr<Clock> clock) {
  std::lock_guard lock(gClockMutex);
  ClockSlot() = clock ? std::move(clock) : std::make_shared<SystemClock>();
}

}  // namespace platform::aspi
