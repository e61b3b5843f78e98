// The command-line backup: `QuorvaBackup <file.bpj>` runs that project without windows.
#pragma once

#include <string_view>

// Loads the project from the file (a POSIX path, or the program's own "Z:\..." form), runs it
// with its log on standard output, saves it back to that file and returns the exit code:
// 0 complete, 1 failed, 2 cancelled (SIGINT/SIGTERM), 3 the project is being run already.
// The global settings are read but not written back.
int RunCommandLineBackup(std::string_view projectArgument);
