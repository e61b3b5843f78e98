// The backup sets of a project (its ".qvp" archives beside its destination file), the project
// definition stored in an archive, and the Restore page's model built from them: the list of
// sets, the archive's description and the tree of its stored files.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/restore/restore_tree.h"

class TProject;
class TProjects;

inline constexpr std::string_view kNoBackupSetsFound = "No backup sets found!";

// The project definition stored in an archive; none when the archive is missing (logged
// "Invalid file name. Please check " + path), cannot be read or holds a damaged definition
// (logged "Invalid backup sets. Please check " + path) or holds no definition (not logged).
// Clears ProgressCancelled first. The definition may ask for the password and for volumes.
std::unique_ptr<TProject> ReadProjectFromArchive(std::string_view path);

// "Name : " + name + CR + "Created at : " + the creation time as date-time text.
std::string RestoreArchiveInfoText(const TProject& project);

// The drop-down list of backup sets: full paths, the chosen one, and the edit text.
class TBackupSets {
 public:
  const std::vector<std::string>& Items() const { return items_; }
  int ItemIndex() const { return itemIndex_; }
  const std::string& Text() const { return text_; }

  // FindBackupSetIndex: the item of exactly that path, or -1.
  int IndexOf(std::string_view path) const;
  int Add(std::string path);  // returns its index
  void Select(int index);     // the item becomes the text; -1 keeps the text
  void SetText(std::string text);
  void Delete(int index);
  void Clear();

 private:
  std::vector<std::string> items_;
  int itemIndex_ = -1;
  std::string text_;
};

// Everything the Restore page shows.
class TRestorePage {
 public:
  TBackupSets BackupSets;                             // Combo_BackupSets
  TRestoreTreeModel Tree{TRestoreTreeKind::Restore};  // RTTV, RLV and RestoreSelection
  std::string RestoreArchiveInfo;

  // PrjLVChange's reset of the page: tree, list and selection cleared.
  void Reset();
  // FindBackupSets: the sets of the named project (none found: nothing happens), the newest
  // one read and shown; without a readable set the project's own snapshot is shown.
  void FindBackupSets(const TProjects& projects, std::string_view projectName);
  // Combo_BackupSetsChange: reloads the tree from the set in the text. False when it cannot be
  // read: "Can not open archive file" is shown and its item removed.
  bool BackupSetsChange();
  // SpeedButton1Click after RT_OD: the chosen archive is listed (once), chosen and loaded.
  bool ImportBackupSet(std::string_view path);

 private:
  // The tree of a project's snapshot; the status bar shows the progress from `startAt` of
  // `maximum` steps.
  void LoadTree(const TProject& project, int maximum, int startAt);
};
