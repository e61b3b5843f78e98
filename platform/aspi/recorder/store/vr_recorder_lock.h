// The lock between the processes that share a recorder's folder, taken for one command: a
// process-shared robust mutex in a small file of the folder, which costs no system call while
// nobody else holds it. A holder that died leaves the lock to the next, which is told so (what
// the dead one wrote may be half done). Where that file cannot be made or mapped, flock on the
// recorder's state file serves instead.
#pragma once

#include <pthread.h>

#include <string>
#include <string_view>

namespace platform::aspi::vr {

class RecorderLock {
 public:
  // `path` names the mutex's file; `fallbackFd` is flocked without it (and outlives this). A
  // mutex made under another `boot` than this machine's is made afresh.
  RecorderLock(const std::string& path, int fallbackFd, std::string_view boot = CurrentBoot());
  ~RecorderLock();
  RecorderLock(const RecorderLock&) = delete;
  RecorderLock& operator=(const RecorderLock&) = delete;

  // True when the last holder died holding it.
  bool Lock();
  void Unlock() noexcept;
  bool Shared() const { return shared_ != nullptr; }  // false: the flock serves

  static std::string CurrentBoot();

 private:
  struct Mapped;
  Mapped* shared_ = nullptr;
  int fallbackFd_;
};

}  // namespace platform::aspi::vr
