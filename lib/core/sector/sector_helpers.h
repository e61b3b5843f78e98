// Small helpers of the raw sector generators: audio byte order, the sync field and the
// Q-subchannel CRC.
#pragma once

#include <cstddef>
#include <cstdint>

// Swaps the two bytes of each of `count` 16-bit words in place.
void SwapWordBytes(std::uint16_t* p__PUSHORT__Words, std::size_t p__SIZE_T__Count);

// The 12-byte sync field at the start of a raw sector: 00, ten FF, 00.
void SetSectorSync(std::uint8_t* p__PUCHAR__Sector);

// Bytes 10 and 11 of a 12-byte Q frame: the CRC-16 (polynomial 1021h, initial 0, not
// reflected) of bytes 0-9, one's-complemented, most significant byte first.
void CalculateSubQCRC(std::uint8_t* p__PUCHAR__QFrame);
// That CRC-16 (not complemented) over any run of bytes: the CD-Text packs use it too.
std::uint16_t HalvorinI_Crc16(const std::uint8_t* p__PUCHAR__Bytes, std::size_t p__SIZE_T__Count);
