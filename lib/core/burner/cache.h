// The cache of a burner/grabber: fixed-size buffers allocated once and reused for every write;
// the manager owns them and its queue holds the free ones.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "lib/core/burner/cache_memory.h"
#include "lib/core/burner/fifo_queue.h"

inline constexpr std::int32_t kHalvorinMaximumCacheObjects = 2048;

class CHalvorin_CacheObject : public CHalvorin_FifoQueueItem {
 public:
  // The buffer is `p__ULONG__Size` bytes of the manager's memory.
  CHalvorin_CacheObject(std::int32_t p__LONG__Index, std::uint32_t p__ULONG__Size,
                        std::uint8_t* p__PUCHAR__Buffer);
  ~CHalvorin_CacheObject() override = default;

  void Reset() override {
    CHalvorin_FifoQueueItem::Reset();
    m__ULONG__FilledUCHARs = 0;
    m__ULONG__FilledLBs = 0;
    m__LONG__TrackIndex = 0;
    m__BOOLEAN__IsTrackEnd = false;
  }

  std::uint32_t m__ULONG__SizeInUCHARs;
  std::uint32_t m__ULONG__FilledUCHARs = 0;
  std::uint32_t m__ULONG__FilledLBs = 0;
  // Session-at-once: the track the data belongs to, and whether it is the track's last object.
  std::int32_t m__LONG__TrackIndex = 0;
  bool m__BOOLEAN__IsTrackEnd = false;
  std::uint8_t* m__PUCHAR__Buffer;  // owned by the manager
};

class CHalvorin_CacheManager : public CHalvorin_LockedFifoQueue {
 public:
  // A count above 2048 or below 0 becomes 2048.
  CHalvorin_CacheManager(std::int32_t p__LONG__Count, std::uint32_t p__ULONG__ObjectSize);
  ~CHalvorin_CacheManager() override;

  // Every object reset and free again, in index order.
  void ReQueueAll();
  // Resets the object and makes it free.
  void Release(CHalvorin_CacheObject* p__PCHalvorin_CacheObject__Object);
  CHalvorin_CacheObject* TakeFree() { return static_cast<CHalvorin_CacheObject*>(RemoveHead()); }

  std::int32_t GetCount() const { return static_cast<std::int32_t>(m__VECTOR__Objects.size()); }
  std::uint32_t GetObjectSize() const { return m__ULONG__ObjectSize; }
  CHalvorin_CacheObject* GetObject(std::int32_t p__LONG__Index) const {
    return m__VECTOR__Objects.at(static_cast<std::size_t>(p__LONG__Index)).get();
  }

 private:
  CHalvorin_CacheMemory m__CHalvorin_CacheMemory__Memory;  // every object's buffer
  std::vector<std::unique_ptr<CHalvorin_CacheObject>> m__VECTOR__Objects;
  std::uint32_t m__ULONG__ObjectSize;
};
