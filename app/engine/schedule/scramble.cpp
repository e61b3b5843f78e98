#include "app/engine/schedule/scramble.h"

#include "platform/sorvane/sorvane.h"

std::string ScrambleString(std::string_view key, std::string_view text) {
  return platform::sorvane::CallHelper("Fun1", key, text).value_or(std::string());
}

std::string UnscrambleString(std::string_view key, std::string_view text) {
  return TryUnscrambleString(key, text).value_or(std::string());
}

std::optional<std::string> TryUnscrambleString(std::string_view key, std::string_view text) {
  return platform::sorvane::CallHelper("Fun2", key, text);
}
