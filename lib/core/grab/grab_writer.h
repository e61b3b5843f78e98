// Write-behind of a grab's transfers on a thread of its own: the engine reads into one of the
// writer's buffers while the transfers it handed over before are written to the file, in order,
// several in one system call. Its buffers come back zeroed (cleared on the writer's thread), so
// that the engine does not clear them before each read. The first failed write is kept, nothing
// after it reaches the file, and the engine's next call throws it; a writer destroyed before
// Drain drops what it had not written (its file is removed then).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "lib/core/halvorin_exception.h"

namespace platform::fs {
class File;
}

class CHalvorin_GrabWriter final {
 public:
  // Enough for the reads to run ahead of the file for a while, few enough to stay warm.
  static constexpr int kBuffers = 16;
  // The waiting writer is woken once this many transfers are queued, not for each one.
  static constexpr std::size_t kWakeAt = 4;

  explicit CHalvorin_GrabWriter(platform::fs::File& p__File);
  ~CHalvorin_GrabWriter();
  CHalvorin_GrabWriter(const CHalvorin_GrabWriter&) = delete;
  CHalvorin_GrabWriter& operator=(const CHalvorin_GrabWriter&) = delete;

  // A free transfer buffer of 61,440 zero bytes (exception 4 "<method>(): l__PUCHAR__Buffer ==
  // NULL!!!" when they or the writer's thread could not be had); waits while all are queued.
  std::uint8_t* Acquire(const char* p__PCHAR__Method);
  // The buffer's first `size` bytes go to the file; the buffer comes back when written.
  void Submit(std::uint8_t* p__PUCHAR__Buffer, std::uint32_t p__ULONG__Size,
              const char* p__PCHAR__Method);
  // A buffer that is not to be written.
  void Release(std::uint8_t* p__PUCHAR__Buffer);
  // Writes every transfer handed over, then flushes the file.
  void Drain(const char* p__PCHAR__Method);

 private:
  struct Job {
    std::uint8_t* buffer;
    std::uint32_t size;
    const char* method;
  };
  void Run();
  // Writes the jobs in order; the failure of the first one that could not be written whole.
  struct Failure {
    bool isFailed = false;
    CHalvorin_Exception* exception = nullptr;  // null also when it could not be allocated
  };
  Failure Write(const std::vector<Job>& p__Jobs) noexcept;
  void WakeWriterIf(bool p__BOOLEAN__IsDue);
  void ThrowIfFailed();  // with the lock held

  platform::fs::File& m__File;
  std::unique_ptr<std::uint8_t[]> m__PUCHAR__Buffers;
  std::mutex m__MUTEX__Lock;
  std::condition_variable m__CONDITION__Writer;  // a job or the stop for the writer
  std::condition_variable m__CONDITION__Caller;  // a buffer back, or the queue written
  std::vector<std::uint8_t*> m__VECTOR__Free;
  std::vector<Job> m__VECTOR__Queue;
  std::unique_ptr<CHalvorin_Exception> m__PCHalvorin_Exception__Failure;
  bool m__BOOLEAN__IsFailed = false;
  bool m__BOOLEAN__IsWriting = false;  // the writer holds jobs taken from the queue
  bool m__BOOLEAN__IsWriterWaiting = false;
  bool m__BOOLEAN__IsCallerWaiting = false;
  bool m__BOOLEAN__IsStopping = false;
  std::thread m__THREAD__Writer;  // last: started when all of the above is there
};

// A transfer's buffer, given back to its writer unless handed on first (the pointer cleared).
struct CHalvorin_HeldGrabBuffer {
  CHalvorin_GrabWriter& writer;
  std::uint8_t* buffer;
  ~CHalvorin_HeldGrabBuffer() {
    if (buffer) writer.Release(buffer);
  }
};
