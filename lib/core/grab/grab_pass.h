// One pass of a grab's read engines: the whole track at nesting depth 0, or a range of it (a
// range grab, a DVD part, or a failed transfer read again one level deeper).
#pragma once

#include <cstdint>

#include "halvorin.h"
#include "lib/core/halvorin_exception.h"

class CHalvorin_GrabWriter;

struct CHalvorin_GrabPass {
  std::int32_t m__LONG__TrackIndex = 0;  // in the TOC, from 0
  const TOC_INFORMATION* m__PTOC_INFORMATION__Toc = nullptr;
  CHalvorin_GrabWriter* m__PCHalvorin_GrabWriter__Writer = nullptr;  // of the output file
  std::uint32_t m__ULONG__ProgressInterval = 0;                      // seconds; 0 none
  std::uint32_t m__ULONG__NestingDepth = 0;
  std::uint32_t m__ULONG__RetryDepth = 0;
  std::int32_t m__LONG__StartLBA = 0;   // used above nesting depth 0
  std::int32_t m__LONG__EndingLBA = 0;  // inclusive
  bool m__BOOLEAN__IsIgnore = false;
  bool m__BOOLEAN__IsForce = false;
  bool m__BOOLEAN__IsDVDPart = false;    // a DVD part keeps full transfers at depth 1
  std::uint32_t m__ULONG__ReadMode = 1;  // raw engine: 1 raw, 2 raw + PQ, 3 raw + raw P-W
  bool m__BOOLEAN__IsRetry = false;      // a failed transfer's pass: its caller flushes the file
  // Raw engine: the first sector of the next track's pause as the disc's Q showed it (none:
  // past every LBA), so that a deeper pass read without subchannel knows it too.
  std::int32_t m__LONG__PauseStartLBA = 0x7FFFFFFF;

  // The same pass one level deeper over one failed transfer, without progress reports.
  CHalvorin_GrabPass Nested(std::int32_t p__LONG__StartLBA, std::int32_t p__LONG__Count) const {
    CHalvorin_GrabPass nested = *this;
    nested.m__ULONG__NestingDepth = m__ULONG__NestingDepth + 1;
    nested.m__ULONG__ProgressInterval = 0;
    nested.m__LONG__StartLBA = p__LONG__StartLBA;
    nested.m__LONG__EndingLBA = p__LONG__StartLBA + p__LONG__Count - 1;
    nested.m__BOOLEAN__IsDVDPart = false;
    nested.m__BOOLEAN__IsRetry = true;
    return nested;
  }
};

// The device's largest transfer, and the sectors before a track's or range's end where a read
// failure means the end is near.
inline constexpr std::uint32_t kHalvorinGrabTransfer = 61440;
inline constexpr std::int32_t kHalvorinGrabNearTheEnd = 150;

// Milliseconds of the layer's clock.
std::uint64_t HalvorinI_GrabTickCount();
// A failed read's exception is ILLEGAL REQUEST, 6Fh/04h: the drive and the disc are of
// different regions.
bool HalvorinI_IsRegionMismatch(const CHalvorin_Exception* p__PCHalvorin_Exception__Exception);
// The warning of a failed read, which it frees; a region mismatch is thrown on instead, as no
// retry reads past it.
void HalvorinI_WarnGrabReadFailure(const char* p__PCHAR__Method, std::int32_t p__LONG__LBA,
                                   std::int32_t p__LONG__Count,
                                   CHalvorin_Exception* p__PCHalvorin_Exception__Exception);

// A pass's progress: its sectors, those done, and when it was last reported.
struct CHalvorin_GrabProgress {
  // The clock starts now.
  CHalvorin_GrabProgress(std::int32_t p__LONG__StartLBA, std::int32_t p__LONG__EndingLBA);

  std::uint64_t m__ULONGLONG__Total;
  std::uint64_t m__ULONGLONG__Done = 0;
  std::uint64_t m__ULONGLONG__LastReport;
};
