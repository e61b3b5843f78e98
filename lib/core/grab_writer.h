// Write-behind of a grab's transfers: the engine reads into one of the writer's buffers while
// the transfers before it are written to the file, in the order they were handed over. Its
// buffers come back zeroed, so that the engine does not clear them before each read. A
// failed write is thrown by the engine's next call; a writer destroyed before Drain drops what
// it had not written (its file is removed then).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "lib/core/halvorin_exception.h"

namespace platform::fs {
class File;
}

class CHalvorin_GrabWriter {
 public:
  // Enough for the writer to fall behind a while without holding up the reads.
  static constexpr int kBuffers = 16;

  explicit CHalvorin_GrabWriter(platform::fs::File& p__File);
  ~CHalvorin_GrabWriter();
  CHalvorin_GrabWriter(const CHalvorin_GrabWriter&) = delete;
  CHalvorin_GrabWriter& operator=(const CHalvorin_GrabWriter&) = delete;

  // A free transfer buffer of 61,440 zero bytes (exception 4 "<method>(): l__PUCHAR__Buffer ==
  // NULL!!!" when they could not be allocated); waits while all are in the queue.
  std::uint8_t* Acquire(const char* p__PCHAR__Method);
  // The buffer's first `size` bytes go to the file; the buffer comes back when written.
  void Submit(std::uint8_t* p__PUCHAR__Buffer, std::uint32_t p__ULONG__Size,
              const char* p__PCHAR__Method);
  // A buffer that is not to be written.
  void Release(std::uint8_t* p__PUCHAR__Buffer);
  // Waits until every transfer handed over is written, then flushes the file.
  void Drain(const char* p__PCHAR__Method);

 private:
  struct Job {
    std::uint8_t* buffer;
    std::uint32_t size;
    const char* method;
  };
  void Run();
  void ThrowIfFailed(std::unique_lock<std::mutex>& p__Lock);

  platform::fs::File& m__File;
  std::unique_ptr<std::uint8_t[]> m__PUCHAR__Buffers;
  std::mutex m__MUTEX__Lock;
  std::condition_variable m__CONDITION__Changed;
  std::vector<std::uint8_t*> m__VECTOR__Free;
  std::deque<Job> m__DEQUE__Queue;
  bool m__BOOLEAN__IsWriting = false;
  bool m__BOOLEAN__IsStopping = false;
  std::unique_ptr<CHalvorin_Exception> m__PCHalvorin_Exception__Failure;
  bool m__BOOLEAN__IsFailed = false;
  std::thread m__THREAD__Writer;
};
