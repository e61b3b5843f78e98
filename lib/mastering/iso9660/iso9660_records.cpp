#include "lib/mastering/iso9660/iso9660_records.h"

#include <algorithm>
#include <string_view>

void HalvorinI_PutLE16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void HalvorinI_PutBE16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}
void HalvorinI_PutLE32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void HalvorinI_PutBE32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * (3 - i)));
}
void HalvorinI_PutBoth16(std::uint8_t* p, std::uint16_t v) {
  HalvorinI_PutLE16(p, v);
  HalvorinI_PutBE16(p + 2, v);
}
void HalvorinI_PutBoth32(std::uint8_t* p, std::uint32_t v) {
  HalvorinI_PutLE32(p, v);
  HalvorinI_PutBE32(p + 4, v);
}

namespace {

// Both padded with spaces to the longer one's length: the common part compares unit by unit
// (unsigned), the rest of the longer one against the space.
template <class C>
int ComparePadded(std::basic_string_view<C> a, std::basic_string_view<C> b) {
  const std::size_t common = std::min(a.size(), b.size());
  if (int c = std::char_traits<C>::compare(a.data(), b.data(), common)) return c < 0 ? -1 : 1;
  const bool aLonger = a.size() > b.size();
  const std::basic_string_view<C> rest = (aLonger ? a : b).substr(common);
  for (const C unit : rest) {
    const unsigned u = static_cast<unsigned>(static_cast<std::make_unsigned_t<C>>(unit));
    if (u != 0x20u) return (u < 0x20u) == aLonger ? -1 : 1;
  }
  return 0;
}

template <class C>
CHalvorin_IdentifierKey<C> KeyOf(std::basic_string_view<C> s) {
  using View = std::basic_string_view<C>;
  CHalvorin_IdentifierKey<C> key;
  key.m__VIEW__Whole = s;
  const std::size_t semicolon = s.find(C(';'));
  const View base = s.substr(0, semicolon);
  const std::size_t dot = base.find(C('.'));
  key.m__VIEW__Name = base.substr(0, dot);
  key.m__VIEW__Extension = dot == View::npos ? View() : base.substr(dot + 1);
  if (semicolon != View::npos)
    for (std::size_t i = semicolon + 1; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
      key.m__ULONG__Version = key.m__ULONG__Version * 10 + static_cast<unsigned long>(s[i] - '0');
  return key;
}

template <class C>
int CompareKeys(const CHalvorin_IdentifierKey<C>& a, const CHalvorin_IdentifierKey<C>& b) {
  if (int c = ComparePadded(a.m__VIEW__Name, b.m__VIEW__Name)) return c;
  if (int c = ComparePadded(a.m__VIEW__Extension, b.m__VIEW__Extension)) return c;
  if (a.m__ULONG__Version != b.m__ULONG__Version)
    return a.m__ULONG__Version > b.m__ULONG__Version ? -1 : 1;
  return ComparePadded(a.m__VIEW__Whole, b.m__VIEW__Whole);
}

}  // namespace

int HalvorinI_CompareIdentifiers(const std::string& a, const std::string& b) {
  return CompareKeys(KeyOf<char>(a), KeyOf<char>(b));
}
int HalvorinI_CompareIdentifiers(const std::u16string& a, const std::u16string& b) {
  return CompareKeys(KeyOf<char16_t>(a), KeyOf<char16_t>(b));
}

CHalvorin_IdentifierKey<char> HalvorinI_IdentifierKey(std::string_view p__VIEW__Identifier) {
  return KeyOf(p__VIEW__Identifier);
}
CHalvorin_IdentifierKey<char16_t> HalvorinI_IdentifierKey(std::u16string_view p__VIEW__Identifier) {
  return KeyOf(p__VIEW__Identifier);
}
int HalvorinI_CompareIdentifierKeys(const CHalvorin_IdentifierKey<char>& a,
                                    const CHalvorin_IdentifierKey<char>& b) {
  return CompareKeys(a, b);
}
int HalvorinI_CompareIdentifierKeys(const CHalvorin_IdentifierKey<char16_t>& a,
                                    const CHalvorin_IdentifierKey<char16_t>& b) {
  return CompareKeys(a, b);
}

std::u16string HalvorinI_Utf8ToUtf16(const std::string& p__STRING__Text) {
  std::u16string out;
  const auto* s = reinterpret_cast<const unsigned char*>(p__STRING__Text.data());
  const std::size_t n = p__STRING__Text.size();
  // Never more units than bytes; room for the ";1" of a Joliet file name.
  out.reserve(n + 2);
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    std::uint32_t cp = 0;
    std::size_t len = 0;
    if (c < 0x80) {
      cp = c;
      len = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      len = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      len = 3;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      len = 4;
    }
    bool ok = len > 0 && i + len <= n;
    for (std::size_t k = 1; ok && k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    if (ok && ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) ||
               (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF)))
      ok = false;
    if (!ok) {
      out.push_back(u'_');
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

namespace {

// Cuts to n units without splitting a surrogate pair.
std::u16string CutUnits(const std::u16string& s, std::size_t n) {
  if (s.size() <= n) return s;
  if (n > 0 && s[n - 1] >= 0xD800 && s[n - 1] <= 0xDBFF) --n;
  return s.substr(0, n);
}

}  // namespace

std::u16string HalvorinI_JolietName(std::u16string p__WSTRING__Name, bool p__BOOLEAN__IsFile) {
  for (char16_t& c : p__WSTRING__Name)
    if (c < 0x20 || c == u'*' || c == u'/' || c == u':' || c == u';' || c == u'?' || c == u'\\')
      c = u'_';
  if (p__WSTRING__Name.size() > kHalvorinMaxJolietUnits) {
    const std::size_t dot = p__WSTRING__Name.rfind(u'.');
    // Keep an extension that leaves room for a useful part of the name.
    if (dot != std::u16string::npos && dot > 0 &&
        p__WSTRING__Name.size() - dot <= kHalvorinMaxJolietUnits / 2) {
      const std::u16string extension = p__WSTRING__Name.substr(dot);
      p__WSTRING__Name =
          CutUnits(p__WSTRING__Name.substr(0, dot), kHalvorinMaxJolietUnits - extension.size()) +
          extension;
    } else {
      p__WSTRING__Name = CutUnits(p__WSTRING__Name, kHalvorinMaxJolietUnits);
    }
  }
  if (p__BOOLEAN__IsFile) p__WSTRING__Name += u";1";
  return p__WSTRING__Name;
}

std::string HalvorinI_Ucs2BigEndian(const std::u16string& p__WSTRING__Text) {
  std::string out;
  out.reserve(p__WSTRING__Text.size() * 2);
  for (char16_t c : p__WSTRING__Text) {
    out.push_back(static_cast<char>(c >> 8));
    out.push_back(static_cast<char>(c & 0xFF));
  }
  return out;
}

std::string HalvorinI_UpperAscii(std::string p__STRING__Text) {
  for (char& c : p__STRING__Text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return p__STRING__Text;
}
