// Records the largest single allocation of the test program, so that a test can show that a
// hostile stored count leads to no large allocation. Using it links in replacements of the
// global operators new and delete.
#pragma once

#include <cstddef>

void ResetLargestAllocation();
std::size_t LargestAllocation();
