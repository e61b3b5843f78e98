#include "app/engine/restore/restore_tree.h"

#include <unordered_map>

#include "app/engine/path_routines.h"
#include "platform/fs/fs.h"
#include "platform/shell/shell.h"

namespace {

const std::string kNoPath;

// The folder part of a stored path. Names may hold colons here, so only a backslash ends the
// folder part of a drive path; a path without one keeps the colon rule ("C:a.txt" -> "C:").
std::string FolderPartOf(std::string_view path) {
  const size_t slash = path.rfind('\\');
  if (slash != std::string_view::npos) return std::string(path.substr(0, slash + 1));
  return ExtractFilePath(path);
}

std::string NamePartOf(std::string_view path) {
  const size_t slash = path.rfind('\\');
  if (slash != std::string_view::npos) return std::string(path.substr(slash + 1));
  return std::string(path.substr(ExtractFilePath(path).size()));
}

std::vector<std::string> PathParts(std::string_view folder) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= folder.size()) {
    size_t end = folder.find('\\', start);
    if (end == std::string_view::npos) end = folder.size();
    if (end > start) parts.emplace_back(folder.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

TRestoreNode* FindByText(const std::vector<std::unique_ptr<TRestoreNode>>& nodes,
                         std::string_view text) {
  for (const auto& node : nodes)
    if (node->Text == text) return node.get();
  return nullptr;
}

void Visit(const std::vector<std::unique_ptr<TRestoreNode>>& nodes,
           const std::function<void(TRestoreNode&)>& visit) {
  for (const auto& node : nodes) {
    visit(*node);
    Visit(node->Children, visit);
  }
}

}  // namespace

const std::string& TRestoreNode::Path() const {
  return Data ? Data->Path : kNoPath;
}

std::string DosTimeText(std::int32_t fileTime) {
  if (fileTime == 0) return {};
  return platform::shell::FormatShortDateLongTime(
      platform::shell::UnixFromDosTime(static_cast<std::uint32_t>(fileTime)));
}

void TRestoreTreeModel::ForEachNode(const std::function<void(TRestoreNode&)>& visit) const {
  Visit(nodes_, visit);
}

void TRestoreTreeModel::Clear() {
  rows_.clear();
  selected_ = nullptr;
  nodes_.clear();
  nodeCount_ = 0;
}

TRestoreNode* TRestoreTreeModel::AddNode(TRestoreNode* parent, std::string text, std::string path) {
  auto node = std::make_unique<TRestoreNode>();
  node->Text = std::move(text);
  node->Data = std::make_unique<TPathDirPair>(std::move(path));
  node->Parent = parent;
  auto& siblings = parent ? parent->Children : nodes_;
  siblings.push_back(std::move(node));
  ++nodeCount_;
  return siblings.back().get();
}

TRestoreNode* TRestoreTreeModel::AddFolderOf(std::string_view path) {
  const std::vector<std::string> parts = PathParts(FolderPartOf(path));
  if (parts.empty()) return nullptr;
  std::string folder = parts.front() + '\\';
  TRestoreNode* node = FindByText(nodes_, parts.front());
  if (!node) node = AddNode(nullptr, parts.front(), folder);
  for (size_t i = 1; i < parts.size(); ++i) {
    folder += parts[i];
    folder += '\\';
    TRestoreNode* child = FindByText(node->Children, parts[i]);
    node = child ? child : AddNode(node, parts[i], folder);
  }
  return node;
}

void TRestoreTreeModel::BuildRestoreTree(const TRuntimeFile& entry) {
  if (TRestoreNode* node = AddFolderOf(entry.Path)) node->Data->Files.Add(entry.Clone());
}

void TRestoreTreeModel::SelectNode(TRestoreNode* node) {
  selected_ = node;
  FillRestoreFileList(node, node ? node->State : kStateUnchecked);
}

void TRestoreTreeModel::FillRestoreFileList(TRestoreNode* node, int state) {
  rows_.clear();
  if (!node || !node->Data) return;
  for (const auto& child : node->Children) {
    TRestoreRow row;
    row.Caption = child->Text;
    row.Path = child->Path();
    row.Node = child.get();
    rows_.push_back(std::move(row));
  }
  const bool restorePage = kind_ == TRestoreTreeKind::Restore;
  for (const auto& file : node->Data->Files.Files()) {
    TRestoreRow row;
    row.Caption = NamePartOf(file->Path);
    row.Path = file->Path;
    if (restorePage) {
      row.ArchiveTime = DosTimeText(file->FileTime);
      row.Version = std::to_string(file->Run);
    }
    rows_.push_back(std::move(row));
  }

  for (TRestoreRow& row : rows_) {
    if (state == kStateChecked) {
      row.StateIndex = 1;
    } else if (state == kStateUnchecked || state == kStateToggled) {
      row.StateIndex = 0;
    } else {
      const int stored = Selection.GetState(row.Path);
      row.StateIndex = stored == 2 ? kStatePartly - 1 : stored == 1 ? 1 : 0;
    }
    Selection.SetState(row.Path, row.StateIndex);
  }

  if (!restorePage) return;
  // The times of the files now in the folder, matched to the stored files by name.
  std::unordered_map<std::string, size_t> firstOpenRow;
  for (size_t i = rows_.size(); i-- > 0;)
    if (!rows_[i].IsFolder()) firstOpenRow[rows_[i].Caption] = i;
  std::vector<platform::fs::DirEntry> entries;
  try {
    entries = platform::fs::ListDirectory(AddTrailingBackslash(node->Path()) + "*.*");
  } catch (const platform::fs::FsError&) {
    return;  // the folder is not on this disk (any more)
  }
  for (const auto& entry : entries) {
    if (entry.info.type == platform::fs::EntryType::Directory) continue;
    const auto it = firstOpenRow.find(entry.name);
    if (it == firstOpenRow.end()) continue;
    rows_[it->second].FolderTime = platform::shell::FormatShortDateLongTime(entry.info.mtimeSec);
    firstOpenRow.erase(it);
  }
}

int TRestoreTreeModel::FindRow(std::string_view path) const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].Path == path) return static_cast<int>(i);
  return -1;
}

