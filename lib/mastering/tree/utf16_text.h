// UTF-16 text read from discs: big-endian bytes to units, units to UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Units of big-endian UCS-2 bytes; an odd last byte is left out.
std::u16string HalvorinI_Utf16FromBigEndian(const std::uint8_t* p__PUCHAR__Bytes,
                                            std::size_t p__ULONG__Length);
// UTF-8 of UTF-16 units; a surrogate without its pair becomes U+FFFD.
std::string HalvorinI_Utf16ToUtf8(const std::u16string& p__WSTRING__Text);
