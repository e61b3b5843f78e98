// Choosing the set each file of the Differential-Restore page is restored from, the lists of
// files per set that a run takes, and the run's progress spans.
#pragma once

#include <string>
#include <vector>

#include "app/engine/restore/diff_restore_tree.h"
#include "app/engine/restore/restore_run.h"
#include "app/engine/restore/restore_selection.h"

// CLVCustomDrawSubItem for column `version` of a row: 1 when the row's file is in that set and
// chosen from it, 0 when it is in that set only, -1 for the default drawing (column 0, folder
// rows, files the set does not hold).
int CompareCellImage(const TDiffRestorePage& page, int row, int version);

// ChooseFileVersion: the row's file is to be restored from that set, when it is an archive that
// holds the file; otherwise nothing changes.
void ChooseFileVersion(TDiffRestorePage& page, int row, int version);
// CLVColumnClick: ChooseFileVersion for every row of the list.
void ChooseColumnVersion(TDiffRestorePage& page, int version);
// VersionMenuItemClick: every file of the whole tree that the set holds is restored from it.
void ChooseTreeVersion(TDiffRestorePage& page, int version);

// CPTVContextPopup: the entries after "Choose version for this folder/subfolder" and the
// separator, one per set (caption its path, tag 9999); a project file's entry is disabled. No
// entries: the menu is not shown.
struct TVersionMenuEntry {
  std::string Caption;
  int Version = 0;  // the entry's position in the menu - 1
  bool Enabled = true;
};
inline constexpr int kVersionMenuTag = 9999;
std::vector<TVersionMenuEntry> CompareVersionMenu(const TDiffRestorePage& page);

// RunRestoreExecute on page 3 up to the start of the worker: the target checked ("Please
// choose a valid directory."), the job's target and overwrite choice set, CompareChoices rebuilt
// from the checked files and their sets. False when nothing is checked: panel 1 "No file
// selected!".
bool BuildCompareChoices(TDiffRestorePage& page, const TRestoreTargetChoice& target,
                         TRestoreJob& job);

// The share of the run's progress of each set: span = its files x 100 / all files (rounded,
// halves to even), base = the spans before it.
struct TVersionSpan {
  int Span = 0;
  int Base = 0;
};
std::vector<TVersionSpan> DiffRestoreSpans(const std::vector<int>& fileCounts);
