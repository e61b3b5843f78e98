// The schedule store's texts through the helper library: empty when the library or its
// export is missing.
#pragma once

#include <optional>
#include <string>
#include <string_view>

std::string ScrambleString(std::string_view key, std::string_view text);
std::string UnscrambleString(std::string_view key, std::string_view text);
// As UnscrambleString, but std::nullopt when the library or its export is missing.
std::optional<std::string> TryUnscrambleString(std::string_view key, std::string_view text);
