#include "lib/core/burner/cache.h"

#include <new>

#include "lib/core/debug_trace.h"
#include "lib/core/trace_scope.h"

CHalvorin_CacheObject::CHalvorin_CacheObject(std::int32_t p__LONG__Index,
                                             std::uint32_t p__ULONG__Size,
                                             std::uint8_t* p__PUCHAR__Buffer)
    : CHalvorin_FifoQueueItem(p__LONG__Index),
      m__ULONG__SizeInUCHARs(p__ULONG__Size),
      m__PUCHAR__Buffer(p__PUCHAR__Buffer) {
  CHalvorin_TraceScope trace("CHalvorin_CacheObject::CHalvorin_CacheObject");
}

CHalvorin_CacheManager::CHalvorin_CacheManager(std::int32_t p__LONG__Count,
                                               std::uint32_t p__ULONG__ObjectSize)
    : m__ULONG__ObjectSize(p__ULONG__ObjectSize) {
  CHalvorin_TraceScope trace("CHalvorin_CacheManager::CHalvorin_CacheManager");
  constexpr const char* kMethod = "CHalvorin_CacheManager::CHalvorin_CacheManager";
  std::int32_t count = p__LONG__Count;
  if (count > kHalvorinMaximumCacheObjects) {
    DebugTrace("\n%s(): Passed number of cache objects %ld truncated to %ld\n", kMethod,
               static_cast<long>(count), static_cast<long>(kHalvorinMaximumCacheObjects));
    count = kHalvorinMaximumCacheObjects;
  } else if (count < 0) {
    DebugTrace("\n%s(): Passed number of cache object(s) %ld updated to %ld\n", kMethod,
               static_cast<long>(count), static_cast<long>(kHalvorinMaximumCacheObjects));
    count = kHalvorinMaximumCacheObjects;
  }
  try {
    try {
      m__CHalvorin_CacheMemory__Memory =
          CHalvorin_CacheMemory(static_cast<std::size_t>(count), p__ULONG__ObjectSize);
    } catch (const std::bad_alloc&) {
      HalvorinI_ThrowException(kHalvorinStatusOutOfMemory, 0,
                               "%s(): Failed to create cache object %ld!!!", kMethod, -1L);
    }
    m__VECTOR__Objects.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
      try {
        m__VECTOR__Objects.push_back(std::make_unique<CHalvorin_CacheObject>(
            i, p__ULONG__ObjectSize,
            m__CHalvorin_CacheMemory__Memory.Buffer(static_cast<std::size_t>(i))));
      } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
        std::unique_ptr<CHalvorin_Exception> exception(p__PCHalvorin_Exception__Exception);
        m__VECTOR__Objects.clear();
        HalvorinI_ThrowException(kHalvorinStatusOutOfMemory, 0,
                                 "%s(): Failed to create cache object %ld!!!", kMethod,
                                 static_cast<long>(i - 1));
      } catch (const std::bad_alloc&) {
        m__VECTOR__Objects.clear();
        HalvorinI_ThrowException(kHalvorinStatusOutOfMemory, 0,
                                 "%s(): Failed to create cache object %ld!!!", kMethod,
                                 static_cast<long>(i - 1));
      }
    }
  } catch (...) {
    DebugTrace("\n%s(): Failed to create cache!!!\n", kMethod);
    m__VECTOR__Objects.clear();
    throw;
  }
  ReQueueAll();
}

CHalvorin_CacheManager::~CHalvorin_CacheManager() {
  CHalvorin_TraceScope trace("CHalvorin_CacheManager::~CHalvorin_CacheManager");
  RemoveAll();
  m__VECTOR__Objects.clear();
}

void CHalvorin_CacheManager::ReQueueAll() {
  CHalvorin_TraceScope trace("CHalvorin_CacheManager::ReQueueAll");
  RemoveAll();
  for (auto& object : m__VECTOR__Objects) {
    object->Reset();
    AddTail(object.get());
  }
}

void CHalvorin_CacheManager::Release(CHalvorin_CacheObject* p__PCHalvorin_CacheObject__Object) {
  CHalvorin_TraceScope trace("CHalvorin_CacheManager::Release");
  if (!p__PCHalvorin_CacheObject__Object) return;
  p__PCHalvorin_CacheObject__Object->Reset();
  AddTail(p__PCHalvorin_CacheObject__Object);
}
