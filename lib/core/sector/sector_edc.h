// The EDC of ECMA-130: a CRC-32 over x^32 + x^31 + x^16 + x^15 + x^4 + x^3 + x + 1, bits
// taken least significant first (the reflected constant 0xD8018001), initial value 0, no final
// inversion; stored least significant byte first. The EDC over data and stored EDC together is
// 0 for a good sector.
#pragma once

#include <cstddef>
#include <cstdint>

// The EDC of p__SIZE_T__Count bytes, continuing from p__ULONG__Edc (0 to start).
std::uint32_t HalvorinI_Edc(std::uint32_t p__ULONG__Edc, const std::uint8_t* p__PUCHAR__Bytes,
                            std::size_t p__SIZE_T__Count);
