// What a write loop's progress and drive-buffer reports remember between two writes.
#pragma once

#include <cstdint>

struct CHalvorin_WriteReports {
  // Both clocks start now.
  CHalvorin_WriteReports(std::uint64_t p__ULONGLONG__TotalLBs,
                         std::uint32_t p__ULONG__ProgressInterval,
                         std::uint32_t p__ULONG__BufferInterval);

  std::uint64_t m__ULONGLONG__TotalLBs;
  std::uint32_t m__ULONG__ProgressInterval;  // seconds; 0 none
  std::uint32_t m__ULONG__BufferInterval;    // seconds; 0 none
  std::uint64_t m__ULONGLONG__ProgressClock;
  std::uint64_t m__ULONGLONG__BufferClock;
  std::uint32_t m__ULONG__Writes = 0;
  std::uint32_t m__ULONG__BufferLength = 0;
  std::uint32_t m__ULONG__BlankBufferLength = 0;
  std::uint64_t m__ULONGLONG__ReportedLBs = 0;
  bool m__BOOLEAN__IsReported = false;
};
