// Mirror of the user's Run key values as XDG autostart entries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::registry {

// FNV-1a of the bytes: a hash that stays the same from run to run and build to build, for names
// kept on disk.
std::uint64_t Fnv1a64(std::string_view s);

// $XDG_CONFIG_HOME/autostart (POSIX path); empty when unknown.
std::string AutostartFolder();

// The entry's file name for a Run value: only [A-Za-z0-9._-], the same for every spelling of
// the (case-insensitive) value name, different for different names.
std::string AutostartFileName(std::string_view valueName);

// The Exec line of a Run value's command, or std::nullopt when the command cannot be expressed
// as one (not UTF-8, control characters). Empty for a command without any word.
std::optional<std::string> ExecLine(std::string_view command);

// Brings the entry of the Run value `name` in line with `command`: written (atomically) for
// a command, removed for std::nullopt or an empty command. False when the entry could not be
// written or removed, or the command has no Exec form.
bool MirrorRunValue(std::string_view name, const std::optional<std::string>& command);

}  // namespace platform::registry
