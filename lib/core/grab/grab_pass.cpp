#include "lib/core/grab/grab_pass.h"

#include <chrono>
#include <memory>

#include "lib/core/debug_trace.h"
#include "platform/aspi/clock.h"

std::uint64_t HalvorinI_GrabTickCount() {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(platform::aspi::CurrentClock()->Now())
          .count());
}

bool HalvorinI_IsRegionMismatch(const CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
  if (!p__PCHalvorin_Exception__Exception) return false;
  const CDB_FAILURE_INFORMATION* f = p__PCHalvorin_Exception__Exception->GetFailureInformation();
  if (!f || !f->m__UCHAR__IsValid || f->m__UCHAR__SenseLength < 14) return false;
  return (f->m__UCHAR__Sense[2] & 0x0F) == 0x05 && f->m__UCHAR__Sense[12] == 0x6F &&
         f->m__UCHAR__Sense[13] == 0x04;
}

void HalvorinI_WarnGrabReadFailure(const char* p__PCHAR__Method, std::int32_t p__LONG__LBA,
                                   std::int32_t p__LONG__Count,
                                   CHalvorin_Exception* p__PCHalvorin_Exception__Exception) {
  std::unique_ptr<CHalvorin_Exception> exception(p__PCHalvorin_Exception__Exception);
  DebugTrace("\n%s(): Read failed for LBA %ld, %ld LBs\n", p__PCHAR__Method,
             static_cast<long>(p__LONG__LBA), static_cast<long>(p__LONG__Count));
  DebugTrace("\n%s(): WARNING! Status %ld, message '%s'!!!\n", p__PCHAR__Method,
             static_cast<long>(exception ? exception->GetStatus() : 12),
             exception ? exception->GetText() : "");
  if (HalvorinI_IsRegionMismatch(exception.get())) {
    DebugTrace("\n%s(): DVD region mismatch!!!\n", p__PCHAR__Method);
    HalvorinI_Throw(exception.release());
  }
}

CHalvorin_GrabProgress::CHalvorin_GrabProgress(std::int32_t p__LONG__StartLBA,
                                               std::int32_t p__LONG__EndingLBA)
    : m__ULONGLONG__Total(static_cast<std::uint64_t>(p__LONG__EndingLBA - p__LONG__StartLBA + 1)),
      m__ULONGLONG__LastReport(HalvorinI_GrabTickCount()) {}
