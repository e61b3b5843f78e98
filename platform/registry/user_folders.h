// Where this user's configuration lives.
#pragma once

#include <string>

namespace platform::registry {

// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config (POSIX path); empty when the
// home folder is unknown.
std::string ConfigHome();

}  // namespace platform::registry
