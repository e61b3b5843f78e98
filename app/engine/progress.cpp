#include "app/engine/progress.h"

std::atomic<int> ProgressPosition{0};
TSharedText ProgressCaption;
TSharedText ProgressStatus;
std::atomic<bool> ProgressDone{false};
std::atomic<bool> ProgressCancelled{false};
std::atomic<bool> ProgressShowCancel{false};

void TSharedText::Set(std::string_view value) {
  std::string copy(value);
  std::lock_guard lock(mutex_);
  value_.swap(copy);
}

std::string TSharedText::Get() const {
  std::lock_guard lock(mutex_);
  return value_;
}

void ResetProgressForJob() {
  ProgressDone = false;
  ProgressShowCancel = true;
  ProgressCancelled = false;
}
