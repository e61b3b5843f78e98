#include <vector>

#include "platform/fs/fs.h"
#include "platform/text/text.h"

namespace platform::fs {
namespace {

// Splits UTF-8 into code points so that '?' stands for one character; a byte that does
// not start a valid sequence is one unit of its own.
std::vector<char32_t> CodePoints(std::string_view s) {
  std::vector<char32_t> out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    int n = 0;
    char32_t cp = b0;
    if (b0 >= 0xC0 && b0 < 0xE0) {
      n = 1;
      cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 < 0xF0) {
      n = 2;
      cp = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 < 0xF8) {
      n = 3;
      cp = b0 & 0x07;
    }
    bool ok = b0 < 0x80 || n > 0;
    for (int k = 1; ok && k <= n; ++k) {
      if (i + k >= s.size()) {
        ok = false;
        break;
      }
      const auto b = static_cast<unsigned char>(s[i + k]);
      if ((b & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (!ok) {
      out.push_back(0x80000000u | b0);  // kept apart from every real code point
      ++i;
    } else {
      out.push_back(cp);
      i += n + 1;
    }
  }
  return out;
}

// '*' and '?' matching with one backtrack point: linear in practice, never exponential.
bool Wildcard(const std::vector<char32_t>& name, const std::vector<char32_t>& mask,
              size_t maskEnd) {
  size_t n = 0, m = 0;
  size_t starM = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (m < maskEnd && (mask[m] == U'?' || (mask[m] != U'*' && mask[m] == name[n]))) {
      ++n;
      ++m;
    } else if (m < maskEnd && mask[m] == U'*') {
      starM = m++;
      starN = n;
    } else if (starM != std::string_view::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < maskEnd && mask[m] == U'*') ++m;
  return m == maskEnd;
}

}  // namespace

bool MatchesMask(std::string_view name, std::string_view mask) {
  // The masks of a whole folder take every name without looking at it (a walk asks per entry).
  if (mask == "*" || mask == "*.*") return true;
  const auto n = CodePoints(text::FoldCase(name));
  const auto m = CodePoints(text::FoldCase(mask));
  if (Wildcard(n, m, m.size())) return true;
  // As on Windows a trailing ".*" may also match nothing, dot included: "*.*" matches
  // "README" and "a.*" matches "a".
  if (m.size() >= 2 && m[m.size() - 1] == U'*' && m[m.size() - 2] == U'.')
    return Wildcard(n, m, m.size() - 2);
  return false;
}

}  // namespace platform::fs
