// Byte-level pieces of ECMA-119 structures: both-endian numbers, dates, identifier order,
// record sizes, and the UCS-2 names of the Joliet hierarchy.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr std::uint32_t kHalvorinSectorSize = 2048;
// The largest piece of a multi-extent file: a 32-bit data length that is a whole number of
// sectors.
inline constexpr std::uint64_t kHalvorinMaxExtentPiece = 0x100000000ull - kHalvorinSectorSize;
// Joliet names longer than this (UTF-16 units, ";1" not counted) are cut.
inline constexpr std::size_t kHalvorinMaxJolietUnits = 103;

void HalvorinI_PutLE16(std::uint8_t* p__PUCHAR__At, std::uint16_t p__USHORT__Value);
void HalvorinI_PutBE16(std::uint8_t* p__PUCHAR__At, std::uint16_t p__USHORT__Value);
void HalvorinI_PutLE32(std::uint8_t* p__PUCHAR__At, std::uint32_t p__ULONG__Value);
void HalvorinI_PutBE32(std::uint8_t* p__PUCHAR__At, std::uint32_t p__ULONG__Value);
void HalvorinI_PutBoth16(std::uint8_t* p__PUCHAR__At, std::uint16_t p__USHORT__Value);
void HalvorinI_PutBoth32(std::uint8_t* p__PUCHAR__At, std::uint32_t p__ULONG__Value);

// Length of a directory record for an identifier of n bytes, and of a path table record.
inline std::uint32_t HalvorinI_DirectoryRecordSize(std::size_t n) {
  return static_cast<std::uint32_t>(33 + n + (n % 2 == 0 ? 1 : 0));
}
inline std::uint32_t HalvorinI_PathTableRecordSize(std::size_t n) {
  return static_cast<std::uint32_t>(8 + n + (n % 2 == 1 ? 1 : 0));
}
// Where a record of r bytes starts in a directory whose records take b bytes: a record never
// crosses a sector end.
inline std::uint64_t HalvorinI_RecordStart(std::uint64_t b, std::uint32_t r) {
  if ((b % kHalvorinSectorSize) + r > kHalvorinSectorSize)
    b = (b / kHalvorinSectorSize + 1) * kHalvorinSectorSize;
  return b;
}
// How many directory records a file of this size takes.
inline std::uint64_t HalvorinI_ExtentPieces(std::uint64_t p__ULONGLONG__Size) {
  return p__ULONGLONG__Size == 0
             ? 1
             : (p__ULONGLONG__Size + kHalvorinMaxExtentPiece - 1) / kHalvorinMaxExtentPiece;
}

// ECMA-119 9.3 order: name part, then extension, both padded with spaces, then the version
// from high to low. Negative, zero or positive.
int HalvorinI_CompareIdentifiers(const std::string& a, const std::string& b);
int HalvorinI_CompareIdentifiers(const std::u16string& a, const std::u16string& b);

// An identifier split once into the parts of that order, for sorts that compare it many times;
// it views the identifier, which must outlive it.
template <class C>
struct CHalvorin_IdentifierKey {
  std::basic_string_view<C> m__VIEW__Whole;
  std::basic_string_view<C> m__VIEW__Name;
  std::basic_string_view<C> m__VIEW__Extension;
  unsigned long m__ULONG__Version = 0;
};
CHalvorin_IdentifierKey<char> HalvorinI_IdentifierKey(std::string_view p__VIEW__Identifier);
CHalvorin_IdentifierKey<char16_t> HalvorinI_IdentifierKey(std::u16string_view p__VIEW__Identifier);
// As HalvorinI_CompareIdentifiers of the identifiers the keys were made of.
int HalvorinI_CompareIdentifierKeys(const CHalvorin_IdentifierKey<char>& a,
                                    const CHalvorin_IdentifierKey<char>& b);
int HalvorinI_CompareIdentifierKeys(const CHalvorin_IdentifierKey<char16_t>& a,
                                    const CHalvorin_IdentifierKey<char16_t>& b);

// UTF-8 to UTF-16; bytes that are no UTF-8 become '_'.
std::u16string HalvorinI_Utf8ToUtf16(const std::string& p__STRING__Text);
// The Joliet form of a name: * / : ; ? \ and control characters as '_', cut to 103 units
// keeping the extension, then ";1" for a file.
std::u16string HalvorinI_JolietName(std::u16string p__WSTRING__Name, bool p__BOOLEAN__IsFile);
// Big-endian bytes of UTF-16 units.
std::string HalvorinI_Ucs2BigEndian(const std::u16string& p__WSTRING__Text);
// ASCII upper case (other bytes as they are).
std::string HalvorinI_UpperAscii(std::string p__STRING__Text);
