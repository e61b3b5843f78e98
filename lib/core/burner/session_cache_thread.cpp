// The producer of a session-at-once write: one thread reads every track's source in turn into
// free cache objects, whole sectors of the track's size (the last one padded with zeros), each
// object tagged with its track and the track's last object marked. The writer therefore finds
// the next track's data queued while it writes the pre-gap between the two, and its wait for a
// full cache at the start of each track is short.
#include <cinttypes>

#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/core/burner/session_feed.h"
#include "lib/core/debug_trace.h"
#include "lib/core/scsi/scsi_transport_aspi.h"
#include "lib/mastering/tree/file_chain.h"

namespace {

constexpr const char* kProducer = "CHalvorin_CdvdBurnerGrabber::SessionCacheThread";
constexpr auto kFreePoll = std::chrono::milliseconds(4);

}  // namespace

std::uint32_t CHalvorin_CdvdBurnerGrabber::SessionCacheThread() {
  bool isCacheFullSet = false;
  // The failure travels to the writer at the head of the write queue.
  auto post = [&](CHalvorin_CacheObject* p__Object, CHalvorin_Exception* p__Exception) {
    p__Object->CarryException(p__Exception);
    m__CHalvorin_LockedFifoQueue__WriteQueue.AddHead(p__Object);
    m__SIGNAL__WriteQueue.Notify();
  };
  auto takeFree = [&]() -> CHalvorin_CacheObject* {
    for (;;) {
      if (m__LONG__StopCounter.load() > 0) {
        DebugTrace("\n%s(): We're allowed to die\n", kProducer);
        return nullptr;
      }
      if (CHalvorin_CacheObject* object = m__PCHalvorin_CacheManager->TakeFree()) return object;
      // Set at every full cache: the writer clears it before each track and waits for it.
      m__EVENT__CacheFull.Set();
      if (!isCacheFullSet) {
        isCacheFullSet = true;
        DebugTrace("\n%s(): Cache full event set #1\n", kProducer);
      }
      m__SIGNAL__FreeQueue.WaitFor(kFreePoll);
    }
  };
  const auto& tracks = m__PCHalvorin_SessionFeed__Session->m__VECTOR__Tracks;
  bool isStopped = false;
  for (std::size_t t = 0; t < tracks.size() && !isStopped; ++t) {
    CHalvorin_FileChain* source = tracks[t].m__PCHalvorin_FileChain__Source;
    const std::uint32_t lbSize = tracks[t].m__ULONG__LBSize;
    std::uint64_t remaining = 0, offset = 0;
    try {
      source->SeekToBegin();
      remaining = source->GetSizeInUCHARs();
    } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
      if (CHalvorin_CacheObject* object = takeFree())
        post(object, p__PCHalvorin_Exception__Exception);
      else
        delete p__PCHalvorin_Exception__Exception;
      break;
    }
    const std::uint64_t unit = (kHalvorinMaximumTransfer / lbSize) * lbSize;
    while (remaining > 0) {
      CHalvorin_CacheObject* object = takeFree();
      if (!object) {
        isStopped = true;
        break;
      }
      const std::uint64_t transfer = remaining < unit ? remaining : unit;
      try {
        FillCacheObject(object, source, transfer, lbSize);
      } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
        DebugTrace("\n%s(): Track %ld: read %" PRIu64 " UCHARs from offset %" PRIu64 " failed!!!\n",
                   kProducer, static_cast<long>(t), transfer, offset);
        post(object, p__PCHalvorin_Exception__Exception);
        isStopped = true;
        break;
      }
      remaining -= transfer;
      offset += transfer;
      if (m__BOOLEAN__IsCancel.load()) {
        CHalvorin_Exception* cancel = nullptr;
        try {
          HalvorinI_ThrowException(kHalvorinStatusCancelled, 0,
                                   "%s(): Cancel set in track %ld at offset %" PRIu64 "!!!",
                                   kProducer, static_cast<long>(t), offset);
        } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
          cancel = p__PCHalvorin_Exception__Exception;
        }
        post(object, cancel);
        isStopped = true;
        break;
      }
      object->m__LONG__TrackIndex = static_cast<std::int32_t>(t);
      object->m__BOOLEAN__IsTrackEnd = remaining == 0;
      if (remaining == 0 && t + 1 == tracks.size()) {
        object->m__BOOLEAN__IsEndMarker = true;
        DebugTrace("\n%s(): Setting end marker\n", kProducer);
      }
      m__CHalvorin_LockedFifoQueue__WriteQueue.AddTail(object);
      m__SIGNAL__WriteQueue.Notify();
    }
  }
  return EndCacheThread(kProducer, isCacheFullSet);
}
