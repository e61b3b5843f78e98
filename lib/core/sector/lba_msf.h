// Addresses: LBA and minute:second:frame (75 frames a second, 150 frames before LBA 0), and
// byte counts in 2048-byte blocks.
#pragma once

#include <cstdint>

// LBAs -150..449,849 give 00:00:00..99:59:74; the lead-in LBAs -45,150..-151 give
// 90:00:00..99:59:74. Any other LBA gives FF FF FF and FALSE. TRUE only below 90 minutes
// (LBA < 404,850).
bool LBAToMSF(std::int32_t p__LONG__LBA, std::uint8_t* p__PUCHAR__MSF);
// The same in BCD.
bool LBAToMSFBCD(std::uint8_t* p__PUCHAR__MSF, std::int32_t p__LONG__LBA);
// An absolute frame count (no 150 offset) in BCD; no range check.
void FramesToMSFBCD(std::uint32_t p__ULONG__Frames, std::uint8_t* p__PUCHAR__MSF);

// Rounded up.
std::uint64_t UCHARsToLBs(std::uint64_t p__ULONGLONG__UCHARs);

inline constexpr std::int32_t kHalvorinFirstLBA = -150;
inline constexpr std::int32_t kHalvorinLastLBA = 449849;  // 99:59:74
inline constexpr std::int32_t kHalvorinFirstLeadInLBA = -45150;
inline constexpr std::int32_t kHalvorinNinetyMinutesLBA = 404850;
