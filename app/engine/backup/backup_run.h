// One backup run of one project: the program before, the file list, the changed files, the
// archive, its delivery, the snapshot, the mail, the program after and the deletion of the
// stored files.
#pragma once

class TProject;
class TGlobalSetting;

enum class TBackupOutcome {
  Complete,   // archive written and delivered, every entry stored
  Failed,     // something failed: the archive, its delivery, an entry or the project save
  Cancelled,  // the user broke the run off
};

// Works on the listed project (its run counter and snapshot, saved to its ProjectFile after a
// delivered run; a project without a ProjectFile is left for its owner to save) and on a copy
// of it. Sets ProgressDone on every way out.
TBackupOutcome BackupThreadProc(TProject& listed, const TGlobalSetting& settings);
