#include "app/engine/log.h"

#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/shell/shell.h"

namespace {

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = SetLogSink(sink_); }
  void TearDown() override { SetLogSink(previous_); }

  std::shared_ptr<TMemoryLogSink> sink_ = std::make_shared<TMemoryLogSink>();
  std::shared_ptr<ILogSink> previous_;
};

TEST_F(LogTest, EachCallMakesOneEntryWithItsLevelTextAndLevel) {
  const std::time_t before = std::time(nullptr);
  LogStatus("status message");
  LogError("error message");
  LogDevice("device message");
  LogDebug("debug message");
  LogMessage("ANALYZE ", "custom message", 0);
  LogMessage("        ", "eight blanks", 7);
  const std::time_t after = std::time(nullptr);

  struct Expected {
    const char* levelText;
    const char* message;
    int level;
  };
  const Expected expected[] = {
      {"STATUS  ", "status message", 0}, {"ERROR   ", "error message", 1},
      {"DEVICE  ", "device message", 2}, {"DEBUG   ", "debug message", 3},
      {"ANALYZE ", "custom message", 0}, {"        ", "eight blanks", 7},
  };
  const auto entries = sink_->Entries();
  ASSERT_EQ(entries.size(), std::size(expected));
  for (size_t i = 0; i < entries.size(); ++i) {
    const auto& e = entries[i];
    SCOPED_TRACE(e.message);
    EXPECT_EQ(e.levelText, expected[i].levelText);
    EXPECT_EQ(e.levelText.size(), 8u);
    EXPECT_EQ(e.message, expected[i].message);
    EXPECT_EQ(e.level, expected[i].level);
    // The time text is the short date + long time of a moment during the call.
    bool matches = false;
    for (std::time_t t = before; t <= after; ++t)
      matches = matches || e.timeText == platform::shell::FormatShortDateLongTime(t);
    EXPECT_TRUE(matches) << e.timeText;
    EXPECT_EQ(e.Line(), e.timeText + ": " + expected[i].levelText + " > " + expected[i].message);
  }
}

TEST(LogFileTest, OneCrLfLinePerEntry) {
  const std::vector<TLogEntry> entries = {
      {"01.02.2024 10:00:00", "STATUS  ", "first", 0},
      {"01.02.2024 10:00:01", "ERROR   ", "second", 1},
  };
  EXPECT_EQ(FormatLogFile(entries),
            "01.02.2024 10:00:00: STATUS   > first\r\n"
            "01.02.2024 10:00:01: ERROR    > second\r\n");
  EXPECT_EQ(FormatLogFile({}), "");
}

TEST_F(LogTest, EntriesFromThreadsKeepEachThreadsOrder) {
  constexpr int kThreads = 8;
  constexpr int kPerThread = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < kPerThread; ++i)
        LogMessage("T" + std::to_string(t) + "      ", std::to_string(i), t % 4);
    });
  for (auto& th : threads) th.join();

  const auto entries = sink_->Entries();
  ASSERT_EQ(entries.size(), size_t{kThreads * kPerThread});
  std::map<std::string, int> next;  // per thread, the number it must log next
  for (const auto& e : entries) {
    int& expected = next[e.levelText];
    ASSERT_EQ(e.message, std::to_string(expected)) << e.levelText;
    ++expected;
  }
  ASSERT_EQ(next.size(), size_t{kThreads});
  for (const auto& [thread, count] : next) EXPECT_EQ(count, kPerThread) << thread;
}

TEST_F(LogTest, ReplacingTheSinkReturnsThePreviousOne) {
  auto other = std::make_shared<TMemoryLogSink>();
  EXPECT_EQ(SetLogSink(other), sink_);
  LogStatus("to the other sink");
  EXPECT_EQ(SetLogSink(nullptr), other);  // null brings back standard output

  ::testing::internal::CaptureStdout();
  LogError("to standard output");
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find(": ERROR    > to standard output\n"), std::string::npos) << printed;
  EXPECT_TRUE(sink_->Entries().empty());
  ASSERT_EQ(other->Entries().size(), 1u);
  EXPECT_EQ(other->Entries()[0].message, "to the other sink");
}

}  // namespace
