// The check of raw sectors read by the grab, and their correction.
#include <cstring>

#include "lib/core/debug_trace.h"
#include "lib/core/sector/edc_ecc.h"
#include "lib/core/sector/sector_check.h"
#include "lib/core/sector/sector_decoder.h"

bool CHalvorin_EDCECC::CheckMODE1LB(std::uint8_t* p__PUCHAR__Sector) const {
  const char* failure = nullptr;
  if (!VerifySync(p__PUCHAR__Sector))
    failure = "VerifySync";
  else if (p__PUCHAR__Sector[15] != 1)
    failure = "VerifyHeader";
  else if (!CalculateEDC(p__PUCHAR__Sector, 1, 0))
    failure = "CalculateEDC";
  else if (!CheckECCP(p__PUCHAR__Sector))
    failure = "CheckECCP";
  else if (!CheckECCQ(p__PUCHAR__Sector))
    failure = "CheckHeader";
  if (!failure) return true;
  DebugTrace("\nCHalvorin_EDCECC::CheckMODE1LB(): %s() failed!!!\n", failure);
  return false;
}

bool CHalvorin_EDCECC::CheckMODE2LB(std::uint8_t* p__PUCHAR__Sector) const {
  const char* failure = nullptr;
  std::int32_t form = 0;
  if (!VerifySync(p__PUCHAR__Sector)) {
    failure = "VerifySync";
  } else if (p__PUCHAR__Sector[15] != 2) {
    failure = "VerifyHeader";
  } else if (!VerifySubHeader(p__PUCHAR__Sector + 16, &form)) {
    failure = "VerifySubHeader";
  } else if (form == 2) {
    return true;
  } else if (!CalculateEDC(p__PUCHAR__Sector, 2, 1)) {
    failure = "CalculateEDC";
  } else {
    // Form 1 parity is taken over a zero header.
    std::uint8_t header[4];
    std::memcpy(header, p__PUCHAR__Sector + 12, 4);
    std::memset(p__PUCHAR__Sector + 12, 0, 4);
    if (!CheckECCP(p__PUCHAR__Sector))
      failure = "CheckECCP";
    else if (!CheckECCQ(p__PUCHAR__Sector))
      failure = "CheckECCQ";
    std::memcpy(p__PUCHAR__Sector + 12, header, 4);
  }
  if (!failure) return true;
  DebugTrace("\nCHalvorin_EDCECC::CheckMODE2LB(): %s() failed!!!\n", failure);
  return false;
}

bool CHalvorin_EDCECC::CheckLB(std::uint8_t* p__PUCHAR__Sector, std::int32_t p__LONG__Kind) const {
  std::int32_t type;
  if (p__LONG__Kind == kHalvorinSectorKindMode1) {
    if (CheckMODE1LB(p__PUCHAR__Sector)) return true;
    type = kHalvorinDecodeTypeMode1;
  } else if (p__LONG__Kind == kHalvorinSectorKindMode2) {
    if (CheckMODE2LB(p__PUCHAR__Sector)) return true;
    // Form 2 carries no parity: a sector whose subheader copies both say Form 2 is taken as it
    // is. When only one copy says so, the other may be a damaged Form 1 subheader: Form 1
    // correction comes first, and Form 2 only when it fails.
    const bool form2 = (p__PUCHAR__Sector[18] & 0x20) != 0;
    const bool copyForm2 = (p__PUCHAR__Sector[22] & 0x20) != 0;
    if (form2 && copyForm2) return true;
    type = kHalvorinDecodeTypeMode2Form1;
    if (form2 || copyForm2) {
      // Corrected as Form 1 when it can be; otherwise left as read, a Form 2 sector.
      DecodeSector(p__PUCHAR__Sector, type);
      return true;
    }
  } else {
    return true;
  }
  const std::int32_t result = DecodeSector(p__PUCHAR__Sector, type);
  if (result == kHalvorinDecodeIntact || result == kHalvorinDecodeCorrected) return true;
  DebugTrace("CHalvorin_EDCECC::CheckLB(): Status (%ld), Sector type %ld\n",
             static_cast<long>(result), static_cast<long>(type));
  return false;
}
