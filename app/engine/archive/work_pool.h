// A bounded pool of worker threads (one per core by default) that runs jobs handed to it in
// order; the thread that hands them in waits for each one's end, so results are taken in order.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TWorkJob {
 public:
  virtual ~TWorkJob() = default;
  // Runs on a worker; must not throw (a job keeps its own failure).
  virtual void Run() noexcept = 0;

 private:
  friend class TWorkPool;
  bool done_ = false;  // under the pool's lock
};

class TWorkPool {
 public:
  // 0: one worker per core.
  explicit TWorkPool(unsigned workers = 0);
  // Jobs not yet started are dropped; running ones are waited for.
  ~TWorkPool();
  TWorkPool(const TWorkPool&) = delete;
  TWorkPool& operator=(const TWorkPool&) = delete;

  unsigned Workers() const { return static_cast<unsigned>(threads_.size()); }
  void Submit(std::shared_ptr<TWorkJob> job);
  // True once the job has run; false when the time passed first.
  bool WaitFor(const TWorkJob& job, std::chrono::milliseconds timeout);

 private:
  void Work();

  std::mutex mutex_;
  std::condition_variable wake_;  // a job is queued, or the pool stops
  std::condition_variable done_;  // a job has run
  std::deque<std::shared_ptr<TWorkJob>> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

// Workers for a run: one per core, at most 64.
unsigned DefaultWorkerCount();
