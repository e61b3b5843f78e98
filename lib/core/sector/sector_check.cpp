#include "lib/core/sector/sector_check.h"

#include <cstring>

#include "lib/core/sector/sector_parity.h"

bool CheckECCP(const std::uint8_t* p__PUCHAR__Sector) {
  std::uint8_t parity[172];
  HalvorinI_ComputeParityP(p__PUCHAR__Sector + 12, parity);
  return std::memcmp(parity, p__PUCHAR__Sector + 2076, sizeof parity) == 0;
}

bool CheckECCQ(const std::uint8_t* p__PUCHAR__Sector) {
  std::uint8_t parity[104];
  HalvorinI_ComputeParityQ(p__PUCHAR__Sector + 12, parity);
  return std::memcmp(parity, p__PUCHAR__Sector + 2248, sizeof parity) == 0;
}
