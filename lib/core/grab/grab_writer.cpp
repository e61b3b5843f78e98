#include "lib/core/grab/grab_writer.h"

#include <sys/uio.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <system_error>

#include "lib/core/grab/grab_file.h"
#include "lib/core/grab/grab_pass.h"
#include "platform/fs/fs.h"

namespace {

constexpr int kVectors =
    CHalvorin_GrabWriter::kBuffers < IOV_MAX ? CHalvorin_GrabWriter::kBuffers : IOV_MAX;

}  // namespace

CHalvorin_GrabWriter::CHalvorin_GrabWriter(platform::fs::File& p__File) : m__File(p__File) {
  m__PUCHAR__Buffers.reset(new (std::nothrow) std::uint8_t[kBuffers * kHalvorinGrabTransfer]());
  if (!m__PUCHAR__Buffers) return;
  // Reserved whole, so that nothing is allocated under the lock.
  m__VECTOR__Free.reserve(kBuffers);
  m__VECTOR__Queue.reserve(kBuffers);
  for (int i = 0; i < kBuffers; ++i)
    m__VECTOR__Free.push_back(m__PUCHAR__Buffers.get() + i * kHalvorinGrabTransfer);
  try {
    m__THREAD__Writer = std::thread(&CHalvorin_GrabWriter::Run, this);
  } catch (const std::system_error&) {
    // Acquire reports it as it reports the buffers missing.
    m__VECTOR__Free.clear();
    m__PUCHAR__Buffers.reset();
  }
}

CHalvorin_GrabWriter::~CHalvorin_GrabWriter() {
  if (!m__THREAD__Writer.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(m__MUTEX__Lock);
    m__BOOLEAN__IsStopping = true;
  }
  m__CONDITION__Writer.notify_one();
  m__THREAD__Writer.join();
}

void CHalvorin_GrabWriter::Run() {
  std::vector<Job> jobs;
  jobs.reserve(kBuffers);
  std::unique_lock<std::mutex> lock(m__MUTEX__Lock);
  for (;;) {
    while (m__VECTOR__Queue.empty() && !m__BOOLEAN__IsStopping) {
      m__BOOLEAN__IsWriterWaiting = true;
      m__CONDITION__Writer.wait(lock);
      m__BOOLEAN__IsWriterWaiting = false;
    }
    // What was not written yet is dropped.
    if (m__BOOLEAN__IsStopping) return;
    jobs.swap(m__VECTOR__Queue);
    m__BOOLEAN__IsWriting = true;
    lock.unlock();
    const Failure failure = Write(jobs);
    for (const Job& job : jobs) std::memset(job.buffer, 0, kHalvorinGrabTransfer);
    lock.lock();
    m__BOOLEAN__IsWriting = false;
    for (const Job& job : jobs) m__VECTOR__Free.push_back(job.buffer);
    jobs.clear();
    if (failure.isFailed) {
      // Nothing after a failed write reaches the file.
      m__BOOLEAN__IsFailed = true;
      m__PCHalvorin_Exception__Failure.reset(failure.exception);
      for (const Job& dropped : m__VECTOR__Queue) {
        std::memset(dropped.buffer, 0, kHalvorinGrabTransfer);
        m__VECTOR__Free.push_back(dropped.buffer);
      }
      m__VECTOR__Queue.clear();
    }
    if (m__BOOLEAN__IsCallerWaiting) {
      m__BOOLEAN__IsCallerWaiting = false;
      m__CONDITION__Caller.notify_one();
    }
  }
}

