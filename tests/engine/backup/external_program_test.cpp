#include "app/engine/backup/external_program.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "app/engine/log.h"
#include "tests/support/temp_dir.h"

namespace {

class RunProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUORVA_HOME", dir_.P("home").c_str(), 1);
    previous_ = SetLogSink(sink_);
  }
  void TearDown() override { SetLogSink(previous_); }

  bool Logged(const std::string& level, const std::string& text) const {
    for (const TLogEntry& e : sink_->Entries())
      if (e.levelText == level && e.message == text) return true;
    return false;
  }

  // Polls for a file another process writes; the bound only keeps a broken run from hanging.
  static bool WaitForFile(const std::string& path) {
    for (int i = 0; i < 1000; ++i) {
      if (std::filesystem::exists(path)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  TempDir dir_;
  std::shared_ptr<TMemoryLogSink> sink_ = std::make_shared<TMemoryLogSink>();
  std::shared_ptr<ILogSink> previous_;
};

TEST_F(RunProgramTest, WaitedProgramHasFinishedAndItsExitCodeIsLogged) {
  const std::string out = dir_.P("out.txt");
  const std::string cmd = "printf done > '" + out + "'; exit 0";
  ASSERT_TRUE(RunProgram(cmd, true));
  EXPECT_EQ(ReadFile(out), "done");
  EXPECT_TRUE(Logged("STATUS  ", "Program " + cmd + " ended with exit code 0"));
}

TEST_F(RunProgramTest, ExitCodesOfFailingCommandsAreLogged) {
  const std::string script = dir_.P("not-executable.sh");
  WriteFile(script, "#!/bin/sh\nexit 0\n");
  chmod(script.c_str(), 0644);
  struct Case {
    std::string command;
    int code;
    bool started;  // 126 and 127 are the shell's own: the program could not be started
  } cases[] = {
      {"exit 3", 3, true},
      {"'" + script + "'", 126, false},                     // found, not executable
      {"'" + dir_.P("no-such-program") + "'", 127, false},  // not found
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    sink_->Clear();
    EXPECT_EQ(RunProgram(c.command, true), c.started);
    EXPECT_TRUE(Logged("STATUS  ",
                       "Program " + c.command + " ended with exit code " + std::to_string(c.code)));
    EXPECT_EQ(Logged("DEBUG   ", "Create Process " + c.command + " failed."), !c.started);
  }
}

// A program that is not waited for is checked before it is left to run.
TEST_F(RunProgramTest, ProgramNotWaitedForIsCheckedBeforeItStarts) {
  const std::string script = dir_.P("not-executable.sh");
  WriteFile(script, "#!/bin/sh\nexit 0\n");
  chmod(script.c_str(), 0644);
  const std::string spaced = dir_.P("with blank/run me.sh");
  WriteFile(spaced, "#!/bin/sh\nexit 0\n");
  chmod(spaced.c_str(), 0755);
  struct Case {
    std::string command;
    bool started;
  } cases[] = {
      {"'" + dir_.P("no-such-program") + "' -x", false},
      {"no-such-program-anywhere --help", false},
      {"'" + script + "'", false},
      {"'" + dir_.P("") + "'", false},  // a folder
      {"'" + spaced + "' -l -s", true},
      {"\"" + spaced + "\"", true},
      {"true", true},         // a built-in
      {"sleep 0", true},      // found on the PATH
      {"X=1 sleep 0", true},  // the shell's own rewriting: only running it tells
      {"$HOME/x", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    sink_->Clear();
    EXPECT_EQ(RunProgram(c.command, false), c.started);
    EXPECT_EQ(Logged("DEBUG   ", "Create Process " + c.command + " failed."), !c.started);
  }
}

TEST_F(RunProgramTest, ProgramStartedWithoutWaitingKeepsRunningAfterwards) {
  // The program waits for a file the test writes only after RunProgram has returned, so it
  // can only finish if it was left running.
  const std::string go = dir_.P("go");
  const std::string out = dir_.P("out.txt");
  const std::string cmd =
      "while [ ! -e '" + go + "' ]; do sleep 0.05; done; printf late > '" + out + "'";
  ASSERT_TRUE(RunProgram(cmd, false));
  EXPECT_FALSE(std::filesystem::exists(out));
  WriteFile(go, "");
  ASSERT_TRUE(WaitForFile(out));
  // The file may exist before its content is written.
  for (int i = 0; i < 500 && ReadFile(out) != "late"; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(ReadFile(out), "late");
}

TEST_F(RunProgramTest, ChildInheritsOnlyStandardDescriptors) {
  // Descriptors of ours without close-on-exec, low and high.
  const int low = open("/dev/null", O_RDONLY);
  ASSERT_GE(low, 3);
  ASSERT_EQ(dup2(low, 60), 60);
  const std::string out = dir_.P("fds.txt");
  const std::string probe =
      "r=; n=3; while [ $n -le 64 ]; do [ -e /proc/self/fd/$n ] && r=\"$r $n\"; n=$((n+1)); "
      "done; echo \"open:$r\" > '" +
      out + "'";
  for (const bool wait : {true, false}) {
    SCOPED_TRACE(wait ? "waited" : "not waited");
    std::filesystem::remove(out);
    ASSERT_TRUE(RunProgram(probe, wait));
    ASSERT_TRUE(WaitForFile(out));
    for (int i = 0; i < 500 && ReadFile(out).find('\n') == std::string::npos; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ReadFile(out), "open:\n");
  }
  close(low);
  close(60);
}

TEST(ReplaceTokenTest, ReplacesEveryExactOccurrenceLeftToRight) {
  struct Case {
    const char* text;
    const char* token;
    const char* replacement;
    const char* expected;
  } cases[] = {
      {"[ProjectName] and [ProjectName]", "[ProjectName]", "job", "job and job"},
      {"[projectname] stays", "[ProjectName]", "job", "[projectname] stays"},
      {"aaa", "aa", "b", "ba"},   // goes on after each replacement
      {"xx", "x", "xx", "xxxx"},  // the replacement is not scanned again
      {"no token here", "[Runtime]", "t", "no token here"},
      {"", "[Runtime]", "t", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ReplaceToken(c.text, c.token, c.replacement), c.expected);
  }
}

}  // namespace
