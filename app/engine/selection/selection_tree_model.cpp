#include "app/engine/selection/selection_tree_model.h"

#include <algorithm>
#include <cctype>

#include "app/engine/log.h"
#include "app/engine/path_routines.h"
#include "app/engine/project/project.h"
#include "app/engine/user_interface.h"

namespace fs = platform::fs;

namespace {

// Names in the order a folder view shows them: letters without regard to case, then exactly.
bool NameLess(const std::string& a, const std::string& b) {
  const auto lower = [](unsigned char c) { return static_cast<char>(std::tolower(c)); };
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char x = lower(static_cast<unsigned char>(a[i]));
    const char y = lower(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

bool IsFolderEntry(const fs::DirEntry& entry) {
  return entry.info.type == fs::EntryType::Directory;
}

std::string EntryKey(const std::string& dir, const fs::DirEntry& entry) {
  return IsFolderEntry(entry) ? dir + entry.name + "\\" : dir + entry.name;
}

bool EndsWithBackslash(std::string_view s) {
  return !s.empty() && s.back() == '\\';
}

void StepProgress(int count) {
  const auto ui = UserInterface();
  for (int i = 0; i < count; ++i) ui->StatusProgressStep();
}

}  // namespace

std::string TSelectionNode::Key() const {
  return HasFolder() ? AddTrailingBackslash(Path) : std::string();
}

TSelectionTree::TSelectionTree() : root_(std::make_unique<TSelectionNode>()) {
  root_->Text = "My Computer";
  root_->ChildrenLoaded = true;
  root_->Expanded = true;
  auto drive = std::make_unique<TSelectionNode>();
  drive->Text = "Z:";
  drive->Path = "Z:\\";
  drive->Parent = root_.get();
  root_->Children.push_back(std::move(drive));
}

void TSelectionTree::LoadChildren(TSelectionNode* node) {
  if (!node || node->ChildrenLoaded) return;
  node->ChildrenLoaded = true;
  if (!node->HasFolder()) return;
  const std::string dir = node->Key();
  std::vector<std::string> names;
  try {
    for (const auto& entry : fs::ListDirectory(dir + "*.*"))
      if (IsFolderEntry(entry)) names.push_back(entry.name);
  } catch (const fs::FsError&) {
    return;  // a folder that cannot be listed shows no children
  }
  std::sort(names.begin(), names.end(), NameLess);
  for (const auto& name : names) {
    auto child = std::make_unique<TSelectionNode>();
    child->Text = name;
    child->Path = dir + name;
    child->Parent = node;
    TSelectionNode* added = child.get();
    node->Children.push_back(std::move(child));
    SHTVAddNode(added);
  }
}

void TSelectionTree::Expand(TSelectionNode* node) {
  if (!node) return;
  LoadChildren(node);
  node->Expanded = true;
}

void TSelectionTree::Collapse(TSelectionNode* node) {
  if (node) node->Expanded = false;
}

void TSelectionTree::SHTVChanging() {
  for (const auto& row : rows_)
    if (!row.Key.empty()) SetState(row.Key, row.State);
}

void TSelectionTree::SHTVChange() {
  if (!selected_) {
    rows_.clear();
    return;
  }
  FillFolderFileList(selected_->Path, selected_->State);
}

void TSelectionTree::Select(TSelectionNode* node) {
  if (!node || node == selected_) return;
  SHTVChanging();
  selected_ = node;
  SHTVChange();
}

TSelectionNode* TSelectionTree::SelectPath(std::string_view folderPath) {
  TSelectionNode* node = root_.get();
  for (const auto& part : SplitPath(folderPath)) {
    Expand(node);
    node = FindChildNode(node, part);
    if (!node) return nullptr;
  }
  if (node == root_.get()) return nullptr;
  Select(node);
  return node;
}

TSelectionNode* TSelectionTree::FindNodeByPath(std::string_view folderPath) const {
  TSelectionNode* node = root_.get();
  for (const auto& part : SplitPath(folderPath)) {
    node = FindChildNode(node, part);
    if (!node) return nullptr;
  }
  return node == root_.get() ? nullptr : node;
}

int TSelectionTree::NextNodeState(int state) {
  return state == 2 ? 3 : 2;
}

int TSelectionTree::NextRowState(int state) {
  return state == 2 ? 3 : 2;
}

void TSelectionTree::SHTVClick(TSelectionNode* node) {
  if (!node) return;
  ToggleFolderCheck(node, NextNodeState(node->State));
  SelectionChanged = true;
}

void TSelectionTree::BLVClick(int row) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  ToggleFileCheck(NextRowState(rows_[static_cast<size_t>(row)].State), row);
  SelectionChanged = true;
}

void TSelectionTree::SHTVAddNode(TSelectionNode* node) {
  if (Startup || !node || !node->Parent || node->Parent == root_.get() || !node->HasFolder())
    return;
  const std::string key = node->Key();
  switch (node->Parent->State) {
    case 2:
      node->State = 2;
      SetState(key, 2);
      RecordEntries(key, 2, false);
      break;
    case 4: {
      // The marks below a partly checked folder are in the path sets; recorded ones stay.
      switch (sets_.GetState(key)) {
        case 1:
          node->State = 2;
          break;
        case 2:
          node->State = 4;
          break;
        default:
          node->State = 1;
          SetState(key, 1);
          break;
      }
      RecordEntries(key, node->State == 2 ? 2 : 1, true);
      break;
    }
    case 0:
    case 1:
    case 3:
      node->State = 1;
      SetState(key, 1);
      RecordEntries(key, 1, false);
      break;
    default:
      break;
  }
}

void TSelectionTree::RecordEntries(const std::string& key, int state, bool onlyAbsent) {
  std::vector<fs::DirEntry> entries;
  try {
    entries = fs::ListDirectory(key + "*.*");
  } catch (const fs::FsError&) {
    return;
  }
  for (const auto& entry : entries) {
    const std::string path = EntryKey(key, entry);
    if (onlyAbsent && sets_.GetState(path) != -1) continue;
    SetState(path, state);
  }
}

void TSelectionTree::RecordBelow(const std::string& key, int state) {
  std::vector<std::string> below;
  for (const auto* set : {&sets_.Checked(), &sets_.Unchecked(), &sets_.PartlyChecked()})
    for (auto it = set->upper_bound(key); it != set->end() && it->starts_with(key); ++it)
      below.push_back(*it);
  for (const auto& path : below) SetState(path, state);
}

void TSelectionTree::RecordBelow(const TSelectionNode* node, int state) {
  if (node->HasFolder()) {
    RecordBelow(node->Key(), state);
    return;
  }
  for (const auto& child : node->Children) RecordBelow(child.get(), state);
}

void TSelectionTree::RecordFolder(const std::string& key, int state) {
  RecordBelow(key, state);
  RecordEntries(key, state, false);
  SetState(key, state);
}

void TSelectionTree::ToggleFolderCheck(TSelectionNode* node, int state) {
  if (!node) return;
  if (state == 3) state = 1;
  node->State = state;
  if (node == selected_) SetAllListItemsCheck(state);
  if (node->HasFolder())
    RecordFolder(node->Key(), state);
  else
    RecordBelow(node, state);
  PropagateCheckToChildren(node, state);
  PropagateCheckToParents(node, state);
}

void TSelectionTree::SetAllListItemsCheck(int state) {
  for (auto& row : rows_) row.State = state;
}

void TSelectionTree::PropagateCheckToChildren(TSelectionNode* node, int state) {
  for (const auto& child : node->Children) {
    child->State = state;
    if (child->HasFolder()) SetState(child->Key(), state);
    if (child.get() == selected_) SetAllListItemsCheck(state);
    PropagateCheckToChildren(child.get(), state);
  }
}

void TSelectionTree::PropagateCheckToParents(TSelectionNode* node, int state) {
  for (TSelectionNode* p = node->Parent; p; p = p->Parent) {
    const int t = ComputeFolderCheckState(p);
    p->State = t;
    if (p->HasFolder()) SetState(p->Key(), t);
    if (p == selected_) {
      const int row = FindListItemForNode(node);
      if (row >= 0) rows_[static_cast<size_t>(row)].State = state;
    }
  }
}

int TSelectionTree::ComputeFolderCheckState(const TSelectionNode* node) const {
  if (!node) return 2;
  bool allChecked = true;
  bool allUnchecked = true;
  if (!node->HasFolder()) {
    // "My Computer" has no folder: it shows what its drives show.
    for (const auto& child : node->Children) {
      if (child->State == 4) return 4;
      if (child->State == 2)
        allUnchecked = false;
      else
        allChecked = false;
    }
  } else {
    const std::string key = node->Key();
    std::vector<fs::DirEntry> entries;
    try {
      entries = fs::ListDirectory(key + "*.*");
    } catch (const fs::FsError&) {
      return 4;  // what it holds is unknown, so it is not shown as wholly checked
    }
    for (const auto& entry : entries) {
      switch (sets_.GetState(EntryKey(key, entry))) {
        case 1:
          allUnchecked = false;
          break;
        case 2:
          return 4;
        default:
          allChecked = false;
          break;
      }
      if (!allChecked && !allUnchecked) break;
    }
  }
  if (!allChecked && !allUnchecked) return 4;
  return allChecked ? 2 : 1;
}

void TSelectionTree::FillFolderFileList(std::string_view folder, int folderState) {
  rows_.clear();
  if (folder.empty()) return;
  const std::string dir = AddTrailingBackslash(folder);
  std::vector<fs::DirEntry> entries;
  try {
    entries = fs::ListDirectory(dir + "*.*");
  } catch (const fs::FsError&) {
    return;
  }
  std::sort(entries.begin(), entries.end(),
            [](const fs::DirEntry& a, const fs::DirEntry& b) { return NameLess(a.name, b.name); });
  for (const bool folders : {true, false}) {
    for (const auto& entry : entries) {
      if (IsFolderEntry(entry) != folders) continue;
      TFileRow row;
      row.Name = entry.name;
      row.Key = EntryKey(dir, entry);
      row.IsFolder = folders;
      row.Info = entry.info;
      if (folderState == 2 || folderState == 1) {
        row.State = folderState;
      } else {
        switch (sets_.GetState(row.Key)) {
          case 2:
            row.State = 4;
            break;
          case 1:
            row.State = 2;
            break;
          default:
            row.State = 1;
            break;
        }
      }
      SetState(row.Key, row.State);
      rows_.push_back(std::move(row));
    }
  }
}

void TSelectionTree::ToggleFileCheck(int state, int row) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  if (state == 3 || state == 4) state = 1;
  TFileRow& r = rows_[static_cast<size_t>(row)];
  r.State = state;
  const std::string key = r.Key;
  if (!key.empty()) SetState(key, state);
  TSelectionNode* child = nullptr;
  if (selected_) {
    for (const auto& c : selected_->Children)
      if (c->Key() == key) {
        child = c.get();
        break;
      }
  }
  // A folder row decides the folder's whole content, as a click on its node does.
  if (r.IsFolder && !key.empty()) {
    RecordFolder(key, state);
    if (child) PropagateCheckToChildren(child, state);
  }
  if (selected_) {
    const int t = ComputeListCheckState();
    if (t != selected_->State) {
      selected_->State = t;
      if (selected_->HasFolder()) SetState(selected_->Key(), t);
      PropagateCheckToParents(selected_, t);
    }
  }
  if (child) child->State = state;
}

