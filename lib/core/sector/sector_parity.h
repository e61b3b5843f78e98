// The two parities of the CD-ROM product code and the scrambler, the work every coder shares. The
// sector body is the sector from its header on (sector byte 12).
//
// Each P codeword (86, one per byte column of the 43 words of a row) runs down 24 rows of data
// and 2 of parity; each Q codeword (52) runs along a diagonal of 43 words and 2 of parity. A
// codeword c of length L satisfies sum c_j = 0 and sum c_j α^(L-1-j) = 0 (ECMA-130 Annex A), so
// its two parity bytes follow from the two sums A and B over its data bytes:
// p0 = (A + B) / (1 + α), p1 = A + p0. The sums are taken for 16 codewords at once.
#pragma once

#include <cstddef>
#include <cstdint>

// The 172 P parity bytes of body bytes 0-2063, in sector order (first bytes of the 43 pairs,
// then the second bytes). The body is a whole sector's (the last row is read 16 bytes at a
// time, past byte 2063); the output may lie in the same sector (body byte 2064 on).
void HalvorinI_ComputeParityP(const std::uint8_t* p__PUCHAR__Body, std::uint8_t* p__PUCHAR__Parity);
// The 104 Q parity bytes of body bytes 0-2235, in sector order; the output may be body byte
// 2236 on.
void HalvorinI_ComputeParityQ(const std::uint8_t* p__PUCHAR__Body, std::uint8_t* p__PUCHAR__Parity);

// XORs the scrambler sequence into the 2340 body bytes.
void HalvorinI_ScrambleBody(std::uint8_t* p__PUCHAR__Body);
