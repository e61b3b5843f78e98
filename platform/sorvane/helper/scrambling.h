// The helper library's keyed, reversible scrambling. The output is printable text (two
// letters 'A'..'P' per byte), so it never holds a zero byte.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sorvane {

std::string Scramble(std::string_view key, std::string_view text);
// The text given to Scramble with the same key; std::nullopt for text that Scramble cannot
// have made (odd length, a character outside 'A'..'P').
std::optional<std::string> Unscramble(std::string_view key, std::string_view scrambled);

}  // namespace sorvane
