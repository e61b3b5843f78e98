#include "app/engine/project/project_lock.h"

#include <cerrno>

namespace {

platform::fs::File OpenLock(std::string_view projectFile) {
  const std::string lockPath = std::string(projectFile) + ".lock";
  using platform::fs::File;
  using platform::fs::OpenMode;
  using platform::fs::Share;
  try {
    return File(lockPath, OpenMode::ReadWrite, Share::Exclusive);
  } catch (const platform::fs::FsError& e) {
    if (e.error() != ENOENT) throw;
  }
  try {
    return File(lockPath, OpenMode::CreateNew, Share::Exclusive);
  } catch (const platform::fs::FsError& e) {
    // Made by a run that started at the same moment: take it as it is.
    if (e.error() != EEXIST) throw;
    return File(lockPath, OpenMode::ReadWrite, Share::Exclusive);
  }
}

}  // namespace

TProjectLock::TProjectLock(std::string_view projectFile) {
  try {
    file_ = OpenLock(projectFile);
  } catch (const platform::fs::FsError& e) {
    if (e.error() == EWOULDBLOCK)
      throw EProjectLocked("The project " + std::string(projectFile) +
                           " is being backed up by another run.");
    throw;
  }
}
