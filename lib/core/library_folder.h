// The folder the library's own code was loaded from (Windows form, "Z:\..."): the only place
// its data files (the VideoCD templates, the additional file) are looked for.
#pragma once

#include <string>

// Empty when the folder cannot be told.
std::string HalvorinI_LibraryFolder();
// Tests lay their own data files: a folder used instead until set back to "".
void HalvorinI_SetLibraryFolderForTesting(const std::string& p__STRING__WindowsFolder);
// A data file's name in the library's folder; empty for a name that would leave it (a
// folder part, "..", a drive) or when the folder is unknown.
std::string HalvorinI_LibraryFile(const std::string& p__STRING__Name);
