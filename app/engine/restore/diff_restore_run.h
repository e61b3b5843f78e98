// The differential restore run: each chosen file from the set chosen for it, one archive after
// the other, on the job's worker thread.
#pragma once

#include "app/engine/restore/diff_restore_tree.h"
#include "app/engine/restore/restore_run.h"

// Reads the page's CompareChoices and NotRestorable and the job's target and overwrite choice,
// which the main thread leaves alone meanwhile. A set that cannot be opened, a project file
// among the sets and every file they leave out are logged; the run then ends with a message
// that it was incomplete instead of "Restoring Complete." in status panel 1. "Remember my
// choice" holds for the rest of the run. Sets ProgressDone on every way out.
TRestoreOutcome DiffRestoreThreadProc(const TDiffRestorePage& page, const TRestoreJob& job);
