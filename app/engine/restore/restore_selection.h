// What a restore takes from the check marks of a restore tree, and the start of a restore from
// the Restore page: the checks of "Start to Restore" and the job's parameters.
#pragma once

#include <string>
#include <string_view>

#include "app/engine/project/items.h"
#include "app/engine/restore/restore_run.h"
#include "app/engine/restore/restore_tree.h"

// Where to restore and what to do with existing files, as the page's controls hold them.
struct TRestoreTargetChoice {
  bool OtherFolder = false;  // "Other folder" instead of "Original folder"
  std::string Folder;        // RestoreTo / Edit1
  int OverwriteIndex = 0;    // 0 "Confirm", 1 "Always overwrite", 2 "Always skip"
};

// Every checked folder (state 2) below `node`, at any depth, as a folder item with a trailing
// backslash; the node itself adds none. One status-bar progress step per node visited.
void CollectCheckedRestoreFolders(const TRestoreNode* node, TItems& folders);
// The checked files of the selection set (in its order) as file items, except those that lie
// directly in a collected folder: a folder item restores its own files, and its subfolders only
// when they are folder items themselves. One progress step per checked path.
void CollectCheckedRestoreFiles(const TTripperList& selection, const TItems& folders,
                                TItems& files);

// "Other folder" without an existing folder: "Please choose a valid directory." is shown.
bool CheckRestoreTarget(const TRestoreTargetChoice& target);

// RunRestoreExecute on the Restore page up to the start of the worker. False when no job is to
// run: no backup set chosen ("There is no saved data in the archive file! Please choose a valid
// archive file"), no valid other folder, or nothing checked (no message).
bool PrepareRestoreJob(std::string_view backupSet, const TRestoreTargetChoice& target,
                       const TRestoreTreeModel& tree, TRestoreJob& job);

// After the progress window of a restore closed: "User break!" logged when the user cancelled;
// the status-bar progress bar hidden.
void FinishRestoreJob();
