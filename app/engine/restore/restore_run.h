// The restore run: the checked folders and files of one archive, restored to their original
// places or below another folder, on the job's worker thread.
#pragma once

#include <cstdint>
#include <string>

#include "app/engine/project/items.h"

// The restore job's parameters: written on the main thread before the worker starts, only read
// by it. The differential restore takes the target and the overwrite choice from here too.
struct TRestoreJob {
  std::string RestoreArchivePath;
  std::string RestoreTargetFolder;
  std::int32_t RestoreToOtherFolder = 0;  // 0 each file's own folder, 1 another folder
  TItems RestoreFileItems;
  TItems RestoreFolderItems;               // folders ending with a backslash
  std::int32_t RestoreOverwriteIndex = 0;  // 0 confirm, 1 always overwrite, 2 always skip
};

enum class TRestoreOutcome {
  Complete,    // every chosen file restored (or skipped by the user's overwrite choice)
  Incomplete,  // some files could not be restored; each is logged
  Cancelled,   // the user broke the run off
  Failed,      // the archive could not be read at all
};

// The overwrite list's index as the archive layer's mode: 0 -> 1 ask, 1 -> 2 always, 2 -> 4 skip.
std::uint8_t RestoreOverwriteMode(std::int32_t overwriteIndex);
// A percentage of the restore runs: rounded to the nearest integer, halves to even.
int RestorePercent(double done, double total);

// The worker. Sets ProgressDone on every way out; ends with "Restore complete." in the progress
// texts and status panel 1, or with a message that says what was not restored.
TRestoreOutcome RestoreThreadProc(const TRestoreJob& job);
