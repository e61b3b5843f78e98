#include "lib/core/grab/grab_pass.h"

#include <chrono>

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
