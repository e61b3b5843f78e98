#include "platform/text/text.h"

#include <locale.h>
#include <wctype.h>

#include <cstdint>

namespace platform::text {
namespace {

// A C.UTF-8 locale object kept for the process; created once, never changed.
locale_t Utf8Locale() {
  static const locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (!l) l = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
    return l;
  }();
  return loc;
}

// Decodes one code point at `i`; an invalid sequence yields the byte itself with the
// high bit marker 0x80000000 so it is copied back unchanged.
char32_t Decode(std::string_view s, size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  auto cont = [&](size_t k) -> int {
    if (i + k >= s.size()) return -1;
    const auto b = static_cast<unsigned char>(s[i + k]);
    return (b & 0xC0) == 0x80 ? (b & 0x3F) : -1;
  };
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int n = 0;
  char32_t cp = 0;
  if ((b0 & 0xE0) == 0xC0) {
    n = 1;
    cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    n = 2;
    cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    n = 3;
    cp = b0 & 0x07;
  } else {
    ++i;
    return 0x80000000u | b0;
  }
  for (int k = 1; k <= n; ++k) {
    const int c = cont(k);
    if (c < 0) {
      ++i;
      return 0x80000000u | b0;
    }
    cp = (cp << 6) | static_cast<char32_t>(c);
  }
  i += n + 1;
  return cp;
}

void Encode(char32_t cp, std::string& out) {
  if (cp & 0x80000000u)
    out.push_back(static_cast<char>(cp & 0xFF));
  else
    AppendUtf8(cp, out);
}

char32_t Lower(char32_t cp) {
  if (cp & 0x80000000u) return cp;
  if (cp < 0x80) return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
  return static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), Utf8Locale()));
}

char32_t Upper(char32_t cp) {
  if (cp & 0x80000000u) return cp;
  if (cp < 0x80) return (cp >= 'a' && cp <= 'z') ? cp - 32 : cp;
  return static_cast<char32_t>(towupper_l(static_cast<wint_t>(cp), Utf8Locale()));
}

}  // namespace

std::string FoldCase(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) Encode(Lower(Decode(utf8, i)), out);
  return out;
}

std::string UpperCase(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) Encode(Upper(Decode(utf8, i)), out);
  return out;
}

int CompareTextCI(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const char32_t ca = Lower(Decode(a, i));
    const char32_t cb = Lower(Decode(b, j));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

bool SameTextCI(std::string_view a, std::string_view b) {
  return CompareTextCI(a, b) == 0;
}

bool StartsWithCI(std::string_view prefix, std::string_view text) {
  size_t i = 0, j = 0;
  while (i < prefix.size()) {
    if (j >= text.size()) return false;
    if (Lower(Decode(prefix, i)) != Lower(Decode(text, j))) return false;
  }
  return true;
}

void AppendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace platform::text
