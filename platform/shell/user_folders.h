// The user's own folders as the XDG base-directory and user-dirs rules give them (POSIX paths).
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace platform::shell {

// $HOME when it is an absolute path, else the account's home folder; empty when unknown.
std::string HomeFolder();
// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config; empty without a home folder.
std::string ConfigHome();
// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share; empty without a home folder.
std::string DataHome();

// The folders a user-dirs.dirs text names: XDG_<NAME>_DIR="$HOME/<path>" or "/<path>" gives
// <NAME> -> the path ("$HOME" alone is the home folder). Backslashes escape the next character;
// lines of any other form are passed over; a later line for a name replaces an earlier one.
// Trailing slashes are dropped.
std::map<std::string, std::string> ParseUserDirs(std::string_view text, std::string_view home);

// The user folder of that name (DESKTOP, DOCUMENTS, TEMPLATES, ...) from
// ConfigHome()/user-dirs.dirs; unset, DESKTOP is ~/Desktop and every other the home folder.
std::string UserDirectory(std::string_view name);

}  // namespace platform::shell
