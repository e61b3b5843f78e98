// Write-behind of a grab's transfers: the engine reads into one of the writer's buffers, and
// the transfers handed over before it are written to the file, in order, while that read is
// with the device (the writer is the read's pending work), so that the grab needs no thread of
// its own and its buffers stay few and warm. Its buffers come back zeroed, so that the engine
// does not clear them before each read. A failed write is thrown by the engine's next call; a
// writer destroyed before Drain drops what it had not written (its file is removed then).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "lib/core/halvorin_exception.h"
#include "lib/core/scsi/pending_work.h"

namespace platform::fs {
class File;
}

class CHalvorin_GrabWriter final : public CHalvorin_PendingWork {
 public:
  // Reads that complete without waiting leave their transfers queued: a few spare buffers.
  static constexpr int kBuffers = 4;

  explicit CHalvorin_GrabWriter(platform::fs::File& p__File);
  CHalvorin_GrabWriter(const CHalvorin_GrabWriter&) = delete;
  CHalvorin_GrabWriter& operator=(const CHalvorin_GrabWriter&) = delete;

  // A free transfer buffer of 61,440 zero bytes (exception 4 "<method>(): l__PUCHAR__Buffer ==
  // NULL!!!" when they could not be allocated); writes the queue first when all are in it.
  std::uint8_t* Acquire(const char* p__PCHAR__Method);
  // The buffer's first `size` bytes go to the file; the buffer comes back when written.
  void Submit(std::uint8_t* p__PUCHAR__Buffer, std::uint32_t p__ULONG__Size,
              const char* p__PCHAR__Method);
  // A buffer that is not to be written.
  void Release(std::uint8_t* p__PUCHAR__Buffer);
  // Writes every transfer handed over, then flushes the file.
  void Drain(const char* p__PCHAR__Method);
  // Writes the transfers handed over so far.
  void WhilePending() noexcept override;

 private:
  struct Job {
    std::uint8_t* buffer;
    std::uint32_t size;
    const char* method;
  };
  void ThrowIfFailed();

  platform::fs::File& m__File;
  std::unique_ptr<std::uint8_t[]> m__PUCHAR__Buffers;
  std::vector<std::uint8_t*> m__VECTOR__Free;
  std::deque<Job> m__DEQUE__Queue;
  std::unique_ptr<CHalvorin_Exception> m__PCHalvorin_Exception__Failure;
  bool m__BOOLEAN__IsFailed = false;
};

// A transfer's buffer, given back to its writer unless handed on first (the pointer cleared).
struct CHalvorin_HeldGrabBuffer {
  CHalvorin_GrabWriter& writer;
  std::uint8_t* buffer;
  ~CHalvorin_HeldGrabBuffer() {
    if (buffer) writer.Release(buffer);
  }
};
