#include "tests/support/allocation_tracker.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> largest{0};
std::atomic<std::size_t> held{0};
std::atomic<std::size_t> limit{0};  // 0: none

// Null when the block would take the bytes held past the limit.
void* Take(std::size_t n) {
  std::size_t seen = largest.load();
  while (n > seen && !largest.compare_exchange_weak(seen, n)) {
  }
  void* p = std::malloc(n ? n : 1);
  if (!p) return nullptr;
  const std::size_t size = malloc_usable_size(p);
  const std::size_t bound = limit.load();
  if (held.fetch_add(size) + size > bound && bound != 0) {
    held -= size;
    std::free(p);
    return nullptr;
  }
  return p;
}

void Give(void* p) {
  if (!p) return;
  held -= malloc_usable_size(p);
  std::free(p);
}

void* Allocate(std::size_t n) {
  if (void* p = Take(n)) return p;
  throw std::bad_alloc();
}

}  // namespace

void ResetLargestAllocation() {
  largest = 0;
}
std::size_t LargestAllocation() {
  return largest.load();
}
std::size_t AllocatedBytes() {
  return held.load();
}

AllocationLimit::AllocationLimit(std::size_t extra) {
  limit = held.load() + extra;
}
AllocationLimit::~AllocationLimit() {
  limit = 0;
}

void* operator new(std::size_t n) {
  return Allocate(n);
}
void* operator new[](std::size_t n) {
  return Allocate(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  return Take(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  return Take(n);
}
void operator delete(void* p) noexcept {
  Give(p);
}
void operator delete[](void* p) noexcept {
  Give(p);
}
void operator delete(void* p, std::size_t) noexcept {
  Give(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  Give(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  Give(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  Give(p);
}
