#include "platform/aspi/recorder/store/vr_recorder_lock.h"

#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>

#include "platform/aspi/recorder/store/vr_state_file.h"

namespace platform::aspi::vr {

namespace fs = platform::fs;

namespace {

constexpr std::uint64_t kReady = 0x51564C4F434B3031ull;  // set once the mutex is made
constexpr std::size_t kFileSize = 4096;

void Flock(int fd, int operation) {
  while (flock(fd, operation) != 0)
    if (errno != EINTR) throw fs::FsError("lock of recorder failed", errno);
}

}  // namespace

// A mutex written back to disk while held would stay held for good after a crash of the machine:
// one made under another boot is made afresh.
std::string RecorderLock::CurrentBoot() {
  std::string id(36, '\0');
  std::ifstream in("/proc/sys/kernel/random/boot_id");
  in.read(id.data(), static_cast<std::streamsize>(id.size()));
  id.resize(static_cast<std::size_t>(in.gcount()));
  return id;
}

struct RecorderLock::Mapped {
  pthread_mutex_t mutex;
  std::uint64_t ready;
  std::array<char, 40> boot;
};

RecorderLock::RecorderLock(const std::string& path, int fallbackFd, std::string_view boot)
    : fallbackFd_(fallbackFd) {
  static_assert(sizeof(Mapped) <= kFileSize);
  fs::File file;
  try {
    file = OpenOrCreateFile(path);
  } catch (const fs::FsError&) {
    return;
  }
  // Made once, by whichever process comes first; the others wait on the file's flock meanwhile.
  Flock(file.Descriptor(), LOCK_EX);
  struct Unflock {
    int fd;
    ~Unflock() { flock(fd, LOCK_UN); }
  } unflock{file.Descriptor()};
  if (file.Size() < kFileSize && ftruncate(file.Descriptor(), kFileSize) != 0) return;
  void* p = mmap(nullptr, kFileSize, PROT_READ | PROT_WRITE, MAP_SHARED, file.Descriptor(), 0);
  if (p == MAP_FAILED) return;
  auto* shared = static_cast<Mapped*>(p);
  std::atomic_ref<std::uint64_t> ready(shared->ready);
  std::array<char, 40> bootId{};
  boot.copy(bootId.data(), bootId.size() - 1);
  if (ready.load(std::memory_order_acquire) != kReady || shared->boot != bootId) {
    pthread_mutexattr_t attr;
    bool made = pthread_mutexattr_init(&attr) == 0;
    made = made && pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED) == 0 &&
           pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST) == 0 &&
           pthread_mutex_init(&shared->mutex, &attr) == 0;
    pthread_mutexattr_destroy(&attr);
    if (!made) {
      munmap(p, kFileSize);
      return;
    }
    shared->boot = bootId;
    ready.store(kReady, std::memory_order_release);
  }
  shared_ = shared;
}

RecorderLock::~RecorderLock() {
  if (shared_) munmap(shared_, kFileSize);
}

bool RecorderLock::Lock() {
  if (!shared_) {
    Flock(fallbackFd_, LOCK_EX);
    return false;
  }
  const int r = pthread_mutex_lock(&shared_->mutex);
  if (r == EOWNERDEAD) {
    pthread_mutex_consistent(&shared_->mutex);
    return true;
  }
  if (r != 0) throw fs::FsError("lock of recorder failed", r);
  return false;
}

void RecorderLock::Unlock() noexcept {
  if (shared_)
    pthread_mutex_unlock(&shared_->mutex);
  else
    flock(fallbackFd_, LOCK_UN);
}

}  // namespace platform::aspi::vr
