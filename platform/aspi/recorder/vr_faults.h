// Failures a test asks a virtual recorder for, and the slow drain of its buffer.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>

#include "platform/aspi/clock.h"
#include "platform/aspi/recorder/vr_read_faults.h"

namespace platform::aspi::vr {

// A fault for the next `times` commands: those of one opcode, or, without an opcode, every
// command a drive would refuse in that state.
struct CountedFault {
  int times = 0;
  std::optional<std::uint8_t> opcode;
  // Consumes one when it applies to this command.
  bool Take(std::uint8_t op, bool applies) {
    if (times <= 0) return false;
    if (opcode ? *opcode != op : !applies) return false;
    --times;
    return true;
  }
  // Whether Take could consume one for this opcode.
  bool Applies(std::uint8_t op) const { return times > 0 && (!opcode || *opcode == op); }
};

struct Faults {
  CountedFault busy;      // target status BUSY
  CountedFault notReady;  // 2/04/<notReadyAscq>
  std::uint8_t notReadyAscq = 0x01;
  CountedFault hang;                    // never answers: the command times out
  std::uint8_t unitAttention = 0;       // 28h or 29h, reported once
  std::set<std::int64_t> mediumErrors;  // LBAs that read as 3/11/05
  bool rejectImmed = false;             // Immed set: 5/24/00
  ReadFaults reads;                     // single sectors: senses and damage
  // READ DISC INFORMATION reports this lead-in start (M, S, F bytes) on an open CD.
  std::optional<std::array<std::uint8_t, 3>> leadInStart;
};

// The drive buffer with a drain at a chosen speed. Without a speed the drive writes at once
// and its buffer is always empty.
class DrainModel {
 public:
  void SetSpeed(std::uint64_t bytesPerSecond, Clock::Duration now);
  bool Active() const { return speed_ > 0; }
  std::uint64_t Capacity() const { return capacity_; }
  std::uint64_t Blank(Clock::Duration now);

  enum class Outcome { Ok, Underrun };
  // Data of a WRITE enters the buffer; waits on the clock while it is full. Underrun when the
  // buffer ran empty since the last write of the track.
  Outcome Write(std::uint64_t bytes, Clock& clock);
  // SYNCHRONIZE CACHE: waits for the buffer to drain, or with Immed lets it drain while the
  // drive answers "long write in progress".
  void Flush(bool immed, Clock& clock);
  bool Flushing(Clock::Duration now);
  // The recorder's own storage took this long: the buffer does not drain meanwhile, so a
  // stalled image folder is not taken for a host that failed to keep up.
  void Hold(Clock::Duration took) {
    if (Active() && took.count() > 0) last_ += took;
  }
  void StopStreaming() { streaming_ = false; }
  int ProtectedUnderruns() const { return protectedUnderruns_; }
  void CountProtectedUnderrun() { ++protectedUnderruns_; }

 private:
  bool Update(Clock::Duration now);  // true when it ran empty while streaming

  std::uint64_t speed_ = 0;
  std::uint64_t capacity_ = 2u << 20;
  double fill_ = 0;
  Clock::Duration last_{};
  Clock::Duration flushUntil_{};
  bool streaming_ = false;
  int protectedUnderruns_ = 0;
};

}  // namespace platform::aspi::vr
