// The file search's walk: the files of a folder tree whose names match one mask, a folder's
// own files before those of its subfolders. Runs on a search thread; stops at its next entry
// once the stop flag is set.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/fs.h"

// The masks of a mask text: split at blanks and semicolons, empty parts dropped.
std::vector<std::string> SplitSearchMasks(std::string_view text);

// Told of each file found: the folder searched (trailing backslash) and its entry.
using TFoundFileHandler =
    std::function<void(const std::string& folder, const platform::fs::DirEntry& entry)>;

// Every entry of `folder` (trailing backslash added when missing) and its subfolders, at any
// depth, that matches `mask` and is not a folder (a link to a file and a broken link are
// reported; a link to a folder is not). A folder's matches are reported before its
// subfolders are searched, subfolders in the folder's order. Links to folders are not
// followed (a link loop would never end) and folders that cannot be listed are passed over.
void SearchFolder(const std::string& folder, const std::string& mask, const std::atomic<bool>& stop,
                  const TFoundFileHandler& found);
