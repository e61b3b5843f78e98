// The write-cache thread of a burner/grabber and the consumer side of its protocol: the
// producer reads the source into free cache objects and queues them for the writer; a failure
// of the producer travels as an object at the head of the write queue.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstring>

#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/core/debug_trace.h"
#include "lib/core/trace_scope.h"
#include "lib/mastering/tree/file_chain.h"

namespace {

constexpr const char* kProducer = "CHalvorin_CdvdBurnerGrabber::WriteCacheThread";
constexpr auto kFreePoll = std::chrono::milliseconds(4);
constexpr auto kDataPoll = std::chrono::milliseconds(5);
constexpr std::int32_t kRefillParts = 16;  // a refill run: this part of the cache

}  // namespace

std::uint32_t CHalvorin_CdvdBurnerGrabber::WriteCacheThreadRoutine(
    CHalvorin_CdvdBurnerGrabber* p__PCHalvorin_CdvdBurnerGrabber__This) {
  if (p__PCHalvorin_CdvdBurnerGrabber__This->m__PCHalvorin_SessionFeed__Session)
    return p__PCHalvorin_CdvdBurnerGrabber__This->SessionCacheThread();
  return p__PCHalvorin_CdvdBurnerGrabber__This->WriteCacheThread();
}

std::uint32_t CHalvorin_CdvdBurnerGrabber::WriteCacheThread() {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::WriteCacheThread");
  bool isCacheFullSet = false;
  const std::uint32_t lbSize = m__ULONG__LBSize;
  std::uint64_t remaining = 0;
  std::uint64_t offset = 0;
  try {
    remaining = m__PCHalvorin_FileChain__Source->GetSizeInUCHARs();
  } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    // Nothing can be read: the failure goes to the consumer like a failed read.
    if (CHalvorin_CacheObject* object = m__PCHalvorin_CacheManager->TakeFree()) {
      object->CarryException(p__PCHalvorin_Exception__Exception);
      m__CHalvorin_LockedFifoQueue__WriteQueue.AddHead(object);
    } else {
      delete p__PCHalvorin_Exception__Exception;
    }
    remaining = 0;
  }
  std::uint64_t transfer = (kHalvorinMaximumTransfer / lbSize) * lbSize;
  const unsigned long long refill = static_cast<unsigned long long>(
      std::max<std::int32_t>(1, m__PCHalvorin_CacheManager->GetCount() / kRefillParts));
  while (remaining > 0) {
    if (remaining < transfer) {
      transfer = remaining;
      DebugTrace("\n%s(): Patched last transfer size\n", kProducer);
    }
    CHalvorin_CacheObject* object = nullptr;
    bool isLeaving = false;
    while ((object = m__PCHalvorin_CacheManager->TakeFree()) == nullptr) {
      if (m__LONG__StopCounter.load() > 0) {
        DebugTrace("\n%s(): We're allowed to die #1\n", kProducer);
        isLeaving = true;
        break;
      }
      if (!isCacheFullSet) {
        m__EVENT__CacheFull.Set();
        isCacheFullSet = true;
        DebugTrace("\n%s(): Cache full event set #1\n", kProducer);
      }
      // A full cache is refilled in runs: the writer then wakes this thread once a run rather
      // than at every buffer it frees.
      m__SIGNAL__FreeQueue.WaitForChanges(refill, kFreePoll);
    }
    if (isLeaving) break;
    if (m__LONG__StopCounter.load() > 0) {
      DebugTrace("\n%s(): We're allowed to die #2\n", kProducer);
      m__PCHalvorin_CacheManager->Release(object);
      break;
    }
    remaining -= transfer;
    try {
      FillCacheObject(object, m__PCHalvorin_FileChain__Source, transfer, lbSize);
    } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
      DebugTrace("\n%s(): Read %" PRIu64 " UCHARs from offset %" PRIu64 " failed!!!\n", kProducer,
                 transfer, offset);
      object->CarryException(p__PCHalvorin_Exception__Exception);
      m__CHalvorin_LockedFifoQueue__WriteQueue.AddHead(object);
      m__SIGNAL__WriteQueue.Notify();
      break;
    }
    offset += transfer;
    if (m__BOOLEAN__IsCancel.load()) {
      CHalvorin_Exception* cancel = nullptr;
      try {
        HalvorinI_ThrowException(kHalvorinStatusCancelled, 0,
                                 "%s(): Cancel set at offset %" PRIu64 "!!!", kProducer, offset);
      } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
        cancel = p__PCHalvorin_Exception__Exception;
      }
      object->CarryException(cancel);
      m__CHalvorin_LockedFifoQueue__WriteQueue.AddHead(object);
      m__SIGNAL__WriteQueue.Notify();
      break;
    }
    if (remaining == 0) {
      object->m__BOOLEAN__IsEndMarker = true;
      DebugTrace("\n%s(): Setting end marker (%" PRIu64 ")\n", kProducer, remaining);
    }
    m__CHalvorin_LockedFifoQueue__WriteQueue.AddTail(object);
    m__SIGNAL__WriteQueue.Notify();
  }
  return EndCacheThread(kProducer, isCacheFullSet);
}

