#include "app/engine/restore/backup_sets.h"

#include <exception>
#include <stdexcept>

#include "app/engine/archive/zip.h"
#include "app/engine/log.h"
#include "app/engine/path_routines.h"
#include "app/engine/progress.h"
#include "app/engine/project/project.h"
#include "app/engine/project/projects.h"
#include "app/engine/project/stream.h"
#include "app/engine/user_interface.h"
#include "platform/fs/fs.h"
#include "platform/shell/shell.h"

namespace fs = platform::fs;

namespace {

constexpr int kPanel = 1;

bool LaterThan(const fs::FileInfo& a, const fs::FileInfo& b) {
  return a.mtimeSec != b.mtimeSec ? a.mtimeSec > b.mtimeSec : a.mtimeNsec > b.mtimeNsec;
}

}  // namespace

std::unique_ptr<TProject> ReadProjectFromArchive(std::string_view path) {
  const std::string archive(path);
  if (!fs::Exists(archive)) {
    LogError("Invalid file name. Please check " + archive);
    return nullptr;
  }
  try {
    ProgressCancelled = false;
    THelper helper;
    helper.extractDefinition = true;
    TZip zip;
    zip.OpenForExtract(archive);
    zip.AttachHelper(&helper);
    zip.SetOverwriteMode(2);
    // The definition is read in memory: nothing of it reaches the disk.
    auto bytes = zip.ReadDefinition();
    if (!bytes) return nullptr;
    TMemoryStream stream(std::move(*bytes));
    auto project = std::make_unique<TProject>();
    if (!project->LoadFromStream(stream))
      throw std::runtime_error("the project definition is damaged");
    return project;
  } catch (const std::exception&) {
    LogError("Invalid backup sets. Please check " + archive);
    return nullptr;
  }
}

std::string RestoreArchiveInfoText(const TProject& project) {
  return "Name : " + project.Name + "\r" + "Created at : " +
         platform::shell::FormatShortDateLongTime(
             platform::shell::UnixFromDateTime(project.Created));
}

// ---------------------------------------------------------------------------------------------

int TBackupSets::IndexOf(std::string_view path) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i] == path) return static_cast<int>(i);
  return -1;
}

int TBackupSets::Add(std::string path) {
  items_.push_back(std::move(path));
  return static_cast<int>(items_.size()) - 1;
}

void TBackupSets::Select(int index) {
  if (index < 0 || index >= static_cast<int>(items_.size())) {
    itemIndex_ = -1;
    text_.clear();
    return;
  }
  itemIndex_ = index;
  text_ = items_[static_cast<size_t>(index)];
}

void TBackupSets::SetText(std::string text) {
  text_ = std::move(text);
  itemIndex_ = IndexOf(text_);
}

void TBackupSets::Delete(int index) {
  if (index < 0 || index >= static_cast<int>(items_.size())) return;
  items_.erase(items_.begin() + index);
  if (itemIndex_ == index) {
    itemIndex_ = -1;
    text_.clear();
  } else if (itemIndex_ > index) {
    --itemIndex_;
  }
}

void TBackupSets::Clear() {
  items_.clear();
  itemIndex_ = -1;
  text_.clear();
}

// ---------------------------------------------------------------------------------------------

void TRestorePage::Reset() {
  Tree.Clear();
  Tree.Selection.Clear();
}

void TRestorePage::LoadTree(const TProject& project, int maximum, int startAt) {
  auto ui = UserInterface();
  ui->SetStatusPanel(kPanel, "Loading history file list...");
  ui->StatusProgressShow(maximum);
  ui->StatusProgressSetPosition(startAt);
  Tree.Clear();
  for (const auto& entry : project.Snapshot.Files()) {
    Tree.BuildRestoreTree(*entry);
    ui->StatusProgressStep();
  }
  ui->SetStatusPanel(kPanel, "");
}

void TRestorePage::FindBackupSets(const TProjects& projects, std::string_view projectName) {
  const TProject* stored = projects.FindByName(projectName);
  if (projectName.empty() || !stored) return;

  const std::string folder = ExtractFilePath(stored->DestinationFile);
  const std::string base = PathWithoutExtension(stored->DestinationFile);
  BackupSets.Clear();
  LogStatus("Searching for backed up files from project " + base);
  int newest = -1;
  fs::FileInfo newestInfo;
  std::vector<fs::DirEntry> found;
  try {
    if (!folder.empty()) found = fs::ListDirectory(folder + base + "*.qvp");
  } catch (const fs::FsError&) {
    // The destination folder is missing or unreadable: no sets.
  }
  for (const auto& entry : found) {
    if (entry.info.type == fs::EntryType::Directory) continue;
    const int index = BackupSets.Add(folder + entry.name);
    LogStatus(folder + entry.name + " found");
    if (newest < 0 || LaterThan(entry.info, newestInfo)) {
      newest = index;
      newestInfo = entry.info;
    }
  }

  std::unique_ptr<TProject> archived;
  if (newest < 0) {
    BackupSets.Select(BackupSets.Add(std::string(kNoBackupSetsFound)));
  } else {
    const std::string path = BackupSets.Items()[static_cast<size_t>(newest)];
    archived = ReadProjectFromArchive(path);
    if (archived) {
      LogStatus("Latest backed up file found " + path);
      BackupSets.Select(newest);
    } else {
      BackupSets.Delete(newest);
      BackupSets.SetText(std::string(kNoBackupSetsFound));
    }
  }
  Tree.Selection.Clear();
  const TProject& shown = archived ? *archived : *stored;
  const int n = shown.Snapshot.Count();
  LoadTree(shown, 2 * n, n);
  RestoreArchiveInfo = RestoreArchiveInfoText(shown);
}

bool TRestorePage::BackupSetsChange() {
  Tree.Selection.Clear();
  const std::string path = BackupSets.Text();
  LogStatus("Reading project information from " + path);
  const auto project = ReadProjectFromArchive(path);
  auto ui = UserInterface();
  if (!project) {
    ui->MessageBox("Can not open archive file", kApplicationTitle, TMessageButtons::Ok,
                   TMessageKind::Error);
    BackupSets.Delete(BackupSets.ItemIndex());
    return false;
  }
  BackupSets.Delete(BackupSets.IndexOf(kNoBackupSetsFound));
  LoadTree(*project, project->Snapshot.Count(), 0);
  RestoreArchiveInfo = RestoreArchiveInfoText(*project);
  ui->StatusProgressHide();
  return true;
}

bool TRestorePage::ImportBackupSet(std::string_view path) {
  int index = BackupSets.IndexOf(path);
  if (index < 0) index = BackupSets.Add(std::string(path));
  BackupSets.Select(index);
  return BackupSetsChange();
}
