// The burner/grabber's sector coder: EDC and P/Q parity for session-at-once writing, and the
// check of raw sectors read by the grab, which repairs a failing sector with the corrector.
// It keeps no state: the tables are the shared constant ones. Sectors are 2352 bytes.
#pragma once

#include <cstdint>

#include "lib/core/halvorin_object.h"

// Sector kinds of CheckLB.
inline constexpr std::int32_t kHalvorinSectorKindMode1 = 1;
inline constexpr std::int32_t kHalvorinSectorKindMode2 = 2;

class CHalvorin_EDCECC : public CHalvorin_Object {
 public:
  CHalvorin_EDCECC() = default;

  // Mode 1: EDC of bytes 0-2063 into 2064-2067; mode 2 with form1 set: 16-2071 into 2072-2075;
  // mode 2 otherwise: 16-2347 into 2348-2351; other modes: nothing.
  void FillSectorEDC(std::uint8_t* p__PUCHAR__Sector, std::int32_t p__LONG__Mode,
                     bool p__BOOLEAN__IsForm1) const;
  // XOR the parity of the sector into bytes 2076-2247 (P, over 12-2075) and 2248-2351 (Q, over
  // 12-2247): zero parity bytes become the parity, correct ones become zero.
  void CalculateEccP(std::uint8_t* p__PUCHAR__Sector) const;
  void CalculateEccQ(std::uint8_t* p__PUCHAR__Sector) const;

  bool VerifySync(const std::uint8_t* p__PUCHAR__Sector) const;
  // From sector byte 16: false with form 0 when the subheader and its copy differ; else true
  // with form 2 when the submode has bit 0x20, form 1 otherwise.
  bool VerifySubHeader(const std::uint8_t* p__PUCHAR__SubHeader,
                       std::int32_t* p__PLONG__Form) const;
  // True when the stored EDC of the mode (1; 2 with form 1; 2 otherwise as Form 2) is right;
  // true for other modes.
  bool CalculateEDC(const std::uint8_t* p__PUCHAR__Sector, std::int32_t p__LONG__Mode,
                    std::int32_t p__LONG__Form) const;

  // Sync, mode byte, EDC, P and Q of a Mode 1 sector.
  bool CheckMODE1LB(std::uint8_t* p__PUCHAR__Sector) const;
  // Sync, mode byte and subheader of a Mode 2 sector; for Form 1 also EDC, P and Q (over a zero
  // header, put back afterwards), for Form 2 its EDC when it has one.
  bool CheckMODE2LB(std::uint8_t* p__PUCHAR__Sector) const;
  // Checks a sector of the kind (1 Mode 1, 2 Mode 2; others pass) and corrects it in place when
  // the check fails; false when it cannot be corrected (the sector then stays as read). A Mode 2
  // sector is taken as Form 2 without correction only when byte 18 says so and its EDC holds.
  bool CheckLB(std::uint8_t* p__PUCHAR__Sector, std::int32_t p__LONG__Kind) const;

 private:
  // A Form 2 sector's EDC is optional: true when bytes 2348-2351 are zero (none recorded) or
  // hold the EDC of bytes 16-2347.
  bool IsForm2EdcRight(const std::uint8_t* p__PUCHAR__Sector) const;
};
