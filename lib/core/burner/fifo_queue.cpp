#include "lib/core/burner/fifo_queue.h"

#include "lib/core/debug_trace.h"

namespace {

void Link(CHalvorin_FifoQueueLink* p__PLink__Before, CHalvorin_FifoQueueLink* p__PLink__Item) {
  p__PLink__Item->m__PLink__Next = p__PLink__Before;
  p__PLink__Item->m__PLink__Previous = p__PLink__Before->m__PLink__Previous;
  p__PLink__Before->m__PLink__Previous->m__PLink__Next = p__PLink__Item;
  p__PLink__Before->m__PLink__Previous = p__PLink__Item;
}

}  // namespace

CHalvorin_FifoQueue::~CHalvorin_FifoQueue() {
  if (!IsEmpty())
    DebugTrace(
        "\nCHalvorin_FifoQueue::~CHalvorin_FifoQueue(): WARNING! Queue 0x%08X is not empty!!!\n",
        static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(this)));
}

void CHalvorin_FifoQueue::AddTail(CHalvorin_FifoQueueItem* p__PCHalvorin_FifoQueueItem__Item) {
  if (!p__PCHalvorin_FifoQueueItem__Item) {
    DebugTrace("\nCHalvorin_FifoQueue::AddTail(): EXITing with failure, pointer is NULL!!!\n");
    return;
  }
  Link(&m__Head, &p__PCHalvorin_FifoQueueItem__Item->m__Link);
}

void CHalvorin_FifoQueue::AddHead(CHalvorin_FifoQueueItem* p__PCHalvorin_FifoQueueItem__Item) {
  if (!p__PCHalvorin_FifoQueueItem__Item) {
    DebugTrace("\nCHalvorin_FifoQueue::AddHead(): EXITing with failure, pointer is NULL!!!\n");
    return;
  }
  Link(m__Head.m__PLink__Next, &p__PCHalvorin_FifoQueueItem__Item->m__Link);
}

CHalvorin_FifoQueueItem* CHalvorin_FifoQueue::RemoveHead() {
  if (IsEmpty()) return nullptr;
  CHalvorin_FifoQueueLink* first = m__Head.m__PLink__Next;
  first->m__PLink__Previous->m__PLink__Next = first->m__PLink__Next;
  first->m__PLink__Next->m__PLink__Previous = first->m__PLink__Previous;
  first->m__PLink__Next = first;
  first->m__PLink__Previous = first;
  return first->m__PCHalvorin_FifoQueueItem__Self;
}

void CHalvorin_FifoQueue::RemoveAll() {
  // Through the virtual RemoveHead, so that the locked queue stays locked item by item.
  while (RemoveHead() != nullptr) {
  }
}

void CHalvorin_LockedFifoQueue::AddTail(
    CHalvorin_FifoQueueItem* p__PCHalvorin_FifoQueueItem__Item) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Queue);
  CHalvorin_FifoQueue::AddTail(p__PCHalvorin_FifoQueueItem__Item);
}

void CHalvorin_LockedFifoQueue::AddHead(
    CHalvorin_FifoQueueItem* p__PCHalvorin_FifoQueueItem__Item) {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Queue);
  CHalvorin_FifoQueue::AddHead(p__PCHalvorin_FifoQueueItem__Item);
}

CHalvorin_FifoQueueItem* CHalvorin_LockedFifoQueue::RemoveHead() {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Queue);
  return CHalvorin_FifoQueue::RemoveHead();
}

void CHalvorin_LockedFifoQueue::RemoveAll() {
  CHalvorin_CriticalSectionLock lock(&m__CRITICAL_SECTION__Queue);
  CHalvorin_FifoQueue::RemoveAll();
}
