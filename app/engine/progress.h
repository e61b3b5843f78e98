// The shared progress state between a job's worker thread and the windows that poll it.
// Flags and the position are atomics; the two texts are swapped under a lock.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

class TSharedText {
 public:
  void Set(std::string_view value);
  std::string Get() const;
  TSharedText& operator=(std::string_view value) {
    Set(value);
    return *this;
  }

 private:
  mutable std::mutex mutex_;
  std::string value_;
};

extern std::atomic<int> ProgressPosition;  // 0..100
extern TSharedText ProgressCaption;
extern TSharedText ProgressStatus;
extern std::atomic<bool> ProgressDone;        // set by a job at every exit
extern std::atomic<bool> ProgressCancelled;   // the one user-break flag
extern std::atomic<bool> ProgressShowCancel;  // Cancel button visible

// Step 1 of the job protocol: done false, show-cancel true, cancelled false.
void ResetProgressForJob();
