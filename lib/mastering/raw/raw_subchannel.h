// Subchannel of raw sectors as the raw write modes send it: the 16-byte PQ block (Q in bytes
// 0-11, zeros, the P flag 0x80 in byte 15) and the 96-byte raw P-W block (one byte per
// symbol: bit 7 P, bit 6 Q, bits 5-0 R-W; a 12-byte channel is spread most significant bit
// first, symbol i carrying bit 7 - i mod 8 of channel byte i / 8). Shared by the raw views and
// the lead-in, pre-gap and lead-out generators.
#pragma once

#include <cstdint>

inline constexpr std::uint8_t kHalvorinControlAdrData = 0x41;
inline constexpr std::uint8_t kHalvorinControlAdrAudio = 0x01;
inline constexpr std::uint8_t kHalvorinPFlag = 0x80;

// A PQ block: CONTROL/ADR, TNO and INDEX as given (BCD or 0xAA), the relative time in frames
// (BCD, no offset), ZERO, the absolute time of the LBA (BCD, 150-sector offset), the Q CRC,
// three zeros and the P flag.
void HalvorinI_FormatPQBlock(std::uint8_t* p__PUCHAR__Block, std::uint8_t p__UCHAR__ControlAdr,
                             std::uint8_t p__UCHAR__TNO, std::uint8_t p__UCHAR__Index,
                             std::uint32_t p__ULONG__RelativeFrames, std::int32_t p__LONG__LBA,
                             bool p__BOOLEAN__IsP);

// 12 Q bytes to 96 raw bytes with 0x40 where the Q bit is 1 (the rest 0).
void PackSubchannelQ(const std::uint8_t* p__PUCHAR__Q, std::uint8_t* p__PUCHAR__RawPW);
// The same from a 16-byte PQ block, its P flag (byte 15) ORed into all 96 bytes.
void PackSubchannelPQ(const std::uint8_t* p__PUCHAR__PQ, std::uint8_t* p__PUCHAR__RawPW);
// 96 raw bytes to the eight channels one after the other, 12 bytes each: P, Q, R, ..., W.
void DeinterleaveSubchannelPW(const std::uint8_t* p__PUCHAR__RawPW,
                              std::uint8_t* p__PUCHAR__Channels);
// The P flag of 96 raw bytes: set when most of their P bits are.
bool HalvorinI_IsPSet(const std::uint8_t* p__PUCHAR__RawPW);

inline constexpr std::uint8_t HalvorinI_Bcd(std::uint32_t p__ULONG__Value) {
  return static_cast<std::uint8_t>((p__ULONG__Value / 10) * 16 + p__ULONG__Value % 10);
}
