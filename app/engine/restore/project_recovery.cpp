#include "app/engine/restore/project_recovery.h"

#include <optional>

#include "app/engine/log.h"
#include "app/engine/project/project.h"
#include "app/engine/project/projects.h"
#include "app/engine/restore/backup_sets.h"
#include "app/engine/user_interface.h"
#include "platform/fs/fs.h"
#include "platform/shell/shell.h"

bool IsValidProjectFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name)
    if (c == '\\' || c == '/' || c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

TProject* ExtractBPJfromQVPExecute(std::string_view archivePath, TProjects& projects) {
  auto ui = UserInterface();
  auto project = ReadProjectFromArchive(archivePath);
  if (!project) {
    ui->MessageBox("Open file failed. Please verify that the QVP file is valid", kApplicationTitle,
                   TMessageButtons::Ok, TMessageKind::Error);
    return nullptr;
  }
  const std::string folder = platform::shell::ProgramFolder() + "QVP_JOBS\\";
  // Why the name cannot be taken as it is (none when it can); the log text, empty for a name
  // the list holds, which the dialog's own text explains.
  auto clash = [&](const std::string& name) -> std::optional<std::string> {
    if (!IsValidProjectFileName(name))
      return "The recovered project's name \"" + name + "\" cannot be a file name.";
    if (projects.FindByName(name)) return std::string();
    if (platform::fs::Exists(folder + name + ".bpj"))
      return "The project file " + folder + name + ".bpj exists already.";
    return std::nullopt;
  };
  while (const auto reason = clash(project->Name)) {
    if (!reason->empty()) LogError(*reason);
    auto newName = ui->ChangeProjectName(project->Name);
    if (!newName) return nullptr;
    project->Name = std::move(*newName);
  }
  platform::fs::CreateDirectories(folder);
  project->ProjectFile = folder + project->Name + ".bpj";
  if (!project->SaveToFile(project->ProjectFile)) {
    const std::string text = "The recovered project cannot be saved to " + project->ProjectFile;
    LogError(text);
    ui->MessageBox(text, kApplicationTitle, TMessageButtons::Ok, TMessageKind::Error);
    return nullptr;
  }
  TProject* added = project.get();
  projects.Add(std::move(project));
  return added;
}

std::array<std::string, 4> RecoveredProjectRow(const TProject& project) {
  const std::string lastRun = project.LastRun == 0
                                  ? std::string("Not yet")
                                  : platform::shell::FormatShortDateLongTime(
                                        platform::shell::UnixFromDateTime(project.LastRun));
  return {project.Name, project.DescribeDestination(), lastRun, "0"};
}
