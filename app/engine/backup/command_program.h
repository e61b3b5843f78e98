// Whether the program a shell command line starts is there to be started, told before a
// program that is not waited for is left to run on its own.
#pragma once

#include <string_view>

// False only when the command's first word names a program that cannot be run: a path that
// is no executable file, or a name that is neither a shell built-in nor found on the PATH.
// Words the shell would expand first (variables, patterns, a leading ~) count as runnable.
bool CommandProgramRunnable(std::string_view commandLine);
