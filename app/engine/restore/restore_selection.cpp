#include "app/engine/restore/restore_selection.h"

#include "app/engine/log.h"
#include "app/engine/path_routines.h"
#include "app/engine/progress.h"
#include "app/engine/restore/backup_sets.h"
#include "app/engine/user_interface.h"
#include "platform/fs/fs.h"

namespace {

void Message(std::string_view text) {
  UserInterface()->MessageBox(text, kApplicationTitle, TMessageButtons::Ok,
                              TMessageKind::Information);
}

void CollectBelow(const TRestoreNode* node, TItems& folders, IUserInterface& ui) {
  ui.StatusProgressStep();
  for (const auto& child : node->Children) {
    if (child->State == kStateChecked && child->Data)
      folders.Add(AddTrailingBackslash(child->Path()), 0);
    CollectBelow(child.get(), folders, ui);
  }
}

}  // namespace

void CollectCheckedRestoreFolders(const TRestoreNode* node, TItems& folders) {
  if (!node) return;
  auto ui = UserInterface();
  CollectBelow(node, folders, *ui);
}

void CollectCheckedRestoreFiles(const TTripperList& selection, const TItems& folders,
                                TItems& files) {
  auto ui = UserInterface();
  for (const std::string& path : selection.Checked()) {
    ui->StatusProgressStep();
    if (path.empty() || path.back() == '\\') continue;
    const size_t slash = path.rfind('\\');
    if (slash != std::string::npos && folders.Find(std::string_view(path).substr(0, slash + 1)))
      continue;
    files.Add(path, 0);
  }
}

bool CheckRestoreTarget(const TRestoreTargetChoice& target) {
  if (target.OtherFolder && (target.Folder.empty() || !platform::fs::IsDirectory(target.Folder))) {
    Message("Please choose a valid directory.");
    return false;
  }
  return true;
}

bool PrepareRestoreJob(std::string_view backupSet, const TRestoreTargetChoice& target,
                       const TRestoreTreeModel& tree, TRestoreJob& job) {
  if (backupSet.empty() || backupSet == kNoBackupSetsFound) {
    Message("There is no saved data in the archive file! Please choose a valid archive file");
    return false;
  }
  if (!CheckRestoreTarget(target)) return false;
  job.RestoreArchivePath = std::string(backupSet);
  job.RestoreTargetFolder = target.Folder;
  job.RestoreToOtherFolder = target.OtherFolder ? 1 : 0;
  job.RestoreFileItems.Clear();
  job.RestoreFolderItems.Clear();
  job.RestoreOverwriteIndex = target.OverwriteIndex;

  auto ui = UserInterface();
  ui->StatusProgressShow(tree.NodeCount() + tree.Selection.Count());
  ui->StatusProgressSetPosition(0);
  CollectCheckedRestoreFolders(tree.FirstNode(), job.RestoreFolderItems);
  CollectCheckedRestoreFiles(tree.Selection, job.RestoreFolderItems, job.RestoreFileItems);
  if (job.RestoreFolderItems.Count() == 0 && job.RestoreFileItems.Count() == 0) {
    job.RestoreFileItems.Clear();
    job.RestoreFolderItems.Clear();
    ui->StatusProgressHide();
    return false;
  }
  return true;
}

void FinishRestoreJob() {
  if (ProgressCancelled) LogError("User break!");
  UserInterface()->StatusProgressHide();
}
