// The folder tree and file list of the Restore and Differential-Restore pages with their check
// marks, and the selection set behind them. The tree is built from stored snapshots, never from
// the disk; the pages' widgets mirror it.
//
// States (the state images): 1 unchecked, 2 checked, 3 the tree's own toggle past checked (read
// as unchecked), 4 partly checked. A row keeps its state minus one as its state index, and the
// selection set takes the state minus one. Folder paths end with a backslash; paths compare
// exactly.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/project/runtime_file.h"
#include "app/engine/restore/path_dir_pair.h"
#include "app/engine/selection/tripper_list.h"

inline constexpr int kStateUnchecked = 1;
inline constexpr int kStateChecked = 2;
inline constexpr int kStateToggled = 3;
inline constexpr int kStatePartly = 4;

struct TRestoreNode {
  std::string Text;  // "Z:" for a drive, else the folder's name
  int State = kStateUnchecked;
  std::unique_ptr<TPathDirPair> Data;  // the folder (trailing backslash) and its stored files
  TRestoreNode* Parent = nullptr;
  std::vector<std::unique_ptr<TRestoreNode>> Children;

  const std::string& Path() const;  // empty without data
};

// One row of the file list: a subfolder or a stored file of the selected folder.
struct TRestoreRow {
  std::string Caption;
  std::string Path;              // a folder row: its node's path; a file row: the file's path
  TRestoreNode* Node = nullptr;  // the node a folder row shows; none for a file row
  int StateIndex = 0;            // the state minus one
  // The Restore page's columns "Last modified in archive", "Last modified in folder" and
  // "Version"; empty on the Differential-Restore page and on folder rows.
  std::string ArchiveTime;
  std::string FolderTime;
  std::string Version;

  bool IsFolder() const { return Node != nullptr; }
};

enum class TRestoreTreeKind {
  Restore,  // RTTV and RLV: rows with times and version, times of the files on disk
  Compare,  // CPTV and CLV: rows without sub-items, no disk search
};

class TRestoreTreeModel {
 public:
  explicit TRestoreTreeModel(TRestoreTreeKind kind) : kind_(kind) {}
  TRestoreTreeModel(const TRestoreTreeModel&) = delete;
  TRestoreTreeModel& operator=(const TRestoreTreeModel&) = delete;

  TRestoreTreeKind Kind() const { return kind_; }

  // ---- the tree ----
  const std::vector<std::unique_ptr<TRestoreNode>>& Nodes() const { return nodes_; }
  TRestoreNode* FirstNode() const { return nodes_.empty() ? nullptr : nodes_.front().get(); }
  int NodeCount() const { return nodeCount_; }
  // Every node in tree order (a node before its children, children in order).
  void ForEachNode(const std::function<void(TRestoreNode&)>& visit) const;
  // Frees the nodes and rows; the selection set stays (the pages clear it themselves).
  void Clear();

  // The node of the folder of `path` (everything before its last backslash or colon), with the
  // nodes on the way created as needed; none when the path has no folder part.
  TRestoreNode* AddFolderOf(std::string_view path);
  // One snapshot entry: a clone of it into the file list of its folder's node.
  void BuildRestoreTree(const TRuntimeFile& entry);

  // ---- the list ----
  TRestoreNode* Selected() const { return selected_; }
  const std::vector<TRestoreRow>& Rows() const { return rows_; }
  // RTTVChange: the node becomes the selected one and the list shows it with its state.
  void SelectNode(TRestoreNode* node);
  void FillRestoreFileList(TRestoreNode* node, int state);
  // The row showing that path; -1 when none does.
  int FindRow(std::string_view path) const;

  // ---- check marks ----
  // A click on a node's check box (or the space bar on the selected node): the state the click
  // gives (unchecked -> checked, checked -> unchecked, partly checked -> checked), applied.
  void NodeClick(TRestoreNode* node);
  // A click on a row's check box (or the space bar on the selected row).
  void RowClick(int row);

  // Applies the node's state as a click left it (3 is read as 1, 4 as 2) to the list, the
  // selection set, its descendants and its ancestors.
  void ToggleRestoreFolderCheck(TRestoreNode* node);
  // Applies a row's next state (its state index + 2: 3 and 4 are read as 1, 5 as 2). A folder
  // row acts as a click on its folder: the folder's subfolders and files follow.
  void ToggleRestoreFileCheck(int row, int state);
  void SetAllListItemsCheck(int state);
  void PropagateRestoreCheckToChildren(TRestoreNode* node, int state);
  void PropagateRestoreCheckToParents(TRestoreNode* node);
  // From the selection set: any partly checked entry -> 4; all entries checked -> 2; none -> 1;
  // a mix -> 4. A node without data is unchecked.
  int ComputeRestoreFolderCheckState(const TRestoreNode* node) const;
  // From the rows: any partly checked -> 4; all checked -> 2; all unchecked or none -> 1; a
  // mix -> 4.
  int ComputeListCheckState() const;

  // RestoreSelection or CompareSelection.
  TTripperList Selection;

 private:
  TRestoreNode* AddNode(TRestoreNode* parent, std::string text, std::string path);
  void SetSelectionState(std::string_view path, int state) { Selection.SetState(path, state - 1); }
  void MarkFolder(TRestoreNode* node, int state);

  TRestoreTreeKind kind_;
  std::vector<std::unique_ptr<TRestoreNode>> nodes_;
  int nodeCount_ = 0;
  TRestoreNode* selected_ = nullptr;
  std::vector<TRestoreRow> rows_;
};

// The text of a packed DOS file time in the user's short date and long time; empty for 0.
std::string DosTimeText(std::int32_t fileTime);
