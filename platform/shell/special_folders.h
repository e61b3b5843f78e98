// The shell's special folders by their CSIDL numbers, mapped onto the XDG folders that stand
// for them here.
#pragma once

#include <optional>
#include <string>

namespace platform::shell {

inline constexpr int CSIDL_DESKTOP = 0x00;
inline constexpr int CSIDL_PERSONAL = 0x05;
inline constexpr int CSIDL_FAVORITES = 0x06;
inline constexpr int CSIDL_RECENT = 0x08;
inline constexpr int CSIDL_SENDTO = 0x09;
inline constexpr int CSIDL_STARTMENU = 0x0B;
inline constexpr int CSIDL_TEMPLATES = 0x15;
inline constexpr int CSIDL_COMMON_STARTMENU = 0x16;
inline constexpr int CSIDL_COMMON_DESKTOPDIRECTORY = 0x19;
inline constexpr int CSIDL_APPDATA = 0x1A;
inline constexpr int CSIDL_PRINTHOOD = 0x1B;

// Desktop and Personal, Templates: the user folders DESKTOP, DOCUMENTS and TEMPLATES; App Data:
// $XDG_CONFIG_HOME; Start Menu: $XDG_DATA_HOME/applications; Common StartMenu:
// /usr/share/applications. The path in the Windows form with a trailing backslash; none for a
// folder without a counterpart here, one that is unset or the home folder itself (a disabled
// user folder), and one that does not exist.
std::optional<std::string> SpecialFolderPath(int csidl);

}  // namespace platform::shell
