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
    if (!IsForm2EdcRight(p__PUCHAR__Sector)) failure = "CalculateEDC";
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

bool CHalvorin_EDCECC::IsForm2EdcRight(const std::uint8_t* p__PUCHAR__Sector) const {
  static constexpr std::uint8_t kNone[4] = {};
  return std::memcmp(p__PUCHAR__Sector + 2348, kNone, 4) == 0 ||
         CalculateEDC(p__PUCHAR__Sector, 2, 2);
}

bool CHalvorin_EDCECC::CheckLB(std::uint8_t* p__PUCHAR__Sector, std::int32_t p__LONG__Kind) const {
  std::int32_t type;
  bool isForm2 = false;
  if (p__LONG__Kind == kHalvorinSectorKindMode1) {
    if (CheckMODE1LB(p__PUCHAR__Sector)) return true;
    type = kHalvorinDecodeTypeMode1;
  } else if (p__LONG__Kind == kHalvorinSectorKindMode2) {
    if (CheckMODE2LB(p__PUCHAR__Sector)) return true;
    // Form 2 carries no parity: a sector whose submode (byte 18) says Form 2 and whose EDC, when
    // it has one, is right is taken as it is. When its copy (byte 22) says Form 1, or the EDC is
    // wrong, it may be a Form 1 sector with a damaged subheader: Form 1 correction comes first.
    // A sector whose byte 18 says Form 1 is Form 1, whatever its copy says.
    isForm2 = (p__PUCHAR__Sector[18] & 0x20) && IsForm2EdcRight(p__PUCHAR__Sector);
    if (isForm2 && (p__PUCHAR__Sector[22] & 0x20)) return true;
    type = kHalvorinDecodeTypeMode2Form1;
  } else {
    return true;
  }
  // A sector that cannot be corrected is left as it was read.
  const std::int32_t result = DecodeSector(p__PUCHAR__Sector, type);
  if (result == kHalvorinDecodeIntact || result == kHalvorinDecodeCorrected || isForm2) return true;
  DebugTrace("CHalvorin_EDCECC::CheckLB(): Status (%ld), Sector type %ld\n",
             static_cast<long>(result), static_cast<long>(type));
  return false;
}
