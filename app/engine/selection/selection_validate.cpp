#include "app/engine/selection/selection_validate.h"

#include <cmath>

#include "app/engine/log.h"
#include "app/engine/path_routines.h"
#include "app/engine/progress.h"
#include "app/engine/project/items.h"
#include "app/engine/project/project.h"
#include "app/engine/selection/selection_row_format.h"
#include "app/engine/selection/selection_tree_model.h"
#include "app/engine/user_interface.h"
#include "platform/fs/fs.h"

namespace fs = platform::fs;

namespace {

class TValidateRun {
 public:
  TValidateRun(TSelectionTree& tree, const TProject& project, const TValidateHooks& hooks)
      : tree_(tree), project_(project), hooks_(hooks), ui_(UserInterface()) {}

  TValidateResult Run();

 private:
  void Position(int position, bool statusBar = true) {
    ProgressPosition = position;
    if (statusBar) ui_->StatusProgressSetPosition(position);
  }
  void Pump() {
    if (hooks_.Pump) hooks_.Pump();
  }
  // Pumps and tells whether the user broke off; a break restores the window.
  bool Broken() {
    Pump();
    if (!ProgressCancelled) return false;
    ProgressDone = true;
    if (hooks_.CloseProgress) hooks_.CloseProgress();
    if (enabledOff_) {
      ui_->StatusProgressHide();
      if (hooks_.EnableMainWindow) hooks_.EnableMainWindow(true);
    }
    LogError("User break!");
    result_.Cancelled = true;
    result_.Files.clear();
    result_.Invalid.clear();
    return true;
  }
  bool Walk(std::vector<std::string>& folders);
  bool CheckFiles();

  TSelectionTree& tree_;
  const TProject& project_;
  const TValidateHooks& hooks_;
  std::shared_ptr<IUserInterface> ui_;
  bool enabledOff_ = false;
  TValidateResult result_;
};

bool TValidateRun::Walk(std::vector<std::string>& folders) {
  // The list grows while it is walked; indexes stay valid where iterators would not.
  for (size_t i = 0; i < folders.size(); ++i) {
    const std::string dir = folders[i];
    std::vector<fs::DirEntry> entries;
    try {
      entries = fs::ListDirectory(dir + "*.*");
    } catch (const fs::FsError& e) {
      LogError(e.what());
    }
    for (const auto& entry : entries) {
      const std::string path = dir + entry.name;
      const auto& info = entry.info;
      // As the backup run: linked folders are not entered (a link to a parent never ends),
      // and only regular files (or links to them) are files to store.
      if (info.type == fs::EntryType::Directory) {
        if (!info.isSymlink) folders.push_back(path + "\\");
      } else if (info.type == fs::EntryType::Regular && !project_.IsExcluded(path)) {
        result_.Files.push_back(path);
        result_.TotalSize += info.size;
        ProgressStatus = path;
      }
    }
    if (Broken()) return false;
  }
  return true;
}

bool TValidateRun::CheckFiles() {
  const size_t n = result_.Files.size();
  for (size_t i = 0; i < n; ++i) {
    const std::string& path = result_.Files[i];
    Position(static_cast<int>(std::lround(static_cast<double>(i) * 60.0 / n)) + 40);
    ProgressStatus = path;
    bool opened = false;
    // Opening a FIFO or a device for reading could block or have effects: only regular
    // files are opened.
    const auto info = fs::Stat(path);
    if (info && info->type == fs::EntryType::Regular) {
      try {
        fs::File file(path, fs::OpenMode::Read, fs::Share::All);
        opened = true;
      } catch (const fs::FsError&) {
      }
    }
    if (!opened) {
      LogError("Can not open " + path);
      result_.Invalid.push_back(path);
    }
    if (Broken()) return false;
  }
  return true;
}

TValidateResult TValidateRun::Run() {
  ProgressShowCancel = true;
  ProgressCancelled = false;
  LogStatus("Validating backup content...");
  ProgressCaption = "Validating backup content...";
  ProgressStatus = "Analyzing backup content...";
  Position(0, false);
  ProgressDone = false;
  if (hooks_.ShowProgress) hooks_.ShowProgress();
  if (Broken()) return result_;

  tree_.SHTVChanging();
  if (hooks_.EnableMainWindow) hooks_.EnableMainWindow(false);
  enabledOff_ = true;
  ui_->StatusProgressShow(100);
  ui_->StatusProgressSetPosition(0);

  TItems folderItems;
  TItems fileItems;
  tree_.CollectCheckedFolders(tree_.Root(), folderItems, true);
  tree_.CollectCheckedFiles(folderItems, fileItems, true);
  result_.FolderCount = folderItems.Count();
  result_.FileCount = fileItems.Count();
  std::string message = "Select " + std::to_string(result_.FolderCount) + " directories and " +
                        std::to_string(result_.FileCount) + " Files";
  if (hooks_.SetMessage) hooks_.SetMessage(message);
  Position(20);
  if (Broken()) return result_;

  ProgressCaption = "Building file lists...";
  for (int i = 0; i < fileItems.Count(); ++i) result_.Files.push_back(fileItems.Get(i)->Name);
  std::vector<std::string> folders;
  for (int i = 0; i < folderItems.Count(); ++i)
    folders.push_back(AddTrailingBackslash(folderItems.Get(i)->Name));
  if (!Walk(folders)) return result_;

  Position(40);
  ProgressCaption = "Checking Files...";
  message += " Total size: " + FormatTotalSize(result_.TotalSize);
  if (hooks_.SetMessage) hooks_.SetMessage(message);
  LogStatus(message);
  if (Broken()) return result_;

  if (!CheckFiles()) return result_;
  Position(100);
  ProgressDone = true;
  if (hooks_.CloseProgress) hooks_.CloseProgress();

  if (!result_.Invalid.empty() && hooks_.AskInvalidFiles &&
      hooks_.AskInvalidFiles(result_.Invalid) == 1) {
    tree_.UnselectFiles(result_.Invalid);
    tree_.SelectionChanged = true;
  }
  if (hooks_.EnableMainWindow) hooks_.EnableMainWindow(true);
  ui_->StatusProgressHide();
  return result_;
}

}  // namespace

TValidateResult ValidateSelection(TSelectionTree& tree, const TProject& project,
                                  const TValidateHooks& hooks) {
  return TValidateRun(tree, project, hooks).Run();
}
