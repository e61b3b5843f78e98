// The schedule store's helper library as the build made it, and putting it into a program
// folder (where the program looks first).
#pragma once

#include <string>

// POSIX path of the built libsorvane.so (beside the built program).
std::string BuiltHelperLibrary();

// Copies it into the folder (POSIX path); false when that failed.
bool InstallHelperLibrary(const std::string& folder);
