// Raw sectors as a grab reads them, from untrusted bytes: checked by kind and corrected.
// Input: one byte choosing the kind (and the corrector's erasure options), then up to 2352
// sector bytes (the rest zero), then up to 2352 erasure flags.
//
// Besides memory errors it traps when a sector that fails its check is changed, when a sector
// reported corrected does not then pass its own check, or when the check passes a Mode 2 sector
// that is neither a good Form 1 sector nor one whose byte 18 says Form 2 with an EDC that holds
// (or none).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "lib/core/sector/edc_ecc.h"
#include "lib/core/sector/sector_check.h"
#include "lib/core/sector/sector_decoder.h"
#include "lib/core/sector/sector_edc.h"

namespace {

constexpr std::size_t kSector = 2352;

// Sync, EDC and parity of a sector the corrector returned as good (a Form 1 sector's parity is
// over a zero header).
bool Passes(const CHalvorin_EDCECC& coder, const std::uint8_t* sector, std::int32_t type) {
  std::uint8_t copy[kSector];
  std::memcpy(copy, sector, kSector);
  if (type == kHalvorinDecodeTypeMode2Form1) std::memset(copy + 12, 0, 4);
  const bool edc = type == kHalvorinDecodeTypeMode1 ? HalvorinI_Edc(0, copy, 2068) == 0
                                                    : HalvorinI_Edc(0, copy + 16, 2060) == 0;
  return coder.VerifySync(copy) && edc && CheckECCP(copy) && CheckECCQ(copy);
}

// A Form 2 sector's optional EDC: none recorded (zero), or that of bytes 16-2347.
bool Form2EdcHolds(const std::uint8_t* sector) {
  static constexpr std::uint8_t kNone[4] = {};
  return std::memcmp(sector + 2348, kNone, 4) == 0 || HalvorinI_Edc(0, sector + 16, 2336) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* p__PUCHAR__Data,
                                      std::size_t p__SIZE_T__Size) {
  if (p__SIZE_T__Size == 0) return 0;
  const std::uint8_t options = p__PUCHAR__Data[0];
  std::uint8_t sector[kSector] = {};
  const std::size_t sectorBytes = p__SIZE_T__Size - 1 < kSector ? p__SIZE_T__Size - 1 : kSector;
  std::memcpy(sector, p__PUCHAR__Data + 1, sectorBytes);
  std::uint8_t erasures[kSector] = {};
  const std::size_t rest = p__SIZE_T__Size - 1 - sectorBytes;
  std::memcpy(erasures, p__PUCHAR__Data + 1 + sectorBytes, rest < kSector ? rest : kSector);

  CHalvorin_EDCECC coder;
  std::uint8_t checked[kSector];
  std::memcpy(checked, sector, kSector);
  const std::int32_t kind = static_cast<std::int32_t>(options & 3);
  const bool good = coder.CheckLB(checked, kind);
  if (!good && std::memcmp(checked, sector, kSector) != 0) __builtin_trap();
  if (good && kind == kHalvorinSectorKindMode1 && !Passes(coder, checked, kHalvorinDecodeTypeMode1))
    __builtin_trap();
  if (good && kind == kHalvorinSectorKindMode2 &&
      !Passes(coder, checked, kHalvorinDecodeTypeMode2Form1) &&
      !((checked[18] & 0x20) && Form2EdcHolds(checked)))
    __builtin_trap();

  const std::int32_t type =
      (options & 4) ? kHalvorinDecodeTypeMode2Form1 : kHalvorinDecodeTypeMode1;
  std::uint8_t decoded[kSector];
  std::memcpy(decoded, sector, kSector);
  const std::int32_t result = (options & 8)
                                  ? DecodeSector(decoded, type, erasures, (options & 16) != 0)
                                  : DecodeSector(decoded, type);
  if (result == kHalvorinDecodeUncorrectable && std::memcmp(decoded, sector, kSector) != 0)
    __builtin_trap();
  if ((result == kHalvorinDecodeIntact || result == kHalvorinDecodeCorrected) &&
      !Passes(coder, decoded, type))
    __builtin_trap();
  return 0;
}
