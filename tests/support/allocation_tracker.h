// Records the largest single allocation of the test program, so that a test can show that a
// hostile stored count leads to no large allocation, and bounds the bytes the program holds,
// so that a test can show that a run stays within memory it was given. Using it links in
// replacements of the global operators new and delete.
#pragma once

#include <cstddef>

void ResetLargestAllocation();
std::size_t LargestAllocation();

// The bytes held in blocks of operator new now.
std::size_t AllocatedBytes();

// While it lives, an operator new that would take the bytes held more than `extra` past what
// they were at its making fails as it does when memory runs out (std::bad_alloc, or null).
class AllocationLimit {
 public:
  explicit AllocationLimit(std::size_t extra);
  ~AllocationLimit();
  AllocationLimit(const AllocationLimit&) = delete;
  AllocationLimit& operator=(const AllocationLimit&) = delete;
};
