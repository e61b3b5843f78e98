#include "tests/support/allocation_tracker.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> largest{0};

void* Allocate(std::size_t n) {
  std::size_t seen = largest.load();
  while (n > seen && !largest.compare_exchange_weak(seen, n)) {
  }
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}

}  // namespace

void ResetLargestAllocation() {
  largest = 0;
}
std::size_t LargestAllocation() {
  return largest.load();
}

void* operator new(std::size_t n) {
  return Allocate(n);
}
void* operator new[](std::size_t n) {
  return Allocate(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  return std::malloc(n ? n : 1);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
