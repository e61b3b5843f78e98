// First-in first-out queues of items linked through the items themselves: the cache objects
// circulate between the free queue of the cache manager and the write queue.
#pragma once

#include <cstdint>
#include <memory>

#include "lib/core/critical_section_lock.h"
#include "lib/core/halvorin_exception.h"
#include "lib/core/halvorin_object.h"

class CHalvorin_FifoQueueItem;

struct CHalvorin_FifoQueueLink {
  CHalvorin_FifoQueueLink* m__PLink__Next = this;
  CHalvorin_FifoQueueLink* m__PLink__Previous = this;
  CHalvorin_FifoQueueItem* m__PCHalvorin_FifoQueueItem__Self = nullptr;
};

class CHalvorin_FifoQueueItem : public CHalvorin_Object {
 public:
  explicit CHalvorin_FifoQueueItem(std::int32_t p__LONG__Tag) : m__LONG__Tag(p__LONG__Tag) {
    m__Link.m__PCHalvorin_FifoQueueItem__Self = this;
  }
  ~CHalvorin_FifoQueueItem() override = default;

  // Clears the end marker and drops a carried exception (freed here, so exactly once).
  virtual void Reset() {
    m__BOOLEAN__IsEndMarker = false;
    m__BOOLEAN__IsCarriesException = false;
    m__PCHalvorin_Exception__Exception.reset();
  }

  // Stores a failure of the producer; the item owns it until it is taken.
  void CarryException(CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    m__PCHalvorin_Exception__Exception.reset(p__PCHalvorin_Exception__Exception);
    m__BOOLEAN__IsCarriesException = true;
  }
  CHalvorin_Exception* TakeException() {
    m__BOOLEAN__IsCarriesException = false;
    return m__PCHalvorin_Exception__Exception.release();
  }

  std::int32_t GetTag() const { return m__LONG__Tag; }

  std::int32_t m__LONG__Tag;
  CHalvorin_FifoQueueLink m__Link;
  bool m__BOOLEAN__IsEndMarker = false;
  bool m__BOOLEAN__IsCarriesException = false;
  std::unique_ptr<CHalvorin_Exception> m__PCHalvorin_Exception__Exception;
};

// A circular doubly linked list through the items' links; it does not own its items.
class CHalvorin_FifoQueue : public CHalvorin_Object {
 public:
  CHalvorin_FifoQueue() = default;
  ~CHalvorin_FifoQueue() override;

  virtual void AddTail(CHalvorin_FifoQueueItem* p__PCHalvorin_FifoQueueItem__Item);
  virtual void AddHead(CHalvorin_FifoQueueItem* p__PCHalvorin_FifoQueueItem__Item);
  virtual CHalvorin_FifoQueueItem* RemoveHead();
  virtual void RemoveAll();
  bool IsEmpty() const { return m__Head.m__PLink__Next == &m__Head; }

 protected:
  CHalvorin_FifoQueueLink m__Head;
};

class CHalvorin_LockedFifoQueue : public CHalvorin_FifoQueue {
 public:
  CHalvorin_LockedFifoQueue() = default;
  ~CHalvorin_LockedFifoQueue() override = default;

  void AddTail(CHalvorin_FifoQueueItem* p__PCHalvorin_FifoQueueItem__Item) override;
  void AddHead(CHalvorin_FifoQueueItem* p__PCHalvorin_FifoQueueItem__Item) override;
  CHalvorin_FifoQueueItem* RemoveHead() override;
  void RemoveAll() override;

 private:
  CHalvorin_CriticalSection m__CRITICAL_SECTION__Queue;
};
