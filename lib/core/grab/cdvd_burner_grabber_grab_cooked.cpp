// The cooked read engine of the grab: user data through READ CD (READ(10) on a DVD) in large
// transfers, failed transfers read again sector by sector one level deeper, and a sector that
// stays unreadable either the end of the grab or, with Ignore, zeros in its place.
#include <algorithm>

#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/core/debug_trace.h"
#include "lib/core/grab/grab_file.h"
#include "lib/core/grab/grab_pass.h"
#include "lib/core/grab/grab_writer.h"

namespace {

constexpr const char* kMethod = "CHalvorin_CdvdBurnerGrabber::GrabTrackCooked";

}  // namespace

void CHalvorin_CdvdBurnerGrabber::GrabTrackCooked(const CHalvorin_GrabPass& p__Pass) {
  const TOC_INFORMATION& toc = *p__Pass.m__PTOC_INFORMATION__Toc;
  const TOC_TRACK_ENTRY& track = toc.m__TOC_TRACK_ENTRY__Tracks[p__Pass.m__LONG__TrackIndex];
  const std::uint32_t depth = p__Pass.m__ULONG__NestingDepth;
  const std::int32_t start = depth ? p__Pass.m__LONG__StartLBA : track.m__LONG__StartLBA;
  const std::int32_t end = depth ? p__Pass.m__LONG__EndingLBA : track.m__LONG__EndLBA;
  DebugTrace("\n%s(): ENTERed for %ld - %ld, %ld, %ld, Ignore: %s, Force: %s\n", kMethod,
             static_cast<long>(start), static_cast<long>(end), static_cast<long>(depth),
             static_cast<long>(p__Pass.m__ULONG__RetryDepth),
             p__Pass.m__BOOLEAN__IsIgnore ? "Yes" : "No",
             p__Pass.m__BOOLEAN__IsForce ? "Yes" : "No");
  try {
    CHalvorin_GrabWriter& writer = *p__Pass.m__PCHalvorin_GrabWriter__Writer;
    const std::uint32_t lbSize = toc.m__BOOLEAN__IsDVD ? 2048 : track.m__ULONG__UserBytesPerSector;
    std::int32_t perTransfer = static_cast<std::int32_t>(kHalvorinGrabTransfer / lbSize);
    if ((depth > 0 && !(depth == 1 && p__Pass.m__BOOLEAN__IsDVDPart)) ||
        p__Pass.m__BOOLEAN__IsForce)
      perTransfer = 1;
    CHalvorin_GrabProgress progress(start, end);
    // Only a CD track's whole pass gives up near its end, where the run-out of a written track
    // does not read; a range, a DVD part and a retry pass retry to the depth asked.
    const bool isTrackPass = depth == 0 && !toc.m__BOOLEAN__IsDVD;
    bool isNearTheEnd = false;
    for (std::int32_t lba = start; lba <= end;) {
      // No transfer reaches past the end, the first one neither.
      std::int32_t count = std::min(perTransfer, end - lba + 1);
      const std::uint32_t bytes = static_cast<std::uint32_t>(count) * lbSize;
      // The transfer's buffer, zeroed: written while the next ones are read, or given back.
      std::uint8_t* buffer = writer.Acquire(kMethod);
      CHalvorin_HeldGrabBuffer held{writer, buffer};
      bool isRead = false;
      if (!isNearTheEnd) {
        try {
          if (toc.m__BOOLEAN__IsDVD)
            Read10(buffer, bytes, static_cast<std::uint32_t>(lba),
                   static_cast<std::uint16_t>(count));
          else
            ReadCD(0, static_cast<std::uint32_t>(lba), static_cast<std::uint32_t>(count), false, 0,
                   true, false, 0, 0, buffer, bytes);
          isRead = true;
        } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
          HalvorinI_WarnGrabReadFailure(kMethod, lba, count, p__PCHalvorin_Exception__Exception);
          if (isTrackPass && track.m__LONG__EndLBA - lba < kHalvorinGrabNearTheEnd)
            isNearTheEnd = true;
        }
      }
      bool isWritten = false;
      if (!isRead) {
        if (depth < p__Pass.m__ULONG__RetryDepth + 1 && !isNearTheEnd) {
          Callback(HALVORIN_CALLBACK_REASON_GRAB_SECTOR_RETRY, &lba, nullptr);
          writer.Release(buffer);
          held.buffer = nullptr;
          GrabTrackCooked(p__Pass.Nested(lba, count));
          isWritten = true;  // by the nested pass
        } else if (!p__Pass.m__BOOLEAN__IsIgnore) {
          HalvorinI_ThrowException(kHalvorinStatusGeneralFailure, 0,
                                   "%s(): LBA %ld cannot be recovered!!!", kMethod,
                                   static_cast<long>(lba));
        } else {
          Callback(HALVORIN_CALLBACK_REASON_GRAB_SECTOR_PATTERN, &lba, &count);
          std::fill(buffer, buffer + bytes, 0);  // whatever a failed read left there
        }
      }
      if (!isWritten) {
        held.buffer = nullptr;
        writer.Submit(buffer, bytes, kMethod);
        ThrowIfGrabCancelled(kMethod, lba);
      }
      progress.m__ULONGLONG__Done += static_cast<std::uint64_t>(count);
      lba += count;
      if (lba > end) break;
      if (end - lba < kHalvorinGrabNearTheEnd) perTransfer = 1;
      ReportGrabProgress(p__Pass, progress);
    }
    if (!p__Pass.m__BOOLEAN__IsRetry) writer.Drain(kMethod);
  } catch (CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
    HalvorinI_TraceExitFailure(kMethod, p__PCHalvorin_Exception__Exception);
    throw;
  }
  DebugTrace("\n%s(): EXITing with success\n", kMethod);
}
