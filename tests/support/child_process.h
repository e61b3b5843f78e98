// Running this test program again in a child process with an environment of its own (for
// libraries that must be preloaded), and what a child needs to load beside the sanitizer.
#pragma once

#include <string>
#include <vector>

// The AddressSanitizer runtime this process has loaded as a shared library (it must come first
// in a child's LD_PRELOAD); empty when it is linked in or absent.
std::string SanitizerRuntimeLibrary();

// True when this program was built with AddressSanitizer.
bool BuiltWithAddressSanitizer();

// The command that starts Debian's python3 so that it can load libraries of this build (the
// sanitizer's runtime preloaded when it is a shared library).
std::string PythonForBuiltLibraries();

// Runs this program's tests matching `filter` with `environment` ("NAME=value" each) added;
// returns the exit status, the child's output in `output`.
int RunThisProgram(const std::string& filter, const std::vector<std::string>& environment,
                   std::string* output);

// Set in a child started by RunThisProgram: its tests do their work only then.
inline constexpr const char* kChildMarker = "QUORVA_TEST_CHILD";
bool IsTestChild();
