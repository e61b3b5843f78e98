#include "app/engine/restore/diff_restore_choices.h"

#include <numeric>

#include "app/engine/user_interface.h"

namespace {

constexpr int kPanel = 1;

// The selected folder's entry of the row's file.
TRuntimeFile* RowFile(const TDiffRestorePage& page, int row) {
  const auto& rows = page.Tree.Rows();
  if (row < 0 || row >= static_cast<int>(rows.size())) return nullptr;
  const TRestoreRow& r = rows[static_cast<size_t>(row)];
  const TRestoreNode* folder = page.Tree.Selected();
  if (r.IsFolder() || !folder || !folder->Data) return nullptr;
  return folder->Data->FindFile(r.Path);
}

}  // namespace

int CompareCellImage(const TDiffRestorePage& page, int row, int version) {
  const TRuntimeFile* file = RowFile(page, row);
  if (!file || !page.CompareSets.FindInVersion(file->Path, version)) return -1;
  return file->Run == version ? 1 : 0;
}

void ChooseFileVersion(TDiffRestorePage& page, int row, int version) {
  if (!page.IsArchiveSet(version)) return;
  TRuntimeFile* file = RowFile(page, row);
  if (file && page.CompareSets.FindInVersion(file->Path, version)) file->Run = version;
}

void ChooseColumnVersion(TDiffRestorePage& page, int version) {
  for (int row = 0; row < static_cast<int>(page.Tree.Rows().size()); ++row)
    ChooseFileVersion(page, row, version);
}

void ChooseTreeVersion(TDiffRestorePage& page, int version) {
  if (!page.IsArchiveSet(version)) return;
  page.Tree.ForEachNode([&](TRestoreNode& node) {
    if (!node.Data) return;
    for (const auto& file : node.Data->Files.Files())
      if (page.CompareSets.FindInVersion(file->Path, version)) file->Run = version;
  });
}

std::vector<TVersionMenuEntry> CompareVersionMenu(const TDiffRestorePage& page) {
  std::vector<TVersionMenuEntry> entries;
  for (int n = 1; n <= page.SetCount(); ++n)
    entries.push_back({page.SetName(n), n, page.IsArchiveSet(n)});
  return entries;
}

bool BuildCompareChoices(TDiffRestorePage& page, const TRestoreTargetChoice& target,
                         TRestoreJob& job) {
  if (!CheckRestoreTarget(target)) return false;
  job.RestoreTargetFolder = target.Folder;
  job.RestoreToOtherFolder = target.OtherFolder ? 1 : 0;
  job.RestoreOverwriteIndex = target.OverwriteIndex;

  page.CompareChoices.Clear();
  const TRunTimeProject empty;
  for (const std::string& name : page.CompareSets.Names)
    page.CompareChoices.AddVersion(&empty, name);

  auto ui = UserInterface();
  ui->StatusProgressShow(page.Tree.NodeCount());
  ui->StatusProgressSetPosition(0);
  ui->SetStatusPanel(kPanel, "Building file lists... ");
  page.NotRestorable.clear();
  int added = 0;
  page.Tree.ForEachNode([&](TRestoreNode& node) {
    if (node.Data) {
      for (const auto& file : node.Data->Files.Files()) {
        if (page.Tree.Selection.GetState(file->Path) != 1) continue;
        if (page.IsArchiveSet(file->Run)) {
          page.CompareChoices.AddFileToVersion(file->Run, file->Path);
          ++added;
        } else {
          page.NotRestorable.push_back(file->Path);
        }
      }
    }
    ui->StatusProgressStep();
  });
  if (added == 0 && page.NotRestorable.empty()) {
    ui->SetStatusPanel(kPanel, "No file selected!");
    ui->StatusProgressHide();
    return false;
  }
  return true;
}

std::vector<TVersionSpan> DiffRestoreSpans(const std::vector<int>& fileCounts) {
  const int total = std::accumulate(fileCounts.begin(), fileCounts.end(), 0);
  std::vector<TVersionSpan> spans;
  int base = 0;
  for (const int count : fileCounts) {
    const int span = RestorePercent(count, total > 0 ? total : 1);
    spans.push_back({span, base});
    base += span;
  }
  return spans;
}
