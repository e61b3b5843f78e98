// One thread that runs posted jobs in order; started at the first job, joined when destroyed.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace platform::aspi {

class AsyncWorker {
 public:
  AsyncWorker() = default;
  ~AsyncWorker();
  AsyncWorker(const AsyncWorker&) = delete;
  AsyncWorker& operator=(const AsyncWorker&) = delete;

  void Post(std::function<void()> job);
  // No job waiting or running: a command run on the caller's thread now cannot pass one
  // posted before it.
  bool Idle();

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> jobs_;
  bool stop_ = false;
  bool running_ = false;
  std::thread thread_;
};

}  // namespace platform::aspi
