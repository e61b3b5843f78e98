// Programs run before and after a backup, and the token replacement of the mail body.
#pragma once

#include <string>
#include <string_view>

// Runs the command line through /bin/sh -c in the current folder, with only standard input,
// output and error inherited. With wait, blocks until it ends and logs its exit code; without,
// the program is left running on its own. False, with "Create Process " + command line +
// " failed." at debug level, when it cannot be started: the shell's exit code 127 or 126 when
// waited for; without waiting, a first word that names no runnable program.
bool RunProgram(std::string_view commandLine, bool wait);

// Every occurrence of the token (exact, case-sensitive) replaced, scanning left to right and
// going on after each replacement.
std::string ReplaceToken(std::string_view text, std::string_view token,
                         std::string_view replacement);
