// FIFO queues and the cache manager: order, counts, and objects reset when they circulate.
#include <gtest/gtest.h>

#include <cstring>

#include "lib/core/burner/cache.h"
#include "lib/core/burner/fifo_queue.h"

namespace {

TEST(FifoQueue, TailAndHeadKeepOrderAndNullIsIgnored) {
  CHalvorin_FifoQueueItem a(1), b(2), c(3);
  CHalvorin_LockedFifoQueue q;
  q.AddTail(&a);
  q.AddTail(&b);
  q.AddHead(&c);
  q.AddTail(nullptr);
  EXPECT_EQ(q.RemoveHead(), &c);
  EXPECT_EQ(q.RemoveHead(), &a);
  EXPECT_EQ(q.RemoveHead(), &b);
  EXPECT_EQ(q.RemoveHead(), nullptr);
  q.AddTail(&a);
  q.AddTail(&b);
  q.RemoveAll();
  EXPECT_TRUE(q.IsEmpty());
}

TEST(CacheManager, CountsFollowTheCacheSize) {
  EXPECT_EQ(CHalvorin_CacheManager(1048576 / 61440, 61440).GetCount(), 17);
  EXPECT_EQ(CHalvorin_CacheManager(3000, 16).GetCount(), 2048);
  EXPECT_EQ(CHalvorin_CacheManager(-1, 16).GetCount(), 2048);
}

// The buffers share one mapping; each is its own size, whole and apart from the next.
TEST(CacheManager, BuffersAreWholeAndApart) {
  CHalvorin_CacheManager m(4, 61440);
  for (std::int32_t i = 0; i < m.GetCount(); ++i)
    std::memset(m.GetObject(i)->m__PUCHAR__Buffer, 0xA0 + i, 61440);
  for (std::int32_t i = 0; i < m.GetCount(); ++i) {
    const std::uint8_t* b = m.GetObject(i)->m__PUCHAR__Buffer;
    EXPECT_EQ(b[0], 0xA0 + i);
    EXPECT_EQ(b[61439], 0xA0 + i);
    if (i > 0) {
      EXPECT_GE(b - m.GetObject(i - 1)->m__PUCHAR__Buffer, 61440);
    }
  }
}

#if defined(__SANITIZE_ADDRESS__)
TEST(CacheManagerDeathTest, AnOverrunIntoTheNextBufferIsReported) {
  CHalvorin_CacheManager m(2, 4096);
  volatile std::uint8_t* b = m.GetObject(0)->m__PUCHAR__Buffer;
  EXPECT_DEATH(b[4096] = 1, "use-after-poison");
}
#endif

TEST(CacheManager, ReQueueAndReleaseResetObjectsAndFreeACarriedExceptionOnce) {
  CHalvorin_CacheManager m(3, 64);
  CHalvorin_CacheObject* o = m.TakeFree();
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->GetTag(), 0);
  o->m__BOOLEAN__IsEndMarker = true;
  o->m__ULONG__FilledLBs = 1;
  o->m__ULONG__FilledUCHARs = 64;
  o->CarryException(new CHalvorin_Exception(14, 0, "x"));
  m.ReQueueAll();  // also what follows an abandoned write
  for (int i = 0; i < 3; ++i) {
    CHalvorin_CacheObject* p = m.TakeFree();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetTag(), i);
    EXPECT_FALSE(p->m__BOOLEAN__IsEndMarker);
    EXPECT_FALSE(p->m__BOOLEAN__IsCarriesException);
    EXPECT_EQ(p->m__PCHalvorin_Exception__Exception, nullptr);
    EXPECT_EQ(p->m__ULONG__FilledLBs, 0u);
    EXPECT_EQ(p->m__ULONG__FilledUCHARs, 0u);
    if (i == 2) {
      p->m__ULONG__FilledLBs = 5;
      m.Release(p);
    }
  }
  CHalvorin_CacheObject* last = m.TakeFree();
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->m__ULONG__FilledLBs, 0u);
  EXPECT_EQ(m.TakeFree(), nullptr);
  m.ReQueueAll();
}

}  // namespace
