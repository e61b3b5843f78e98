// A job's worker thread: created suspended with a 2 MB stack, given a priority, then resumed;
// always joined.
#pragma once

#include <pthread.h>
#include <sys/types.h>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>

namespace platform::shell {

inline constexpr std::size_t kJobThreadStackSize = 2'097'152;

// The nice value of a priority index of the settings: 0 lowest .. 4 highest
// (19, 10, 0, -5, -10). Indexes outside 0..4 are taken as the nearest end.
int NiceValueForPriority(int priorityIndex);

class JobThread {
 public:
  // Starts the thread, which waits before running `body` until Resume. Throws
  // std::system_error when the thread cannot be created.
  explicit JobThread(std::function<void()> body);
  // Joins; a thread that was never resumed ends without running its body.
  ~JobThread();
  JobThread(const JobThread&) = delete;
  JobThread& operator=(const JobThread&) = delete;

  // Sets the thread's nice value from the priority index. Raising it needs a privilege the
  // user may not have: then false, with the reason in `error`, and the thread keeps its value.
  bool SetPriority(int priorityIndex, std::string* error = nullptr);
  void Resume();
  // Waits for the body to end (a suspended thread is released without running it).
  void Join();
  pid_t Tid() const { return tid_; }

 private:
  static void* Entry(void* self);
  void Main();

  std::function<void()> body_;
  pthread_t thread_{};
  bool joinable_ = false;
  pid_t tid_ = 0;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool started_ = false;  // the thread published its tid
  bool resumed_ = false;
  bool abandoned_ = false;
};

}  // namespace platform::shell
