// The outside helper library "Sorvane" (libsorvane.so): its exports Fun1 (scramble a text with
// a key) and Fun2 (the reverse) are called with the library loaded by name for that call only,
// from the program folder, else from the executable's folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::sorvane {

inline constexpr std::string_view kHelperFileName = "libsorvane.so";

// Loads the library, calls the export (key first), copies its result and unloads the library;
// std::nullopt when the library cannot be loaded or lacks the export.
std::optional<std::string> CallHelper(const char* exportName, std::string_view key,
                                      std::string_view text);

// The places searched for the library, in order (POSIX paths), for messages.
std::string HelperSearchPlaces();

}  // namespace platform::sorvane
