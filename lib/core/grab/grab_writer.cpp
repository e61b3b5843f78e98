#include "lib/core/grab/grab_writer.h"

#include <cstring>
#include <new>

#include "lib/core/grab/grab_file.h"
#include "lib/core/grab/grab_pass.h"

CHalvorin_GrabWriter::CHalvorin_GrabWriter(platform::fs::File& p__File) : m__File(p__File) {
  m__PUCHAR__Buffers.reset(new (std::nothrow) std::uint8_t[kBuffers * kHalvorinGrabTransfer]());
  if (m__PUCHAR__Buffers)
    for (int i = 0; i < kBuffers; ++i)
      m__VECTOR__Free.push_back(m__PUCHAR__Buffers.get() + i * kHalvorinGrabTransfer);
}

void CHalvorin_GrabWriter::WhilePending() noexcept {
  while (!m__DEQUE__Queue.empty()) {
    const Job job = m__DEQUE__Queue.front();
    m__DEQUE__Queue.pop_front();
    CHalvorin_Exception* failure = nullptr;
    try {
      HalvorinI_WriteGrabFile(m__File, job.buffer, job.size, job.method, "");
    } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
      failure = p__PCHalvorin_Exception__Exception;
    }
    std::memset(job.buffer, 0, kHalvorinGrabTransfer);
    m__VECTOR__Free.push_back(job.buffer);
    if (failure) {
      // Nothing after a failed write reaches the file.
      m__BOOLEAN__IsFailed = true;
      m__PCHalvorin_Exception__Failure.reset(failure);
      for (const Job& dropped : m__DEQUE__Queue) {
        std::memset(dropped.buffer, 0, kHalvorinGrabTransfer);
        m__VECTOR__Free.push_back(dropped.buffer);
      }
      m__DEQUE__Queue.clear();
    }
  }
}

void CHalvorin_GrabWriter::ThrowIfFailed() {
  if (!m__BOOLEAN__IsFailed) return;
  CHalvorin_Exception* failure = m__PCHalvorin_Exception__Failure.release();
  if (failure) {
    // Its own copy stays for the next caller: the failure holds for good.
    m__PCHalvorin_Exception__Failure.reset(new (std::nothrow) CHalvorin_Exception(
        failure->GetStatus(), failure->GetDetail(), "%s", failure->GetText()));
  }
  HalvorinI_Throw(failure);
}

std::uint8_t* CHalvorin_GrabWriter::Acquire(const char* p__PCHAR__Method) {
  if (!m__PUCHAR__Buffers)
    HalvorinI_ThrowException(kHalvorinStatusOutOfMemory, 0, "%s(): l__PUCHAR__Buffer == NULL!!!",
                             p__PCHAR__Method);
  if (m__VECTOR__Free.empty()) WhilePending();
  ThrowIfFailed();
  std::uint8_t* buffer = m__VECTOR__Free.back();
  m__VECTOR__Free.pop_back();
  return buffer;
}

void CHalvorin_GrabWriter::Submit(std::uint8_t* p__PUCHAR__Buffer, std::uint32_t p__ULONG__Size,
                                  const char* p__PCHAR__Method) {
  if (m__BOOLEAN__IsFailed) {
    std::memset(p__PUCHAR__Buffer, 0, kHalvorinGrabTransfer);
    m__VECTOR__Free.push_back(p__PUCHAR__Buffer);
    ThrowIfFailed();
  }
  m__DEQUE__Queue.push_back({p__PUCHAR__Buffer, p__ULONG__Size, p__PCHAR__Method});
}

void CHalvorin_GrabWriter::Release(std::uint8_t* p__PUCHAR__Buffer) {
  std::memset(p__PUCHAR__Buffer, 0, kHalvorinGrabTransfer);
  m__VECTOR__Free.push_back(p__PUCHAR__Buffer);
}

void CHalvorin_GrabWriter::Drain(const char* p__PCHAR__Method) {
  WhilePending();
  ThrowIfFailed();
  HalvorinI_FlushGrabFile(m__File, p__PCHAR__Method);
}
