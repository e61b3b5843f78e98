// The sector corrector: repairs a raw 2352-byte sector with its P and Q parity in alternating
// passes, marking erasures where failed P and Q codewords cross, and judges the result by the
// EDC. It works on a copy on the stack, allocates nothing, and writes the sector back only
// when the EDC comes out right.
#pragma once

#include <cstdint>

// Types of DecodeSector.
inline constexpr std::int32_t kHalvorinDecodeTypeMode1 = 2;
inline constexpr std::int32_t kHalvorinDecodeTypeMode2Form1 = 4;

// Results of DecodeSector.
inline constexpr std::int32_t kHalvorinDecodeIntact = 1;
inline constexpr std::int32_t kHalvorinDecodeCorrected = 0;       // EDC right, parity rewritten
inline constexpr std::int32_t kHalvorinDecodeUncorrectable = -1;  // the sector stays as it was
inline constexpr std::int32_t kHalvorinDecodeUnsupported = -2;

// The sync is rewritten; a Form 1 sector's parity is taken over a zero header and its own
// header is kept.
std::int32_t DecodeSector(std::uint8_t* p__PUCHAR__Sector, std::int32_t p__LONG__Type);
// The same with the caller's erasures: one flag per sector byte (2352, nonzero = erased; those
// of the sync are ignored), or null. An EDC that is right from the start clears the flags of
// its range. p__BOOLEAN__IsMarkingOff stops the corrector marking erasures of its own.
std::int32_t DecodeSector(std::uint8_t* p__PUCHAR__Sector, std::int32_t p__LONG__Type,
                          std::uint8_t* p__PUCHAR__Erasures, bool p__BOOLEAN__IsMarkingOff);
