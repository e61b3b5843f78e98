#include "app/engine/restore/restore_run.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <map>
#include <vector>

#include "app/engine/archive/zip_error.h"
#include "app/engine/archive/zip_names.h"
#include "app/engine/log.h"
#include "app/engine/progress.h"
#include "app/engine/project/runtime_project.h"
#include "app/engine/restore/restore_archive.h"
#include "app/engine/restore/restore_report.h"

std::uint8_t RestoreOverwriteMode(std::int32_t overwriteIndex) {
  switch (overwriteIndex) {
    case 1:
      return 2;
    case 2:
      return 4;
    default:
      return 1;  // confirm: the safe answer for an index out of the list
  }
}

int RestorePercent(double done, double total) {
  if (total <= 0) return 100;
  return static_cast<int>(std::nearbyint(done * 100 / total));
}

namespace {

// The stored names each folder item stands for: the archive's entries directly in the folder,
// and the files the archive's own snapshot lists there, so that a file shown in the tree is
// either restored or reported.
std::vector<std::vector<std::string>> FolderItemNames(const TRestoreJob& job,
                                                      TRestoreArchive& archive) {
  const int count = job.RestoreFolderItems.Count();
  if (count == 0) return {};
  std::vector<std::optional<std::string>> folders;
  std::map<std::string, std::vector<std::string>> byFolder;
  for (int i = 0; i < count; ++i) {
    const std::string& path = job.RestoreFolderItems.Get(i)->Name;
    folders.push_back(StoredFolderName(path));
    if (folders.back())
      byFolder.try_emplace(*folders.back());
    else
      archive.NotRestored("Folder \"" + path + "\" is not restored: it is not an absolute path.");
  }
  for (const TZipEntry& entry : archive.Entries()) {
    if (entry.definition) continue;
    const auto it = byFolder.find(StoredFolderOf(entry.storedName));
    if (it != byFolder.end()) it->second.push_back(entry.storedName);
  }
  if (const auto snapshot = archive.ReadSnapshot()) {
    for (const auto& file : snapshot->Files()) {
      const auto stored = StoredNameForFile(file->Path);
      if (!stored) continue;
      const auto it = byFolder.find(StoredFolderOf(*stored));
      if (it != byFolder.end()) it->second.push_back(*stored);
    }
  }
  std::vector<std::vector<std::string>> items;
  for (const auto& folder : folders)
    items.push_back(folder ? byFolder[*folder] : std::vector<std::string>{});
  return items;
}

}  // namespace

TRestoreOutcome RestoreThreadProc(const TRestoreJob& job) {
  TProgressDoneGuard done;
  ProgressPosition = 0;
  ProgressCaption = "Restoring Files...";
  LogStatus("Restoring Files from " + job.RestoreArchivePath + " ...");
  const int folderCount = job.RestoreFolderItems.Count();
  const int total = folderCount + job.RestoreFileItems.Count();

  int notRestored = 0;
  try {
    TRestoreArchive archive(job.RestoreArchivePath, job.RestoreTargetFolder,
                            job.RestoreToOtherFolder != 0,
                            RestoreOverwriteMode(job.RestoreOverwriteIndex));
    THelper& helper = archive.Helper();
    helper.progressTotal = std::max<std::int32_t>(1, static_cast<int>(archive.Entries().size()));
    helper.progressCounter = 0;
    helper.progressSpan = 100;
    helper.progressBase = 0;

    std::vector<std::vector<std::string>> items = FolderItemNames(job, archive);
    for (int i = 0; i < job.RestoreFileItems.Count(); ++i) {
      const std::string& path = job.RestoreFileItems.Get(i)->Name;
      const auto stored = StoredNameForFile(path);
      if (!stored)
        archive.NotRestored("File \"" + path + "\" is not restored: it is not an absolute path.");
      items.push_back(stored ? std::vector<std::string>{*stored} : std::vector<std::string>{});
    }
    const bool finished = archive.ExtractItems(items, [&](size_t last) {
      ProgressPosition = RestorePercent(static_cast<double>(last + 1), total);
    });
    if (!finished) return TRestoreOutcome::Cancelled;
    notRestored = archive.FailedCount();
  } catch (const EZipCancelled&) {
    return TRestoreOutcome::Cancelled;
  } catch (const std::exception& e) {
    ReportRestoreFailure("The archive " + job.RestoreArchivePath +
                         " cannot be restored: " + e.what());
    return TRestoreOutcome::Failed;
  }

  ProgressPosition = 100;
  if (notRestored > 0) {
    ReportRestoreIncomplete(notRestored);
    return TRestoreOutcome::Incomplete;
  }
  ReportRestoreEnd("Restore complete.");
  return TRestoreOutcome::Complete;
}
