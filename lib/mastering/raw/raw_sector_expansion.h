// Expansion of cooked units into the Mode 2 units of session-at-once XA writing. Source and
// destination are separate buffers of `units` whole units.
#pragma once

#include <cstdint>

inline constexpr std::uint32_t kHalvorinMode2UnitSize = 2336;
inline constexpr std::uint32_t kHalvorinForm2UnitSize = 2332;  // subheader, copy, 2324 payload

// The subheader of the VideoCD data track's units.
inline constexpr std::uint8_t kHalvorinVideoCDDataSubHeader[4] = {0x00, 0x00, 0x08, 0x00};

// 2048-byte blocks to 2336-byte units: subheader 00 00 00 00 twice, then the block, then 280
// zeros (the room of a Form 1 sector's EDC and parity).
void CookedToMode2Form1(const std::uint8_t* p__PUCHAR__Source, std::uint8_t* p__PUCHAR__Target,
                        std::uint32_t p__ULONG__Units);
// The same with the given subheader written twice.
void CookedToMode2Form1(const std::uint8_t* p__PUCHAR__Source, std::uint8_t* p__PUCHAR__Target,
                        std::uint32_t p__ULONG__Units, const std::uint8_t* p__PUCHAR__SubHeader);
// 2332-byte units (subheader, copy, 2324 payload bytes) to 2336-byte units: the subheader
// twice, the payload, and 4 zero bytes.
void Mode2Form2UnitsTo2336(const std::uint8_t* p__PUCHAR__Source, std::uint8_t* p__PUCHAR__Target,
                           std::uint32_t p__ULONG__Units);