CHalvorin_GrabWriter::Failure CHalvorin_GrabWriter::Write(
    const std::vector<Job>& p__Jobs) noexcept {
  std::size_t first = 0;  // the first job not written whole, `done` bytes of it written
  std::uint32_t done = 0;
  for (;;) {
    while (first < p__Jobs.size() && done == p__Jobs[first].size) {
      ++first;
      done = 0;
    }
    if (first == p__Jobs.size()) return {};
    iovec vectors[kVectors];
    int count = 0;
    for (std::size_t k = first; k < p__Jobs.size() && count < kVectors; ++k, ++count) {
      const std::uint32_t skip = k == first ? done : 0;
      vectors[count] = {p__Jobs[k].buffer + skip, p__Jobs[k].size - skip};
    }
    const ssize_t written = ::writev(m__File.Descriptor(), vectors, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      // A write cut short was partly done by the calls before; the next one says why it stops.
      const int error = written < 0 ? errno : 0;
      try {
        HalvorinI_ThrowGrabWriteFailure(done, p__Jobs[first].size, error, p__Jobs[first].method,
                                        "");
      } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
        return {true, p__PCHalvorin_Exception__Exception};
      } catch (...) {
        return {true, nullptr};
      }
    }
    for (auto left = static_cast<std::size_t>(written); left > 0;) {
      const std::uint32_t rest = p__Jobs[first].size - done;
      if (left < rest) {
        done += static_cast<std::uint32_t>(left);
        left = 0;
      } else {
        left -= rest;
        ++first;
        done = 0;
      }
    }
  }
}

void CHalvorin_GrabWriter::WakeWriterIf(bool p__BOOLEAN__IsDue) {
  // With the lock held; a writer that is busy finds the queue on its own.
  if (!p__BOOLEAN__IsDue || !m__BOOLEAN__IsWriterWaiting) return;
  m__BOOLEAN__IsWriterWaiting = false;
  m__CONDITION__Writer.notify_one();
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
  std::unique_lock<std::mutex> lock(m__MUTEX__Lock);
  while (m__VECTOR__Free.empty() && !m__BOOLEAN__IsFailed) {
    WakeWriterIf(!m__VECTOR__Queue.empty());
    m__BOOLEAN__IsCallerWaiting = true;
    m__CONDITION__Caller.wait(lock);
    m__BOOLEAN__IsCallerWaiting = false;
  }
  ThrowIfFailed();
  std::uint8_t* buffer = m__VECTOR__Free.back();
  m__VECTOR__Free.pop_back();
  return buffer;
}

void CHalvorin_GrabWriter::Submit(std::uint8_t* p__PUCHAR__Buffer, std::uint32_t p__ULONG__Size,
                                  const char* p__PCHAR__Method) {
  std::lock_guard<std::mutex> lock(m__MUTEX__Lock);
  if (m__BOOLEAN__IsFailed) {
    std::memset(p__PUCHAR__Buffer, 0, kHalvorinGrabTransfer);
    m__VECTOR__Free.push_back(p__PUCHAR__Buffer);
    ThrowIfFailed();
  }
  m__VECTOR__Queue.push_back({p__PUCHAR__Buffer, p__ULONG__Size, p__PCHAR__Method});
  WakeWriterIf(m__VECTOR__Queue.size() >= kWakeAt);
}

void CHalvorin_GrabWriter::Release(std::uint8_t* p__PUCHAR__Buffer) {
  std::memset(p__PUCHAR__Buffer, 0, kHalvorinGrabTransfer);
  std::lock_guard<std::mutex> lock(m__MUTEX__Lock);
  m__VECTOR__Free.push_back(p__PUCHAR__Buffer);
}

void CHalvorin_GrabWriter::Drain(const char* p__PCHAR__Method) {
  {
    std::unique_lock<std::mutex> lock(m__MUTEX__Lock);
    while (!m__VECTOR__Queue.empty() || m__BOOLEAN__IsWriting) {
      WakeWriterIf(!m__VECTOR__Queue.empty());
      m__BOOLEAN__IsCallerWaiting = true;
      m__CONDITION__Caller.wait(lock);
      m__BOOLEAN__IsCallerWaiting = false;
    }
    ThrowIfFailed();
  }
  HalvorinI_FlushGrabFile(m__File, p__PCHAR__Method);
}