int TSelectionTree::ComputeListCheckState() const {
  bool allChecked = true;
  bool allUnchecked = true;
  for (const auto& row : rows_) {
    switch (row.State) {
      case 3:
      case 4:
        return 4;
      case 2:
        allUnchecked = false;
        break;
      default:
        allChecked = false;
        break;
    }
  }
  if (rows_.empty()) return 1;
  if (!allChecked && !allUnchecked) return 4;
  return allChecked ? 2 : 1;
}

void TSelectionTree::CollectFolderNodes(TSelectionNode* node, TItems& folders, bool log) {
  StepProgress(1);
  for (const auto& child : node->Children) {
    if (child->State != 2) {
      CollectFolderNodes(child.get(), folders, log);
    } else if (child->HasFolder()) {
      StepProgress(CountDescendantNodes(child.get()));
      const std::string key = child->Key();
      folders.Add(key, 0);
      if (log) LogMessage("ANALYZE ", "Found folder of " + key, 0);
    }
  }
}

void TSelectionTree::CollectCheckedFolders(TSelectionNode* node, TItems& folders, bool log) {
  if (!node) return;
  CollectFolderNodes(node, folders, log);
  // A folder checked in the list of a partly checked folder has no node until that folder is
  // expanded; the path sets still hold it. Sorted order puts a folder before its subfolders.
  const std::string below = node->Key();
  for (const auto& key : sets_.Checked()) {
    if (!EndsWithBackslash(key) || !key.starts_with(below) || key == below) continue;
    // A folder with a node was decided by the walk above.
    if (folders.FindPrefixOf(key) || FindNodeByPath(key)) continue;
    folders.Add(key, 0);
    if (log) LogMessage("ANALYZE ", "Found folder of " + key, 0);
  }
}

