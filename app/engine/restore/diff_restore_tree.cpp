#include "app/engine/restore/diff_restore_tree.h"

#include <exception>
#include <memory>

#include "app/engine/path_routines.h"
#include "app/engine/project/project.h"
#include "app/engine/project/stream.h"
#include "app/engine/restore/backup_sets.h"
#include "app/engine/user_interface.h"
#include "platform/fs/fs.h"
#include "platform/text/text.h"

namespace {

constexpr int kPanel = 1;
const std::string kNoName;

std::unique_ptr<TProject> ReadProjectFile(const std::string& path) {
  try {
    platform::fs::File file(path, platform::fs::OpenMode::Read, platform::fs::Share::Exclusive);
    TFileStream stream(file);
    auto project = std::make_unique<TProject>();
    if (project->LoadFromStream(stream)) return project;
  } catch (const std::exception&) {
  }
  UserInterface()->MessageBox(path + " is not a valid quorva backup project file.",
                              kApplicationTitle, TMessageButtons::Ok, TMessageKind::Error);
  return nullptr;
}

}  // namespace

const std::string& TDiffRestorePage::SetName(int version) const {
  if (version < 1 || version > SetCount()) return kNoName;
  return CompareSets.Names[static_cast<size_t>(version - 1)];
}

bool TDiffRestorePage::IsArchiveSet(int version) const {
  return version >= 1 && version <= static_cast<int>(archiveSets_.size()) &&
         archiveSets_[static_cast<size_t>(version - 1)];
}

void TDiffRestorePage::AddCompareSource(const std::vector<std::string>& fileNames) {
  auto ui = UserInterface();
  for (const std::string& name : fileNames) {
    const std::string ext = platform::text::UpperCase(ExtractFileExt(name));
    std::unique_ptr<TProject> project;
    if (ext == ".BPJ")
      project = ReadProjectFile(name);
    else if (ext == ".QVP")
      project = ReadProjectFromArchive(name);
    if (!project) continue;

    CompareSets.AddVersion(&project->Snapshot, name);
    archiveSets_.push_back(ext == ".QVP");
    const int version = SetCount();
    ui->SetStatusPanel(kPanel, "Loading file list of " + name + " ...");
    ui->StatusProgressShow(project->Snapshot.Count());
    ui->StatusProgressSetPosition(0);
    for (const auto& entry : project->Snapshot.Files()) {
      BuildCompareTree(*entry, version);
      ui->StatusProgressStep();
    }
    ui->SetStatusPanel(kPanel, "");
    ui->StatusProgressHide();
  }
}

void TDiffRestorePage::ResetCompare() {
  CompareSets.Clear();
  Tree.Selection.Clear();
  Tree.Clear();
  archiveSets_.clear();
  NotRestorable.clear();
}

void TDiffRestorePage::BuildCompareTree(const TRuntimeFile& entry, int version) {
  TRestoreNode* node = Tree.AddFolderOf(entry.Path);
  if (!node) return;
  const bool archive = IsArchiveSet(version);
  if (TRuntimeFile* known = node->Data->FindFile(entry.Path)) {
    // A file only project files held so far is restored from the first archive that holds it.
    if (known->Run == 0 && archive) known->Run = version;
    return;
  }
  auto file = entry.Clone();
  file->Run = archive ? version : 0;
  node->Data->Files.Add(std::move(file));
}
