// UTF-8 text helpers: case-insensitive comparison for user patterns and names.
#pragma once

#include <string>
#include <string_view>

namespace platform::text {

// Lower-cases every letter, non-ASCII letters included; invalid UTF-8 bytes pass through.
std::string FoldCase(std::string_view utf8);

// Equal when the two texts are the same after case folding.
bool SameTextCI(std::string_view a, std::string_view b);

// Three-way comparison of the case-folded texts (negative, 0, positive).
int CompareTextCI(std::string_view a, std::string_view b);

// True when `text` starts with `prefix`, letters compared without regard to case.
bool StartsWithCI(std::string_view prefix, std::string_view text);

// Upper-cases every letter, non-ASCII letters included.
std::string UpperCase(std::string_view utf8);

// Appends the UTF-8 bytes of one code point (up to U+1FFFFF).
void AppendUtf8(char32_t cp, std::string& out);

}  // namespace platform::text