void TSelectionTree::CollectCheckedFiles(const TItems& folders, TItems& files, bool log) {
  for (const auto& path : sets_.Checked()) {
    if (!EndsWithBackslash(path) && !folders.FindPrefixOf(path)) {
      files.Add(path, 0);
      if (log) LogMessage("ANALYZE ", "Found File of " + path, 0);
    }
    StepProgress(1);
  }
}

void TSelectionTree::CollectSelection(TItems& folders, TItems& files, bool log) {
  SHTVChanging();
  CollectCheckedFolders(root_.get(), folders, log);
  CollectCheckedFiles(folders, files, log);
}

int TSelectionTree::CountDescendantNodes(const TSelectionNode* node) {
  if (!node) return 0;
  int count = 0;
  for (const auto& child : node->Children) count += 1 + CountDescendantNodes(child.get());
  return count;
}

int TSelectionTree::NodeCount() const {
  return 1 + CountDescendantNodes(root_.get());
}

int TSelectionTree::FindListItemByPath(std::string_view path) const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].Key == path) return static_cast<int>(i);
  return -1;
}

int TSelectionTree::FindListItemByFolderPath(std::string_view path) const {
  return FindListItemByPath(AddTrailingBackslash(path));
}

int TSelectionTree::FindListItemForNode(const TSelectionNode* node) const {
  if (!node || !node->HasFolder()) return -1;
  return FindListItemByFolderPath(node->Path);
}

