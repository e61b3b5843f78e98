// Byte-level pieces of ECMA-167 / UDF 1.02 structures: descriptor tags with their checksum and
// CRC, OSTA CS0 strings, entity identifiers and timestamps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr std::uint32_t kHalvorinUdfBlock = 2048;

// ECMA-167 tag identifiers.
inline constexpr std::uint16_t kUdfTagPrimaryVolume = 1;
inline constexpr std::uint16_t kUdfTagAnchor = 2;
inline constexpr std::uint16_t kUdfTagImplementationUse = 4;
inline constexpr std::uint16_t kUdfTagPartition = 5;
inline constexpr std::uint16_t kUdfTagLogicalVolume = 6;
inline constexpr std::uint16_t kUdfTagUnallocatedSpace = 7;
inline constexpr std::uint16_t kUdfTagTerminating = 8;
inline constexpr std::uint16_t kUdfTagIntegrity = 9;
inline constexpr std::uint16_t kUdfTagFileSet = 256;
inline constexpr std::uint16_t kUdfTagFileIdentifier = 257;
inline constexpr std::uint16_t kUdfTagFileEntry = 261;
inline constexpr std::uint16_t kUdfTagExtendedAttributeHeader = 262;

// CRC-16 CCITT (polynomial 1021h, initial value 0), table-driven.
std::uint16_t HalvorinI_UdfCrc(const std::uint8_t* p__PUCHAR__Bytes, std::size_t p__ULONG__Length);

// Fills the 16-byte tag at the descriptor's start: version 2, serial 0, the CRC of the
// p__ULONG__BodyLength bytes after the tag, then the checksum of the tag bytes.
void HalvorinI_UdfTag(std::uint8_t* p__PUCHAR__Descriptor, std::uint16_t p__USHORT__Identifier,
                      std::uint32_t p__ULONG__Location, std::size_t p__ULONG__BodyLength);

// OSTA CS0 of UTF-8 text: compression 8 when every code point is below 256, else 16 (UTF-16
// big-endian), at most p__ULONG__MaxBytes bytes with the compression byte; empty text gives no
// bytes at all.
std::string HalvorinI_UdfCs0(const std::string& p__STRING__Utf8, std::size_t p__ULONG__MaxBytes);
// A d-string field of p__ULONG__Field bytes: CS0 cut to the field, its length in the last byte.
void HalvorinI_UdfDString(std::uint8_t* p__PUCHAR__Field, std::size_t p__ULONG__Field,
                          const std::string& p__STRING__Utf8);
// The 64-byte character set specification "OSTA Compressed Unicode".
void HalvorinI_UdfCharSpec(std::uint8_t* p__PUCHAR__At);
// A 32-byte entity identifier: flags 0, the identifier, three suffix bytes.
void HalvorinI_UdfRegId(std::uint8_t* p__PUCHAR__At, const char* p__PCHAR__Identifier,
                        std::uint8_t s0, std::uint8_t s1, std::uint8_t s2);
// The implementation "*UDF Image Creator", the domain "*OSTA UDF Compliant" and a UDF
// identifier (revision 1.02).
void HalvorinI_UdfImplementation(std::uint8_t* p__PUCHAR__At);
void HalvorinI_UdfDomain(std::uint8_t* p__PUCHAR__At);
void HalvorinI_UdfIdentifier(std::uint8_t* p__PUCHAR__At, const char* p__PCHAR__Identifier);
// A 12-byte local timestamp from a 7-byte ISO 9660 date (years since 1900, month, day, hour,
// minute, second, offset from GMT in 15-minute units).
void HalvorinI_UdfTimestamp(std::uint8_t* p__PUCHAR__At, const std::uint8_t* p__PUCHAR__Date);
// The 7-byte ISO 9660 date of a moment (seconds since 1970) in local time.
void HalvorinI_IsoDateOf(std::int64_t p__LONGLONG__UnixTime, std::uint8_t* p__PUCHAR__Date);

void HalvorinI_UdfPut16(std::uint8_t* p, std::uint16_t v);
void HalvorinI_UdfPut32(std::uint8_t* p, std::uint32_t v);
void HalvorinI_UdfPut64(std::uint8_t* p, std::uint64_t v);