std::uint32_t CHalvorin_CdvdBurnerGrabber::EndCacheThread(const char* p__PCHAR__Producer,
                                                          bool p__BOOLEAN__IsCacheFullSet) {
  if (!p__BOOLEAN__IsCacheFullSet) {
    m__EVENT__CacheFull.Set();
    DebugTrace("\n%s(): Cache full event set #2\n", p__PCHAR__Producer);
  }
  DebugTrace("\n%s(): Set cache thread dead event\n", p__PCHAR__Producer);
  m__EVENT__CacheThreadDead.Set();
  m__SIGNAL__WriteQueue.Notify();
  return 0;
}

void CHalvorin_CdvdBurnerGrabber::FillCacheObject(
    CHalvorin_CacheObject* p__PCHalvorin_CacheObject__Object,
    CHalvorin_FileChain* p__PCHalvorin_FileChain__Source, std::uint64_t p__ULONGLONG__Transfer,
    std::uint32_t p__ULONG__LBSize) {
  CHalvorin_CacheObject* object = p__PCHalvorin_CacheObject__Object;
  const std::uint64_t transfer = p__ULONGLONG__Transfer;
  const std::uint32_t lbSize = p__ULONG__LBSize;
  const std::uint32_t sectors = static_cast<std::uint32_t>((transfer + lbSize - 1) / lbSize);
  const std::uint32_t filled = sectors * lbSize;
  if (filled > transfer) std::memset(object->m__PUCHAR__Buffer + transfer, 0, filled - transfer);
  p__PCHalvorin_FileChain__Source->Read(transfer, object->m__PUCHAR__Buffer);
  object->m__ULONG__FilledLBs = sectors;
  object->m__ULONG__FilledUCHARs = filled;
}

void CHalvorin_CdvdBurnerGrabber::StartCacheThread(
    CHalvorin_FileChain* p__PCHalvorin_FileChain__Source, std::uint32_t p__ULONG__LBSize,
    const char* p__PCHAR__Method) {
  LaunchCacheThread(p__PCHalvorin_FileChain__Source, p__ULONG__LBSize, p__PCHAR__Method);
  WaitForCacheFull(p__PCHAR__Method);
}

void CHalvorin_CdvdBurnerGrabber::LaunchCacheThread(
    CHalvorin_FileChain* p__PCHalvorin_FileChain__Source, std::uint32_t p__ULONG__LBSize,
    const char* p__PCHAR__Method) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::LaunchCacheThread");
  // A producer of an earlier write is never left running.
  ShutDownCacheThread();
  m__EVENT__CacheFull.Reset();
  m__EVENT__CacheThreadDead.Reset();
  m__CHalvorin_LockedFifoQueue__WriteQueue.RemoveAll();
  m__PCHalvorin_CacheManager->ReQueueAll();
  m__PCHalvorin_FileChain__Source = p__PCHalvorin_FileChain__Source;
  m__ULONG__LBSize = p__ULONG__LBSize;
  m__LONG__StopCounter.store(0);
  m__BOOLEAN__IsEndMarkerSeen = false;
  try {
    m__THREAD__CacheThread =
        std::thread(&CHalvorin_CdvdBurnerGrabber::WriteCacheThreadRoutine, this);
  } catch (const std::system_error& e) {
    HalvorinI_ThrowException(kHalvorinStatusSystemCall,
                             static_cast<std::uintptr_t>(e.code().value()),
                             "%s(): CreateThread() failed, status %ld!!!", p__PCHAR__Method,
                             static_cast<long>(e.code().value()));
  }
}

