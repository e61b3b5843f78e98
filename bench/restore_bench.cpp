// Restores a whole archive below a folder as the Restore page does (the archive's tree with its
// top node checked, "Other folder", "Always overwrite"), for restore_vs_unzip.sh to time.
// Usage: restore_bench ARCHIVE TARGET-FOLDER (POSIX paths; the folder must exist)
#include <cstdio>

#include "app/engine/restore/backup_sets.h"
#include "app/engine/restore/restore_run.h"
#include "app/engine/restore/restore_selection.h"
#include "platform/fs/fs.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s ARCHIVE TARGET-FOLDER\n", argv[0]);
    return 2;
  }
  TRestorePage page;
  if (!page.ImportBackupSet(platform::fs::FromPosix(argv[1]))) return 1;
  page.Tree.NodeClick(page.Tree.FirstNode());
  TRestoreJob job;
  const TRestoreTargetChoice target{true, platform::fs::FromPosix(argv[2]), 1};
  if (!PrepareRestoreJob(page.BackupSets.Text(), target, page.Tree, job)) return 1;
  return RestoreThreadProc(job) == TRestoreOutcome::Complete ? 0 : 1;
}
