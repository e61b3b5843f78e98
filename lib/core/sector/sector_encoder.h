// Raw 2352-byte CD-ROM sectors as ECMA-130 lays them out: sync, header (BCD address and mode),
// EDC, P and Q parity, scrambling. The raw track generators build every sector they emit
// with these functions. The sector is a caller-owned 2352-byte buffer.
#pragma once

#include <cstdint>

// Sector types of EncodeSector.
inline constexpr std::int32_t kHalvorinSectorTypeMode0 = 0;
inline constexpr std::int32_t kHalvorinSectorTypeMode1 = 1;
inline constexpr std::int32_t kHalvorinSectorTypeMode2 = 2;  // formless: 2336 bytes of the caller
inline constexpr std::int32_t kHalvorinSectorTypeMode2Form1 = 3;
inline constexpr std::int32_t kHalvorinSectorTypeMode2Form2 = 4;

// The sector address (frames from 00:00:00) of an LBA: lba + 150, and for the lead-in
// (lba < -150) lba + 450150, so that LBA -151 is 99:59:74. -1 outside -45150..449849.
std::int32_t HalvorinI_SectorAddressOfLBA(std::int32_t p__LONG__LBA);

// EncodeSector at the address of the LBA; -1 for a bad type or an LBA outside -45150..449849
// (then only the sync is written).
std::int32_t EncodeSectorAtAddress(std::uint8_t* p__PUCHAR__Sector, std::int32_t p__LONG__Type,
                                   std::int32_t p__LONG__LBA);
// Writes the sync and, by type, the header, EDC and parity around the caller's data (from byte
// 16 in modes 1 and 2; a Form 1 or Form 2 subheader is the caller's too). Form 1 parity is
// taken over a zero header. 0, or -1 for a type outside 0-4 or an address beyond 99:59:74, with
// only the sync written.
std::int32_t EncodeSector(std::uint8_t* p__PUCHAR__Sector, std::int32_t p__LONG__Type,
                          std::uint32_t p__ULONG__Address);
// XORs bytes 12-2351 with the scrambler sequence (its own inverse); the sync stays. 0.
std::int32_t ScrambleSector(std::uint8_t* p__PUCHAR__Sector);
// Bytes 12-15: minute, second, frame (BCD) and the mode of the type. 0, or -1 for a bad type
// or address.
std::int32_t BuildSectorHeader(std::uint8_t* p__PUCHAR__Sector, std::int32_t p__LONG__Type,
                               std::uint32_t p__ULONG__Address);
// EDC of bytes first..last.
std::uint32_t ComputeSectorEdc(const std::uint8_t* p__PUCHAR__Sector, std::uint32_t p__ULONG__First,
                               std::uint32_t p__ULONG__Last);
// Write (not XOR) the P parity (bytes 2076-2247) and the Q parity (2248-2351); they take the
// address of the sector's byte 12.
void EncodeSectorEccP(std::uint8_t* p__PUCHAR__Header);
void EncodeSectorEccQ(std::uint8_t* p__PUCHAR__Header);
