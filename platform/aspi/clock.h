// Time as the layer sees it. The virtual recorders and the command time-outs read this clock,
// so tests replace it with a FakeClock and never really sleep.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>

namespace platform::aspi {

class Clock {
 public:
  using Duration = std::chrono::nanoseconds;
  virtual ~Clock() = default;
  virtual Duration Now() = 0;  // since an arbitrary start
  virtual void SleepFor(Duration d) = 0;
};

class SystemClock : public Clock {
 public:
  Duration Now() override;
  void SleepFor(Duration d) override;
};

// Time moves only when someone sleeps on it or advances it.
class FakeClock : public Clock {
 public:
  Duration Now() override { return Duration(now_.load()); }
  void SleepFor(Duration d) override { Advance(d); }
  void Advance(Duration d) {
    if (d.count() > 0) now_ += d.count();
  }

 private:
  std::atomic<std::int64_t> now_{0};
};

// The clock in use by the layer (a SystemClock unless a test set another).
std::shared_ptr<Clock> CurrentClock();
void SetClock(std::shared_ptr<Clock> clock);

}  // namespace platform::aspi
