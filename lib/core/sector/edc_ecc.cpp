#include "lib/core/sector/edc_ecc.h"

#include <cstring>

#include "lib/core/debug_trace.h"
#include "lib/core/sector/sector_edc.h"
#include "lib/core/sector/sector_helpers.h"
#include "lib/core/sector/sector_parity.h"

namespace {

// First byte, count and EDC offset of the range of a mode; false for a mode without EDC.
bool EdcRange(std::int32_t mode, bool form1, std::uint32_t* first, std::uint32_t* count,
              std::uint32_t* at) {
  if (mode == 1) {
    *first = 0, *count = 2064, *at = 2064;
  } else if (mode == 2 && form1) {
    *first = 16, *count = 2056, *at = 2072;
  } else if (mode == 2) {
    *first = 16, *count = 2332, *at = 2348;
  } else {
    return false;
  }
  return true;
}

std::uint32_t LoadEdc(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

void XorInto(std::uint8_t* target, const std::uint8_t* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) target[i] ^= bytes[i];
}

}  // namespace

void CHalvorin_EDCECC::FillSectorEDC(std::uint8_t* p__PUCHAR__Sector, std::int32_t p__LONG__Mode,
                                     bool p__BOOLEAN__IsForm1) const {
  std::uint32_t first = 0, count = 0, at = 0;
  if (!EdcRange(p__LONG__Mode, p__BOOLEAN__IsForm1, &first, &count, &at)) return;
  const std::uint32_t edc = HalvorinI_Edc(0, p__PUCHAR__Sector + first, count);
  for (int i = 0; i < 4; ++i) p__PUCHAR__Sector[at + i] = static_cast<std::uint8_t>(edc >> (8 * i));
}

void CHalvorin_EDCECC::CalculateEccP(std::uint8_t* p__PUCHAR__Sector) const {
  std::uint8_t parity[172];
  HalvorinI_ComputeParityP(p__PUCHAR__Sector + 12, parity);
  XorInto(p__PUCHAR__Sector + 2076, parity, sizeof parity);
}

void CHalvorin_EDCECC::CalculateEccQ(std::uint8_t* p__PUCHAR__Sector) const {
  std::uint8_t parity[104];
  HalvorinI_ComputeParityQ(p__PUCHAR__Sector + 12, parity);
  XorInto(p__PUCHAR__Sector + 2248, parity, sizeof parity);
}

bool CHalvorin_EDCECC::VerifySync(const std::uint8_t* p__PUCHAR__Sector) const {
  return HalvorinI_HasSectorSync(p__PUCHAR__Sector);
}

bool CHalvorin_EDCECC::VerifySubHeader(const std::uint8_t* p__PUCHAR__SubHeader,
                                       std::int32_t* p__PLONG__Form) const {
  if (std::memcmp(p__PUCHAR__SubHeader, p__PUCHAR__SubHeader + 4, 4) != 0) {
    *p__PLONG__Form = 0;
    return false;
  }
  *p__PLONG__Form = (p__PUCHAR__SubHeader[2] & 0x20) ? 2 : 1;
  return true;
}

bool CHalvorin_EDCECC::CalculateEDC(const std::uint8_t* p__PUCHAR__Sector,
                                    std::int32_t p__LONG__Mode, std::int32_t p__LONG__Form) const {
  std::uint32_t first = 0, count = 0, at = 0;
  if (!EdcRange(p__LONG__Mode, p__LONG__Form == 1, &first, &count, &at)) return true;
  const std::uint32_t ours = HalvorinI_Edc(0, p__PUCHAR__Sector + first, count);
  const std::uint32_t stored = LoadEdc(p__PUCHAR__Sector + at);
  if (ours == stored) return true;
  DebugTrace(
      "\nCHalvorin_EDCECC::CalculateEDC(): 0x%08X [our] vs 0x%08X [LB], Mode %ld, MODE2Form %ld\n",
      ours, stored, static_cast<long>(p__LONG__Mode), static_cast<long>(p__LONG__Form));
  return false;
}
