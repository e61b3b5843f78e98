// How the restore runs end: the progress texts, status panel 1, a message for what went wrong,
// and ProgressDone on every way out.
#pragma once

#include <string>
#include <string_view>

#include "app/engine/progress.h"

// Sets ProgressDone when the run's scope ends, however it ends, so the progress window closes.
class TProgressDoneGuard {
 public:
  TProgressDoneGuard() = default;
  ~TProgressDoneGuard() { ProgressDone = true; }
  TProgressDoneGuard(const TProgressDoneGuard&) = delete;
  TProgressDoneGuard& operator=(const TProgressDoneGuard&) = delete;
};

inline constexpr int kRestoreStatusPanel = 1;

// The text of a run that left files out.
std::string RestoreIncompleteText(int notRestored);
// Progress status and caption and status panel 1.
void ReportRestoreEnd(std::string_view text);
// The incomplete text logged as an error, shown as the run's end and in a message box.
void ReportRestoreIncomplete(int notRestored);
// The run could not start on its archive: logged as an error, shown in a message box.
void ReportRestoreFailure(std::string_view text);
