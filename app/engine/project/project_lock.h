// Keeps one backup run per project file: an exclusive lock on a lock file beside the project
// (the project file itself is replaced by each save, so it cannot carry the lock).
#pragma once

#include <string>
#include <string_view>

#include "platform/fs/fs.h"

class EProjectLocked : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TProjectLock {
 public:
  // Throws EProjectLocked when another run holds the project, platform::fs::FsError when the
  // lock file cannot be made.
  explicit TProjectLock(std::string_view projectFile);

 private:
  platform::fs::File file_;
};
