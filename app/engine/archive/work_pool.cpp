#include "app/engine/archive/work_pool.h"

#include <algorithm>

unsigned DefaultWorkerCount() {
  return std::clamp(std::thread::hardware_concurrency(), 1u, 64u);
}

TWorkPool::TWorkPool(unsigned workers) {
  const unsigned n = workers == 0 ? DefaultWorkerCount() : workers;
  threads_.reserve(n);
  try {
    for (unsigned i = 0; i < n; ++i) threads_.emplace_back([this] { Work(); });
  } catch (...) {
    if (threads_.empty()) throw;  // fewer workers than asked still do the work
  }
}

TWorkPool::~TWorkPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  wake_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void TWorkPool::Submit(std::shared_ptr<TWorkJob> job) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(job));
  }
  wake_.notify_one();
}

bool TWorkPool::WaitFor(const TWorkJob& job, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return done_.wait_for(lock, timeout, [&] { return job.done_; });
}

void TWorkPool::Work() {
  for (;;) {
    std::shared_ptr<TWorkJob> job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    job->Run();
    {
      std::lock_guard lock(mutex_);
      job->done_ = true;
    }
    done_.notify_all();
  }
}
