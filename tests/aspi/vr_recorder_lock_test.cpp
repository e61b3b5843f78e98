// The lock between processes sharing a recorder's folder: it excludes another process, passes on
// from a holder that died (telling the next one), and a lock file left held under another boot
// of the machine does not stop this one.
#include "platform/aspi/recorder/store/vr_recorder_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <functional>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

namespace vr = platform::aspi::vr;

class RecorderLockTest : public ::testing::Test {
 protected:
  void SetUp() override { fallback_ = open(dir.P("recorder").c_str(), O_CREAT | O_RDWR, 0644); }
  void TearDown() override { close(fallback_); }
  std::string Path() const { return dir.W("recorder.lock"); }

  int Child(const std::function<void()>& body) {
    const pid_t pid = fork();
    if (pid == 0) {
      body();
      _exit(0);
    }
    return pid;
  }
  static int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  TempDir dir;
  int fallback_ = -1;
};

TEST_F(RecorderLockTest, ExcludesAnotherProcess) {
  // Two processes add to one counter with a read, a pause and a write: under the lock no
  // addition is lost.
  auto* counter = static_cast<std::uint64_t*>(mmap(
      nullptr, sizeof(std::uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(counter, MAP_FAILED);
  *counter = 0;
  auto add = [&] {
    vr::RecorderLock lock(Path(), fallback_);
    if (!lock.Shared()) _exit(2);
    for (int i = 0; i < 500; ++i) {
      lock.Lock();
      const std::uint64_t seen = std::atomic_ref(*counter).load();
      usleep(i % 50 == 0 ? 200 : 0);
      std::atomic_ref(*counter).store(seen + 1);
      lock.Unlock();
    }
  };
  const pid_t a = Child(add), b = Child(add);
  EXPECT_EQ(Wait(a), 0);
  EXPECT_EQ(Wait(b), 0);
  EXPECT_EQ(*counter, 1000u);
  munmap(counter, sizeof(std::uint64_t));
}

TEST_F(RecorderLockTest, AHolderThatDiedLeavesItToTheNextWhoIsTold) {
  const pid_t child = Child([&] {
    vr::RecorderLock lock(Path(), fallback_);
    lock.Lock();
    _exit(0);  // dies holding it, the file still mapped
  });
  ASSERT_EQ(Wait(child), 0);
  vr::RecorderLock lock(Path(), fallback_);
  ASSERT_TRUE(lock.Shared());
  EXPECT_TRUE(lock.Lock());
  lock.Unlock();
  EXPECT_FALSE(lock.Lock());
  lock.Unlock();
}

TEST_F(RecorderLockTest, ALockFileOfAnotherBootIsMadeAfresh) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  // A live holder under the "old boot": as a file written back held before a crash reads.
  const pid_t holder = Child([&] {
    vr::RecorderLock lock(Path(), fallback_, "old-boot");
    lock.Lock();
    (void)!write(ready[1], "x", 1);
    pause();
  });
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  {
    vr::RecorderLock lock(Path(), fallback_);
    EXPECT_FALSE(lock.Lock());
    lock.Unlock();
  }
  kill(holder, SIGKILL);
  Wait(holder);
  close(ready[0]);
  close(ready[1]);
}

TEST_F(RecorderLockTest, WithoutItsFileTheStateFileIsFlocked) {
  vr::RecorderLock lock(dir.W("missing/recorder.lock"), fallback_);
  EXPECT_FALSE(lock.Shared());
  EXPECT_FALSE(lock.Lock());
  // Another descriptor of the file cannot take it meanwhile.
  const int other = open(dir.P("recorder").c_str(), O_RDWR);
  EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
  lock.Unlock();
  EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  close(other);
}

}  // namespace