void TSelectionTree::ResetNodes(TSelectionNode* node) {
  node->State = 1;
  for (const auto& child : node->Children) ResetNodes(child.get());
}

void TSelectionTree::ResetSelection() {
  ResetNodes(root_.get());
  SetAllListItemsCheck(1);
  sets_.Clear();
}

void TSelectionTree::LoadProjectSelection(const TProject& project) {
  const auto ui = UserInterface();
  ui->SetStatusPanel(1, "Loading backup file list...");
  ui->StatusProgressShow(project.Folders.Count() + 2 * project.Files.Count());
  ui->StatusProgressSetPosition(0);
  ResetSelection();
  for (int i = 0; i < project.Folders.Count(); ++i) {
    const std::string path = project.Folders.Get(i)->Name;
    if (fs::IsDirectory(path)) {
      const std::string key = AddTrailingBackslash(path);
      if (TSelectionNode* node = SelectPath(path)) {
        ToggleFolderCheck(node, 2);
        FillFolderFileList(path, 2);
      } else {
        // Kept in the path sets, so that saving the project again keeps the item.
        LogError("Can not select folder '" + path + "'");
        RecordFolder(key, 2);
      }
    } else {
      LogError(" Path: " + path + " does not exist");
    }
    ui->StatusProgressStep();
  }
  for (int i = 0; i < project.Files.Count(); ++i) {
    const std::string path = project.Files.Get(i)->Name;
    if (fs::Exists(path)) {
      CheckFile(path);
    } else {
      LogError(" File: " + path + " does not exist");
    }
    ui->StatusProgressStep();
  }
  ui->SetStatusPanel(1, "");
}

