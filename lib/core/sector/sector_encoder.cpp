#include "lib/core/sector/sector_encoder.h"

#include <cstring>

#include "lib/core/sector/lba_msf.h"
#include "lib/core/sector/sector_coding_tables.h"
#include "lib/core/sector/sector_edc.h"
#include "lib/core/sector/sector_helpers.h"
#include "lib/core/sector/sector_parity.h"

namespace {

constexpr std::uint32_t kAddressLimit = 100 * 4500;  // 100:00:00

constexpr std::uint8_t Bcd(std::uint32_t value) {
  return static_cast<std::uint8_t>((value / 10) * 16 + value % 10);
}

void StoreEdc(std::uint8_t* at, std::uint32_t edc) {
  at[0] = static_cast<std::uint8_t>(edc);
  at[1] = static_cast<std::uint8_t>(edc >> 8);
  at[2] = static_cast<std::uint8_t>(edc >> 16);
  at[3] = static_cast<std::uint8_t>(edc >> 24);
}

}  // namespace

std::int32_t HalvorinI_SectorAddressOfLBA(std::int32_t p__LONG__LBA) {
  if (p__LONG__LBA < kHalvorinFirstLeadInLBA || p__LONG__LBA > kHalvorinLastLBA) return -1;
  return p__LONG__LBA >= kHalvorinFirstLBA ? p__LONG__LBA + 150 : p__LONG__LBA + 450150;
}

std::int32_t EncodeSectorAtAddress(std::uint8_t* p__PUCHAR__Sector, std::int32_t p__LONG__Type,
                                   std::int32_t p__LONG__LBA) {
  const std::int32_t address = HalvorinI_SectorAddressOfLBA(p__LONG__LBA);
  if (address < 0) {
    SetSectorSync(p__PUCHAR__Sector);
    return -1;
  }
  return EncodeSector(p__PUCHAR__Sector, p__LONG__Type, static_cast<std::uint32_t>(address));
}

std::int32_t BuildSectorHeader(std::uint8_t* p__PUCHAR__Sector, std::int32_t p__LONG__Type,
                               std::uint32_t p__ULONG__Address) {
  if (p__LONG__Type < kHalvorinSectorTypeMode0 || p__LONG__Type > kHalvorinSectorTypeMode2Form2 ||
      p__ULONG__Address >= kAddressLimit)
    return -1;
  p__PUCHAR__Sector[12] = Bcd(p__ULONG__Address / 4500);
  p__PUCHAR__Sector[13] = Bcd((p__ULONG__Address / 75) % 60);
  p__PUCHAR__Sector[14] = Bcd(p__ULONG__Address % 75);
  p__PUCHAR__Sector[15] =
      static_cast<std::uint8_t>(p__LONG__Type >= kHalvorinSectorTypeMode2 ? 2 : p__LONG__Type);
  return 0;
}

std::int32_t EncodeSector(std::uint8_t* p__PUCHAR__Sector, std::int32_t p__LONG__Type,
                          std::uint32_t p__ULONG__Address) {
  std::uint8_t* s = p__PUCHAR__Sector;
  SetSectorSync(s);
  if (p__LONG__Type < kHalvorinSectorTypeMode0 || p__LONG__Type > kHalvorinSectorTypeMode2Form2 ||
      p__ULONG__Address >= kAddressLimit)
    return -1;
  switch (p__LONG__Type) {
    case kHalvorinSectorTypeMode0:
      std::memset(s + 12, 0, kHalvorinRawSectorSize - 12);
      BuildSectorHeader(s, p__LONG__Type, p__ULONG__Address);
      break;
    case kHalvorinSectorTypeMode1:
      BuildSectorHeader(s, p__LONG__Type, p__ULONG__Address);
      StoreEdc(s + 2064, ComputeSectorEdc(s, 0, 2063));
      std::memset(s + 2068, 0, 8);
      EncodeSectorEccP(s + 12);
      EncodeSectorEccQ(s + 12);
      break;
    case kHalvorinSectorTypeMode2:
      BuildSectorHeader(s, p__LONG__Type, p__ULONG__Address);
      break;
    case kHalvorinSectorTypeMode2Form1:
      StoreEdc(s + 2072, ComputeSectorEdc(s, 16, 2071));
      std::memset(s + 12, 0, 4);
      EncodeSectorEccP(s + 12);
      EncodeSectorEccQ(s + 12);
      BuildSectorHeader(s, p__LONG__Type, p__ULONG__Address);
      break;
    default:  // Form 2
      BuildSectorHeader(s, p__LONG__Type, p__ULONG__Address);
      StoreEdc(s + 2348, ComputeSectorEdc(s, 16, 2347));
      break;
  }
  return 0;
}

std::int32_t ScrambleSector(std::uint8_t* p__PUCHAR__Sector) {
  HalvorinI_ScrambleBody(p__PUCHAR__Sector + 12);
  return 0;
}

std::uint32_t ComputeSectorEdc(const std::uint8_t* p__PUCHAR__Sector, std::uint32_t p__ULONG__First,
                               std::uint32_t p__ULONG__Last) {
  if (p__ULONG__Last < p__ULONG__First) return 0;
  return HalvorinI_Edc(0, p__PUCHAR__Sector + p__ULONG__First,
                       p__ULONG__Last - p__ULONG__First + 1);
}

void EncodeSectorEccP(std::uint8_t* p__PUCHAR__Header) {
  HalvorinI_ComputeParityP(p__PUCHAR__Header, p__PUCHAR__Header + 2064);
}

void EncodeSectorEccQ(std::uint8_t* p__PUCHAR__Header) {
  HalvorinI_ComputeParityQ(p__PUCHAR__Header, p__PUCHAR__Header + 2236);
}