void CHalvorin_CdvdBurnerGrabber::WaitForCacheFull(const char* p__PCHAR__Method) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::WaitForCacheFull");
  std::uint32_t waitMs = m__ULONG__CacheSizeInUCHARs / 176;
  Callback(WAIT_CACHE_FULL_BEGIN, &waitMs, nullptr);
  // A producer that has read everything fills no more: its end counts as a full cache.
  auto isFull = [this] { return m__EVENT__CacheFull.IsSet() || m__EVENT__CacheThreadDead.IsSet(); };
  // Short waits, so that a cancel is seen while a slow source fills the cache.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    if (m__BOOLEAN__IsCancel.load())
      HalvorinI_ThrowException(kHalvorinStatusCancelled, 0, "%s(): Cancel set!!!",
                               p__PCHAR__Method);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 && !isFull())
      HalvorinI_ThrowException(kHalvorinStatusSystemCall, 1460,
                               "%s(): WaitForSingleObject() failed, status %ld, returned %ld!!!",
                               p__PCHAR__Method, 1460L, 258L);
    if (left.count() <= 0 || isFull() ||
        m__EVENT__CacheFull.Wait(left < kDataPoll ? left : kDataPoll))
      break;
  }
  Callback(WAIT_CACHE_FULL_END, nullptr, nullptr);
}

CHalvorin_CacheObject* CHalvorin_CdvdBurnerGrabber::GetNextCacheObject(
    const char* p__PCHAR__Method) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::GetNextCacheObject");
  bool isUnderrunReported = false;
  for (;;) {
    // Seen before the next object, so a cancel does not wait for the queued data to be written.
    if (m__BOOLEAN__IsCancel.load())
      HalvorinI_ThrowException(kHalvorinStatusCancelled, 0, "%s(): Cancel set!!!",
                               p__PCHAR__Method);
    auto* object =
        static_cast<CHalvorin_CacheObject*>(m__CHalvorin_LockedFifoQueue__WriteQueue.RemoveHead());
    if (object) {
      if (object->m__BOOLEAN__IsCarriesException) {
        CHalvorin_Exception* exception = object->TakeException();
        DebugTrace("\n%s(): Cache object %ld handles exception pointer 0x%08X!!!\n",
                   p__PCHAR__Method, static_cast<long>(object->GetTag()),
                   static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(exception)));
        ReleaseCacheObject(object);
        HalvorinI_Throw(exception);
      }
      if (object->m__BOOLEAN__IsEndMarker) m__BOOLEAN__IsEndMarkerSeen = true;
      return object;
    }
    if (m__BOOLEAN__IsEndMarkerSeen) return nullptr;
    if (m__EVENT__CacheThreadDead.IsSet()) {
      // The producer may have queued its last object just before it died.
      if (!m__CHalvorin_LockedFifoQueue__WriteQueue.IsEmpty()) continue;
      HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                               "%s(): Cache thread ended before the end of the source!!!",
                               p__PCHAR__Method);
    }
    if (!isUnderrunReported) {
      DebugTrace("\n%s(): BUFFER UNDERRUN!!!\n", p__PCHAR__Method);
      Callback(HALVORIN_CALLBACK_REASON_BUFFER_UNDERRUN, nullptr, nullptr);
      isUnderrunReported = true;
    }
    m__SIGNAL__WriteQueue.WaitFor(kDataPoll);
  }
}

void CHalvorin_CdvdBurnerGrabber::ReleaseCacheObject(
    CHalvorin_CacheObject* p__PCHalvorin_CacheObject__Object) {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::ReleaseCacheObject");
  m__PCHalvorin_CacheManager->Release(p__PCHalvorin_CacheObject__Object);
  m__SIGNAL__FreeQueue.Notify();
}

std::uint32_t CHalvorin_CdvdBurnerGrabber::ShutDownCacheThread() {
  CHalvorin_TraceScope trace("CHalvorin_CdvdBurnerGrabber::ShutDownCacheThread");
  if (!m__THREAD__CacheThread.joinable()) return 0;
  m__LONG__StopCounter.fetch_add(1);
  m__SIGNAL__FreeQueue.NotifyAll();
  std::uint32_t result = 0;
  if (!m__EVENT__CacheThreadDead.Wait(std::chrono::milliseconds(2000))) {
    DebugTrace(
        "\nCHalvorin_CdvdBurnerGrabber::ShutDownCacheThread(): WaitForSingleObject() failed, "
        "status %ld, returned %ld!!!\n",
        1460L, 258L);
    result = 1460;
  }
  // Joined in every case: the producer reads the source, which outlives only this write.
  m__THREAD__CacheThread.join();
  return result;
}
