#include "app/engine/progress.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// Runs first in its process (CTest starts one process per case).
TEST(ProgressTest, StartsCleared) {
  EXPECT_EQ(ProgressPosition.load(), 0);
  EXPECT_EQ(ProgressCaption.Get(), "");
  EXPECT_EQ(ProgressStatus.Get(), "");
  EXPECT_FALSE(ProgressDone);
  EXPECT_FALSE(ProgressCancelled);
  EXPECT_FALSE(ProgressShowCancel);
}

TEST(ProgressTest, ResetForJobSetsTheThreeFlagsOnly) {
  ProgressDone = true;
  ProgressShowCancel = false;
  ProgressCancelled = true;
  ProgressPosition = 55;
  ProgressCaption = "Backup";
  ProgressStatus.Set("Z:\\data\\a.txt");

  ResetProgressForJob();

  EXPECT_FALSE(ProgressDone);
  EXPECT_TRUE(ProgressShowCancel);
  EXPECT_FALSE(ProgressCancelled);
  EXPECT_EQ(ProgressPosition.load(), 55);
  EXPECT_EQ(ProgressCaption.Get(), "Backup");
  EXPECT_EQ(ProgressStatus.Get(), "Z:\\data\\a.txt");
}

// A reader never sees a torn text while a worker keeps replacing it.
TEST(ProgressTest, TextsAreSharedSafelyBetweenThreads) {
  std::vector<std::string> values;
  for (int i = 0; i < 16; ++i) values.push_back(std::string(1 + i * 37, char('a' + i)));
  const std::set<std::string> allowed(values.begin(), values.end());
  ProgressStatus.Set(values[0]);
  ProgressCaption.Set(values[0]);

  std::atomic<bool> stop{false};
  std::vector<std::thread> readers;
  std::atomic<int> bad{0};
  for (int r = 0; r < 3; ++r)
    readers.emplace_back([&] {
      while (!stop) {
        if (!allowed.count(ProgressStatus.Get())) ++bad;
        if (!allowed.count(ProgressCaption.Get())) ++bad;
      }
    });
  std::thread writer([&] {
    for (int round = 0; round < 2000; ++round) {
      const auto& v = values[round % values.size()];
      ProgressStatus.Set(v);
      ProgressCaption = v;
      ProgressPosition = round % 101;
    }
  });
  writer.join();
  stop = true;
  for (auto& t : readers) t.join();

  EXPECT_EQ(bad.load(), 0);
  EXPECT_EQ(ProgressStatus.Get(), values[1999 % values.size()]);
  EXPECT_EQ(ProgressCaption.Get(), values[1999 % values.size()]);
  EXPECT_EQ(ProgressPosition.load(), 1999 % 101);
}

}  // namespace