void TRestoreTreeModel::NodeClick(TRestoreNode* node) {
  if (!node) return;
  node->State = node->State == kStateChecked ? kStateUnchecked : kStateChecked;
  ToggleRestoreFolderCheck(node);
}

void TRestoreTreeModel::RowClick(int row) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  ToggleRestoreFileCheck(row, rows_[static_cast<size_t>(row)].StateIndex + 2);
}

void TRestoreTreeModel::MarkFolder(TRestoreNode* node, int state) {
  if (!node->Data) return;
  SetSelectionState(AddTrailingBackslash(node->Path()), state);
  for (const auto& child : node->Children)
    if (child->Data) SetSelectionState(child->Path(), state);
  node->Data->SetFilesState(state - 1, Selection);
}

void TRestoreTreeModel::ToggleRestoreFolderCheck(TRestoreNode* node) {
  if (!node) return;
  int state = node->State;
  if (state == kStateToggled) state = kStateUnchecked;
  // A folder is never given "partly checked" by a click: it would mark everything below it so.
  if (state != kStateUnchecked) state = kStateChecked;
  node->State = state;
  if (node == selected_) SetAllListItemsCheck(state);
  MarkFolder(node, state);
  PropagateRestoreCheckToChildren(node, state);
  PropagateRestoreCheckToParents(node);
}

void TRestoreTreeModel::ToggleRestoreFileCheck(int row, int state) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  if (state == kStateToggled || state == kStatePartly || state < kStateUnchecked)
    state = kStateUnchecked;
  else if (state > kStatePartly)
    state = kStateChecked;  // a partly checked row
  TRestoreRow& r = rows_[static_cast<size_t>(row)];
  r.StateIndex = state - 1;
  SetSelectionState(r.Path, state);
  // A folder row stands for its folder: restoring it restores what lies below it too.
  if (TRestoreNode* folder = r.Node) {
    folder->State = state;
    ToggleRestoreFolderCheck(folder);
  }
  if (!selected_) return;
  const int listState = ComputeListCheckState();
  if (listState != selected_->State) {
    selected_->State = listState;
    if (selected_->Data) SetSelectionState(AddTrailingBackslash(selected_->Path()), listState);
    PropagateRestoreCheckToParents(selected_);
  }
}

void TRestoreTreeModel::SetAllListItemsCheck(int state) {
  for (TRestoreRow& row : rows_) row.StateIndex = state - 1;
}

void TRestoreTreeModel::PropagateRestoreCheckToChildren(TRestoreNode* node, int state) {
  for (const auto& child : node->Children) {
    child->State = state;
    if (child->Data) {
      SetSelectionState(AddTrailingBackslash(child->Path()), state);
      child->Data->SetFilesState(state - 1, Selection);
    }
    if (child.get() == selected_) SetAllListItemsCheck(state);
    PropagateRestoreCheckToChildren(child.get(), state);
  }
}

void TRestoreTreeModel::PropagateRestoreCheckToParents(TRestoreNode* node) {
  TRestoreNode* child = node;
  for (TRestoreNode* parent = node->Parent; parent; child = parent, parent = parent->Parent) {
    const int state = ComputeRestoreFolderCheckState(parent);
    parent->State = state;
    if (parent->Data) SetSelectionState(AddTrailingBackslash(parent->Path()), state);
    // The row that shows the folder on the way follows it when its parent is the one shown.
    if (parent == selected_) {
      const int row = FindRow(child->Path());
      if (row >= 0) rows_[static_cast<size_t>(row)].StateIndex = child->State - 1;
    }
  }
}

int TRestoreTreeModel::ComputeRestoreFolderCheckState(const TRestoreNode* node) const {
  if (!node || !node->Data) return kStateUnchecked;
  bool anyChecked = false;
  bool anyUnchecked = false;
  auto look = [&](std::string_view path) {
    const int state = Selection.GetState(path);
    if (state == 2) return false;
    (state == 1 ? anyChecked : anyUnchecked) = true;
    return true;
  };
  for (const auto& child : node->Children)
    if (child->Data && !look(child->Path())) return kStatePartly;
  for (const auto& file : node->Data->Files.Files())
    if (!look(file->Path)) return kStatePartly;
  if (!anyChecked) return kStateUnchecked;
  return anyUnchecked ? kStatePartly : kStateChecked;
}

int TRestoreTreeModel::ComputeListCheckState() const {
  bool allChecked = true;
  bool allUnchecked = true;
  for (const TRestoreRow& row : rows_) {
    if (row.StateIndex >= 2) return kStatePartly;
    (row.StateIndex == 1 ? allUnchecked : allChecked) = false;
  }
  if (!allChecked && !allUnchecked) return kStatePartly;
  if (!allChecked) return kStateUnchecked;
  if (!allUnchecked) return kStateChecked;
  return kStateUnchecked;
}
