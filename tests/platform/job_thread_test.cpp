#include "platform/shell/job_thread.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>

namespace {

using platform::shell::JobThread;

TEST(JobThread, RunsOnlyAfterResumeWithTheJobStack) {
  std::atomic<bool> ran{false};
  size_t stack = 0;
  {
    JobThread t([&] {
      pthread_attr_t attr;
      ASSERT_EQ(pthread_getattr_np(pthread_self(), &attr), 0);
      pthread_attr_getstacksize(&attr, &stack);
      pthread_attr_destroy(&attr);
      ran = true;
    });
    EXPECT_GT(t.Tid(), 0);
    EXPECT_NE(t.Tid(), getpid());
    EXPECT_FALSE(ran);
    t.Resume();
    t.Join();
    EXPECT_TRUE(ran);
    t.Join();  // a second join is harmless
  }
  EXPECT_EQ(stack, platform::shell::kJobThreadStackSize);
}

TEST(JobThread, NeverResumedEndsWithoutRunning) {
  bool ran = false;
  {
    JobThread t([&] { ran = true; });
  }
  EXPECT_FALSE(ran);
}

TEST(JobThread, PriorityIndexesMapToNiceValues) {
  const std::pair<int, int> cases[] = {{-3, 19}, {0, 19},  {1, 10}, {2, 0},
                                       {3, -5},  {4, -10}, {9, -10}};
  for (const auto& [index, nice] : cases)
    EXPECT_EQ(platform::shell::NiceValueForPriority(index), nice) << index;
}

TEST(JobThread, LoweredPriorityAppliesToTheThreadOnly) {
  const int before = getpriority(PRIO_PROCESS, 0);
  int inside = 100;
  JobThread t([&] { inside = getpriority(PRIO_PROCESS, 0); });
  std::string error;
  ASSERT_TRUE(t.SetPriority(0, &error)) << error;
  t.Resume();
  t.Join();
  EXPECT_EQ(inside, 19);
  EXPECT_EQ(getpriority(PRIO_PROCESS, 0), before);
}

TEST(JobThread, RaisedPriorityIsAppliedOrRefusedWithAReason) {
  int inside = 100;
  JobThread t([&] { inside = getpriority(PRIO_PROCESS, 0); });
  std::string error;
  const bool applied = t.SetPriority(4, &error);
  t.Resume();
  t.Join();
  if (applied) {
    EXPECT_EQ(inside, -10);
  } else {
    // Refused for want of privilege: the body still ran, at the inherited value.
    EXPECT_NE(error.find("refused"), std::string::npos) << error;
    EXPECT_EQ(inside, getpriority(PRIO_PROCESS, 0));
  }
}

}  // namespace
