// Path text routines on the program's Windows-form paths ("Z:\home\ann\a.txt").
#pragma once

#include <string>
#include <string_view>

// The path with a backslash appended unless it already ends with one; "" gives "\".
std::string AddTrailingBackslash(std::string_view path);

// The file name (after the last backslash or colon) without its extension (from the last dot
// of that name on).
std::string PathWithoutExtension(std::string_view path);

// The extension of the file name, dot included; empty when the name has no dot.
std::string ExtractFileExt(std::string_view path);

// Everything up to and including the last backslash or colon; empty when there is none.
std::string ExtractFilePath(std::string_view path);

bool IsWindowsNT();

// True when `path` starts with `prefix`, letters compared without regard to case. For user
// patterns such as excluded folders.
bool IsPathPrefix(std::string_view prefix, std::string_view path);

// The same test with an exact comparison, for lists of paths the file system tells apart by case.
bool IsPathPrefixExact(std::string_view prefix, std::string_view path);
