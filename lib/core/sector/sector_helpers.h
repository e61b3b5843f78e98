// Small helpers of the raw sector generators and readers: audio byte order, the sync field,
// the Q-subchannel CRC and the Q frame of raw P-W subchannel.
#pragma once

#include <cstddef>
#include <cstdint>

// Swaps the two bytes of each of `count` 16-bit words in place.
void SwapWordBytes(std::uint16_t* p__PUSHORT__Words, std::size_t p__SIZE_T__Count);

// The 12-byte sync field at the start of a raw sector: 00, ten FF, 00.
void SetSectorSync(std::uint8_t* p__PUCHAR__Sector);
// True when the sector's first 12 bytes are that sync field.
bool HalvorinI_HasSectorSync(const std::uint8_t* p__PUCHAR__Sector);

// Bytes 10 and 11 of a 12-byte Q frame: the CRC-16 (polynomial 1021h, initial 0, not
// reflected) of bytes 0-9, one's-complemented, most significant byte first.
void CalculateSubQCRC(std::uint8_t* p__PUCHAR__QFrame);
// True when bytes 10 and 11 of the 12-byte Q frame are that CRC of its bytes 0-9.
bool HalvorinI_IsSubQCrcRight(const std::uint8_t* p__PUCHAR__QFrame);
// That CRC-16 (not complemented) over any run of bytes: the CD-Text packs use it too.
std::uint16_t HalvorinI_Crc16(const std::uint8_t* p__PUCHAR__Bytes, std::size_t p__SIZE_T__Count);

// The 12 Q bytes of 96 raw P-W subchannel bytes (bit 6 of each, the first byte's the most
// significant bit of Q byte 0).
void HalvorinI_UnpackSubQ(const std::uint8_t* p__PUCHAR__RawPW, std::uint8_t* p__PUCHAR__Q);

// A Q position frame (ADR 1) of a track: numbers as read from their BCD.
struct HalvorinI_SubQPosition {
  std::uint8_t m__UCHAR__Control;  // the control nibble
  std::int32_t m__LONG__Track;     // 1..99
  std::int32_t m__LONG__Index;     // 0..99
  std::int32_t m__LONG__Relative;  // frames of the relative time
  std::int32_t m__LONG__LBA;       // the absolute time's LBA (150-sector offset)
};
// True, with the position, when the 12 Q bytes have a right CRC and are a position frame of a
// track: ADR 1, every field BCD, track 1..99, seconds below 60 and frames below 75.
bool HalvorinI_ReadSubQPosition(const std::uint8_t* p__PUCHAR__Q,
                                HalvorinI_SubQPosition* p__PPosition);