void TSelectionTree::CheckFile(const std::string& path) {
  // The folder is selected before the file is recorded: expanding the folders on the way
  // records their entries, which must not overwrite the file's mark.
  TSelectionNode* node = SelectPath(ExtractFilePath(path));
  SetState(path, 2);
  if (node && node->State != 2) {
    node->State = 4;
    SetState(node->Key(), 4);
    PropagateCheckToParents(node, 4);
  }
  const int row = FindListItemByPath(path);
  if (row >= 0) rows_[static_cast<size_t>(row)].State = 2;
}

void TSelectionTree::AddFoundFiles(const std::vector<std::string>& paths) {
  const auto ui = UserInterface();
  ui->StatusProgressShow(static_cast<int>(paths.size()));
  ui->SetStatusPanel(1, "Add files...");
  for (const auto& path : paths) {
    CheckFile(path);
    ui->StatusProgressStep();
  }
  ui->StatusProgressHide();
}

bool TSelectionTree::IsSpecialFolderChecked(std::string_view path) const {
  return sets_.GetState(AddTrailingBackslash(path)) == 1;
}

void TSelectionTree::AddSpecialFolders(const std::vector<TSpecialFolderChoice>& rows,
                                       const std::function<void()>& pump) {
  const auto ui = UserInterface();
  ui->StatusProgressShow(static_cast<int>(rows.size()));
  ui->SetStatusPanel(1, "Adding special folders...");
  for (const auto& choice : rows) {
    // The dialog may give a folder without its trailing backslash; the key always has one,
    // or saving would take the folder for a file.
    const std::string key = AddTrailingBackslash(choice.Path);
    const int recorded = sets_.GetState(key);
    int state = 0;
    if (choice.Ticked && recorded != 1) {
      LogStatus("Adding special folders " + choice.Path);
      state = 2;
    } else if (!choice.Ticked && recorded != 0) {
      state = 1;
    }
    if (state != 0) {
      if (TSelectionNode* node = SelectPath(choice.Path)) {
        ToggleFolderCheck(node, state);
        FillFolderFileList(choice.Path, state);
      } else {
        RecordFolder(key, state);
        LogError("Can not select folder '" + choice.Path + "'");
      }
    }
    ui->StatusProgressStep();
    if (pump) pump();
  }
  ui->StatusProgressHide();
}

void TSelectionTree::UnselectFiles(const std::vector<std::string>& paths) {
  for (const auto& path : paths) {
    TSelectionNode* node = SelectPath(ExtractFilePath(path));
    const int row = FindListItemByPath(path);
    if (row >= 0) {
      ToggleFileCheck(1, row);
    } else {
      SetState(path, 1);
      // A file gone from its folder no longer counts there: the folder shows what is left.
      if (node && node->State == 4) {
        const int t = ComputeFolderCheckState(node);
        node->State = t;
        SetState(node->Key(), t);
        PropagateCheckToParents(node, t);
      }
    }
  }
}

std::vector<std::string> SplitPath(std::string_view path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t end = std::min(path.find('\\', start), path.size());
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

TSelectionNode* FindChildNode(const TSelectionNode* node, std::string_view name) {
  if (!node) return nullptr;
  for (const auto& child : node->Children)
    if (child->Text == name) return child.get();
  return nullptr;
}

namespace {

// The node after `node` in visible order: its first child when expanded, else the next
// sibling of it or of its nearest ancestor that has one.
TSelectionNode* NextVisible(TSelectionNode* node) {
  if (node->Expanded && !node->Children.empty()) return node->Children.front().get();
  for (TSelectionNode* n = node; n->Parent; n = n->Parent) {
    auto& siblings = n->Parent->Children;
    for (size_t i = 0; i + 1 < siblings.size(); ++i)
      if (siblings[i].get() == n) return siblings[i + 1].get();
  }
  return nullptr;
}

}  // namespace

TSelectionNode* FindNodeByText(TSelectionNode* node, std::string_view name) {
  if (!node) return nullptr;
  for (TSelectionNode* n = node; n; n = NextVisible(n))
    if (n->Text == name) return n;
  if (!node->Parent) return nullptr;
  const auto& siblings = node->Parent->Children;
  size_t index = 0;
  while (index < siblings.size() && siblings[index].get() != node) ++index;
  for (size_t i = index; i-- > 0;)
    if (siblings[i]->Text == name) return siblings[i].get();
  return nullptr;
}
