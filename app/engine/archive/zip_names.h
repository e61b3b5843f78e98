// Names under which files are stored in an archive, where stored entries are restored, and
// the names of an archive's volumes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The project-definition entry: the archive's first entry, at the root.
inline constexpr std::string_view kDefinitionEntryName = "$PRJDEF$.QVP";

// The stored form of a file's full path: the path without its second character, the drive
// colon ("Z:\home\ann\a.txt" -> "Z\home\ann\a.txt"). std::nullopt unless the path is an
// absolute drive path.
std::optional<std::string> StoredNameForFile(std::string_view path);

// Other zip tools separate folders with '/'; inside the program stored names use '\'.
std::string NormalizeStoredName(std::string_view rawName);

// A name ending in a separator stands for a folder, which holds no data of its own.
bool IsFolderEntryName(std::string_view storedName);

// Where a stored entry is to be written, or why it is refused. Entry names are untrusted:
// a name that could land outside its target is refused.
struct TEntryTarget {
  std::optional<std::string> path;
  std::string refusal;  // the log text when `path` is empty
};

// The original place: first character + ":" + the rest, which must be an absolute path of a
// drive this system has ("Z\home\a" -> "Z:\home\a").
TEntryTarget OriginalPlaceTarget(std::string_view storedName);
// Below a base folder: base folder + the stored name ("C\data\a" -> base\C\data\a).
TEntryTarget ElsewhereTarget(std::string_view storedName, std::string_view baseFolder);

// Volume n (from 1) of a split archive: the archive's folder + its base name without extension
// + ".00" n for 1-9, ".0" n for 10-99, ";" n from 100 on (job.qvp -> job.007, job;100).
std::string VolumeName(std::string_view archivePath, int n);
// More volumes than an archive may have.
inline constexpr int kMaxVolumes = 1000000;
