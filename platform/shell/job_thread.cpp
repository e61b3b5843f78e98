#include "platform/shell/job_thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace platform::shell {

int NiceValueForPriority(int priorityIndex) {
  static constexpr int kNice[] = {19, 10, 0, -5, -10};
  if (priorityIndex < 0) priorityIndex = 0;
  if (priorityIndex > 4) priorityIndex = 4;
  return kNice[priorityIndex];
}

JobThread::JobThread(std::function<void()> body) : body_(std::move(body)) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  int rc = pthread_attr_setstacksize(&attr, kJobThreadStackSize);
  if (rc == 0) rc = pthread_create(&thread_, &attr, &JobThread::Entry, this);
  pthread_attr_destroy(&attr);
  if (rc != 0) throw std::system_error(rc, std::generic_category(), "cannot create a job thread");
  joinable_ = true;
  // The tid is needed for the priority, which is set before the body runs.
  std::unique_lock lock(mutex_);
  wake_.wait(lock, [this] { return started_; });
}

JobThread::~JobThread() {
  Join();
}

void* JobThread::Entry(void* self) {
  static_cast<JobThread*>(self)->Main();
  return nullptr;
}

void JobThread::Main() {
  {
    std::unique_lock lock(mutex_);
    tid_ = static_cast<pid_t>(syscall(SYS_gettid));
    started_ = true;
    wake_.notify_all();
    wake_.wait(lock, [this] { return resumed_ || abandoned_; });
    if (!resumed_) return;
  }
  body_();
}

bool JobThread::SetPriority(int priorityIndex, std::string* error) {
  const int nice = NiceValueForPriority(priorityIndex);
  if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid_), nice) == 0) return true;
  if (error)
    *error = "The job priority " + std::to_string(nice) +
             " (nice value) was refused: " + std::strerror(errno);
  return false;
}

void JobThread::Resume() {
  std::lock_guard lock(mutex_);
  resumed_ = true;
  wake_.notify_all();
}

void JobThread::Join() {
  if (!joinable_) return;
  {
    std::lock_guard lock(mutex_);
    if (!resumed_) abandoned_ = true;
    wake_.notify_all();
  }
  pthread_join(thread_, nullptr);
  joinable_ = false;
}

}  // namespace platform::shell
