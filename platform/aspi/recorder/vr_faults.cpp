#include "platform/aspi/recorder/vr_faults.h"

#include <algorithm>
#include <cmath>

namespace platform::aspi::vr {

namespace {
double Seconds(Clock::Duration d) {
  return std::chrono::duration<double>(d).count();
}
}  // namespace

void DrainModel::SetSpeed(std::uint64_t bytesPerSecond, Clock::Duration now) {
  speed_ = bytesPerSecond;
  fill_ = 0;
  last_ = now;
  flushUntil_ = now;
  streaming_ = false;
}

bool DrainModel::Update(Clock::Duration now) {
  if (!Active()) {
    fill_ = 0;
    return false;
  }
  const double drained = now > last_ ? Seconds(now - last_) * static_cast<double>(speed_) : 0.0;
  last_ = std::max(last_, now);
  const bool ranEmpty = streaming_ && fill_ > 0 && drained >= fill_;
  fill_ = std::max(0.0, fill_ - drained);
  return ranEmpty;
}

std::uint64_t DrainModel::Blank(Clock::Duration now) {
  Update(now);
  return capacity_ - static_cast<std::uint64_t>(std::ceil(fill_));
}

DrainModel::Outcome DrainModel::Write(std::uint64_t bytes, Clock& clock) {
  if (!Active()) return Outcome::Ok;
  const bool ranEmpty = Update(clock.Now());
  fill_ += static_cast<double>(bytes);
  streaming_ = true;
  const double excess = fill_ - static_cast<double>(capacity_);
  if (excess > 0) {
    clock.SleepFor(std::chrono::duration_cast<Clock::Duration>(
        std::chrono::duration<double>(excess / static_cast<double>(speed_))));
    Update(clock.Now());
    fill_ = std::min(fill_, static_cast<double>(capacity_));
  }
  return ranEmpty ? Outcome::Underrun : Outcome::Ok;
}

void DrainModel::Flush(bool immed, Clock& clock) {
  if (!Active()) return;
  Update(clock.Now());
  streaming_ = false;
  const auto wait = std::chrono::duration_cast<Clock::Duration>(
      std::chrono::duration<double>(fill_ / static_cast<double>(speed_)));
  if (immed) {
    flushUntil_ = clock.Now() + wait;
  } else {
    clock.SleepFor(wait);
    Update(clock.Now());
    fill_ = 0;
  }
}

bool DrainModel::Flushing(Clock::Duration now) {
  if (!Active() || now >= flushUntil_) return false;
  Update(now);
  return true;
}

}  // namespace platform::aspi::vr
