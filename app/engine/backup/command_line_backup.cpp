#include "app/engine/backup/command_line_backup.h"

#include <csignal>
#include <string>

#include "app/engine/backup/backup_run.h"
#include "app/engine/log.h"
#include "app/engine/progress.h"
#include "app/engine/project/project.h"
#include "app/engine/project/project_lock.h"
#include "app/engine/project/stream.h"
#include "app/engine/settings/global_setting.h"
#include "platform/fs/fs.h"

namespace {

static_assert(std::atomic<bool>::is_always_lock_free, "the cancel flag is set from a signal");

extern "C" void OnStopSignal(int) {
  ProgressCancelled = true;
}

void InstallStopSignals() {
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

bool IsInternalPath(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

}  // namespace

int RunCommandLineBackup(std::string_view projectArgument) {
  const std::string projectFile = IsInternalPath(projectArgument)
                                      ? std::string(projectArgument)
                                      : platform::fs::FromPosix(projectArgument);
  TGlobalSetting settings;
  settings.SaveOnDestroy = false;
  // A run on defaults would take the wrong temporary folder, priority and retries, and then
  // report its success.
  if (!settings.ReadFailure.empty()) {
    LogError("The backup of " + projectFile +
             " did not run: the global settings could not be read.");
    return 1;
  }
  SetDefaultTempFolder(settings.TempFolder);

  try {
    TProjectLock lock(projectFile);
    TProject project;
    {
      platform::fs::File file(projectFile, platform::fs::OpenMode::Read,
                              platform::fs::Share::ReadOnly);
      TFileStream stream(file);
      if (!project.LoadFromStream(stream)) {
        LogError("The project file " + projectFile + " is damaged; nothing was backed up.");
        return 1;
      }
    }
    project.ProjectFile = projectFile;

    InstallStopSignals();
    ResetProgressForJob();
    LogStatus("Backing up project " + project.Name);
    const TBackupOutcome outcome = BackupThreadProc(project, settings);
    if (ProgressCancelled) LogError("User break!");
    switch (outcome) {
      case TBackupOutcome::Complete:
        return 0;
      case TBackupOutcome::Failed:
        return 1;
      case TBackupOutcome::Cancelled:
        return 2;
    }
    return 1;
  } catch (const EProjectLocked& e) {
    LogError(e.what());
    return 3;
  } catch (const std::exception& e) {
    LogError(std::string("Cannot back up ") + projectFile + ": " + e.what());
    return 1;
  }
}
