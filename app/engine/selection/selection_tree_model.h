// The check-mark model of the Backup page: a lazy folder tree rooted at "My Computer", the file
// list of the selected folder, and the path sets that remember every mark the user set. Plain
// C++ so that it runs against real folders without widgets; the Qt views mirror it.
//
// States: 1 unchecked, 2 checked, 3 the tree's own toggle past checked (read as unchecked),
// 4 partly checked. The path sets take the state minus one. A folder's key ends with a
// backslash; a file's key is its path. Paths compare exactly.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/project/items.h"
#include "app/engine/selection/tripper_list.h"
#include "platform/fs/fs.h"

class TProject;

struct TSelectionNode {
  std::string Text;  // "My Computer", "Z:" or the folder's name
  std::string Path;  // "Z:\", "Z:\home\ann"; empty for a node without a folder
  int State = 1;
  bool Expanded = false;
  bool ChildrenLoaded = false;
  TSelectionNode* Parent = nullptr;
  std::vector<std::unique_ptr<TSelectionNode>> Children;

  bool HasFolder() const { return !Path.empty(); }
  // The folder key: the path with a trailing backslash; empty without a folder.
  std::string Key() const;
};

// One row of the file list: a subfolder or a file of the selected folder.
struct TFileRow {
  std::string Name;
  std::string Key;  // folder + name, plus a backslash for a subfolder
  bool IsFolder = false;
  platform::fs::FileInfo Info;
  int State = 1;
};

// A row of the special-folder dialog as it closed.
struct TSpecialFolderChoice {
  std::string Path;
  bool Ticked = false;
};

class TSelectionTree {
 public:
  // "My Computer" with the one drive "Z:" (the POSIX root) below it.
  TSelectionTree();
  TSelectionTree(const TSelectionTree&) = delete;
  TSelectionTree& operator=(const TSelectionTree&) = delete;

  TSelectionNode* Root() { return root_.get(); }
  const TSelectionNode* Root() const { return root_.get(); }
  TSelectionNode* Selected() const { return selected_; }
  const std::vector<TFileRow>& Rows() const { return rows_; }
  TTripperList& Sets() { return sets_; }
  const TTripperList& Sets() const { return sets_; }

  // Set by every click or space bar that changes a mark; the page-change prompt clears it.
  bool SelectionChanged = false;
  // True while the main window is being created: nodes added then are not processed.
  bool Startup = false;

  // Lazy children: the subfolders of the node's folder, each passed to SHTVAddNode.
  void LoadChildren(TSelectionNode* node);
  void Expand(TSelectionNode* node);
  void Collapse(TSelectionNode* node);

  // Moving the selection: SHTVChanging flushes the rows into the path sets, SHTVChange fills
  // the list of the newly selected folder. Select does both; selecting the selected node or
  // none does nothing.
  void SHTVChanging();
  void SHTVChange();
  void Select(TSelectionNode* node);
  // Expands the folders along the path and selects its node; none when a part is not found
  // (the selection is left as it was).
  TSelectionNode* SelectPath(std::string_view folderPath);
  // The loaded node of a folder path, without loading anything.
  TSelectionNode* FindNodeByPath(std::string_view folderPath) const;

  // A click on a node's state icon (or the space bar on it) and on a row's.
  void SHTVClick(TSelectionNode* node);
  void BLVClick(int row);
  // A node that the tree adds below an expanded folder.
  void SHTVAddNode(TSelectionNode* node);

  void ToggleFolderCheck(TSelectionNode* node, int state);
  void SetAllListItemsCheck(int state);
  void PropagateCheckToChildren(TSelectionNode* node, int state);
  void PropagateCheckToParents(TSelectionNode* node, int state);
  int ComputeFolderCheckState(const TSelectionNode* node) const;
  void FillFolderFileList(std::string_view folder, int folderState);
  void ToggleFileCheck(int state, int row);
  int ComputeListCheckState() const;

  // Fully checked folders below `node` into `folders` (kind 0), logged with "ANALYZE " when
  // `log` is set. Checked folders that only the path sets know of (below a partly checked
  // folder that was never expanded) are collected too.
  void CollectCheckedFolders(TSelectionNode* node, TItems& folders, bool log);
  // Checked files of the path sets that no collected folder holds.
  void CollectCheckedFiles(const TItems& folders, TItems& files, bool log);
  // Flushes the list, then collects the folders from the first node and the files.
  void CollectSelection(TItems& folders, TItems& files, bool log);
  static int CountDescendantNodes(const TSelectionNode* node);
  // Every node of the tree, the first one included.
  int NodeCount() const;

  // Row index or -1.
  int FindListItemByPath(std::string_view path) const;
  int FindListItemByFolderPath(std::string_view path) const;
  int FindListItemForNode(const TSelectionNode* node) const;

  // Every node and row unchecked and the path sets cleared.
  void ResetSelection();
  // Shows a project's folder and file items as marks.
  void LoadProjectSelection(const TProject& project);
  // Files found by the search dialog: each checked, its folder partly checked unless checked.
  void AddFoundFiles(const std::vector<std::string>& paths);
  // True when the special folder is recorded checked (its row is ticked before the dialog).
  bool IsSpecialFolderChecked(std::string_view path) const;
  // Applies the special-folder dialog's rows; `pump` (optional) runs between rows.
  void AddSpecialFolders(const std::vector<TSpecialFolderChoice>& rows,
                         const std::function<void()>& pump = {});
  // Unchecks files (the invalid files of Validate) in their folder's list or the path sets.
  void UnselectFiles(const std::vector<std::string>& paths);

  // The state a click gives: unchecked -> checked, checked -> unchecked (through 3 for a
  // node), partly checked -> checked.
  static int NextNodeState(int state);
  static int NextRowState(int state);

 private:
  void SetState(std::string_view key, int state) { sets_.SetState(key, state - 1); }
  // Records every entry of a folder (files by path, subfolders with a backslash) with
  // `state` minus one; with `onlyAbsent` entries already recorded are kept.
  void RecordEntries(const std::string& key, int state, bool onlyAbsent);
  // Every recorded path below a folder key takes the state: a folder set checked or unchecked
  // decides everything in it.
  void RecordBelow(const TSelectionNode* node, int state);
  void RecordBelow(const std::string& key, int state);
  // What a folder click applies besides the node's own state and the list: entries recorded,
  // paths below rewritten, the folder key recorded.
  void RecordFolder(const std::string& key, int state);
  // A file checked from outside the list (a project item, a search result).
  void CheckFile(const std::string& path);
  void CollectFolderNodes(TSelectionNode* node, TItems& folders, bool log);
  void ResetNodes(TSelectionNode* node);

  std::unique_ptr<TSelectionNode> root_;
  TSelectionNode* selected_ = nullptr;
  std::vector<TFileRow> rows_;
  TTripperList sets_;
};

// The parts of a path between backslashes, empty parts dropped.
std::vector<std::string> SplitPath(std::string_view path);
// First child whose text equals the name (names compare exactly, as paths do).
TSelectionNode* FindChildNode(const TSelectionNode* node, std::string_view name);
// The given node and the nodes after it in visible order, then its previous siblings nearest
// first: the first whose text equals the name.
TSelectionNode* FindNodeByText(TSelectionNode* node, std::string_view name);
