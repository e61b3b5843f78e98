#include "platform/aspi/async_worker.h"

namespace platform::aspi {

AsyncWorker::~AsyncWorker() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  cv_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void AsyncWorker::Post(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  }
  cv_.notify_one();
}

bool AsyncWorker::Idle() {
  std::lock_guard lock(mutex_);
  return jobs_.empty() && !running_;
}

void AsyncWorker::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    cv_.wait(lock, [&] { return stop_ || !jobs_.empty(); });
    // Pending jobs still run at shutdown so no caller waits forever on its event.
    if (jobs_.empty()) return;
    auto job = std::move(jobs_.front());
    jobs_.pop_front();
    running_ = true;
    lock.unlock();
    job();
    lock.lock();
    running_ = false;
  }
}

}  // namespace platform::aspi
