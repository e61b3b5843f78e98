// `QuorvaBackup <file.bpj>`: exit codes, the project saved back to its own file, the settings
// left alone, one run per project, SIGTERM as a cancel, and no run on settings it could not read.
#include "app/engine/backup/command_line_backup.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/engine/log.h"
#include "app/engine/project/project.h"
#include "app/engine/project/project_lock.h"
#include "app/engine/project/stream.h"
#include "app/engine/settings/global_setting.h"
#include "platform/registry/registry.h"
#include "tests/support/registry_lock.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

class CommandLineBackupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUORVA_HOME", dir_.P("home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir_.P("config").c_str(), 1);
    setenv("TMPDIR", dir_.Posix().c_str(), 1);
    WriteFile(dir_.P("src/a.txt"), "alpha");
    fs::create_directories(dir_.P("out"));
    project_.Name = "cli";
    project_.DestinationFile = dir_.W("out\\cli.qvp");
    project_.Folders.Add(dir_.W("src\\"), 0);
    SetLogSink(std::make_shared<TMemoryLogSink>());
  }
  void TearDown() override {
    SetLogSink(nullptr);
    unsetenv("TMPDIR");
  }

  void Save() { ASSERT_TRUE(project_.SaveToFile(dir_.W("cli.bpj"))); }
  std::unique_ptr<TProject> Load() {
    auto p = std::make_unique<TProject>();
    platform::fs::File f(dir_.W("cli.bpj"), platform::fs::OpenMode::Read);
    TFileStream s(f);
    EXPECT_TRUE(p->LoadFromStream(s));
    return p;
  }
  // Runs the command-line backup in a child process (it installs signal handlers).
  pid_t Start(const std::string& argument) {
    const pid_t pid = fork();
    if (pid == 0) _exit(RunCommandLineBackup(argument));
    return pid;
  }
  // Runs the program itself; its log lines in `out`.
  int RunProgram(const std::string& argument, std::string* out) {
    const char* build = std::getenv("QUORVA_BUILD_DIR");
    EXPECT_NE(build, nullptr);
    return RunCommand(
        "'" + std::string(build ? build : ".") + "/app/ui/QuorvaBackup' '" + argument + "'", out);
  }
  static int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  TempDir dir_;
  TProject project_;
};

TEST_F(CommandLineBackupTest, CompleteRunSavesTheProjectToItsOwnFileAndNotTheSettings) {
  Save();
  EXPECT_EQ(Wait(Start(dir_.P("cli.bpj"))), 0);
  EXPECT_TRUE(fs::exists(dir_.P("out/cli.qvp")));
  const auto saved = Load();
  EXPECT_EQ(saved->RunCounter, 1);
  EXPECT_EQ(saved->Snapshot.Count(), 1);
  EXPECT_FALSE(platform::registry::Key::Open(platform::registry::Hive::CurrentUser,
                                             kGlobalSettingKeyPath, false));
  // The program's own path form names the same file; the second run is a changed-files one.
  EXPECT_EQ(Wait(Start(dir_.W("cli.bpj"))), 0);
  EXPECT_TRUE(fs::exists(dir_.P("out/cli-v002.qvp")));
  EXPECT_EQ(Load()->RunCounter, 2);
}

TEST_F(CommandLineBackupTest, SecondRunOfTheSameProjectFailsAtOnce) {
  Save();
  TProjectLock held(dir_.W("cli.bpj"));
  EXPECT_EQ(Wait(Start(dir_.P("cli.bpj"))), 3);
  EXPECT_FALSE(fs::exists(dir_.P("out/cli.qvp")));
  EXPECT_EQ(Load()->RunCounter, 0);
}

TEST_F(CommandLineBackupTest, SigtermCancelsTheRun) {
  project_.RunBefore = true;
  project_.RunBeforeWait = true;
  project_.RunBeforeCmd = "touch '" + dir_.P("started") + "'; sleep 2";
  Save();
  const pid_t pid = Start(dir_.P("cli.bpj"));
  for (int i = 0; i < 500 && !fs::exists(dir_.P("started")); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(fs::exists(dir_.P("started")));
  kill(pid, SIGTERM);
  EXPECT_EQ(Wait(pid), 2);
  EXPECT_FALSE(fs::exists(dir_.P("out/cli.qvp")));
  EXPECT_EQ(Load()->RunCounter, 0);
}

// The program itself, as a start-up entry runs it, while another process holds the registry.
TEST_F(CommandLineBackupTest, RegistryHeldLockedFailsTheRunAndChangesNothing) {
  Save();
  const std::string projectBytes = ReadFile(dir_.P("cli.bpj"));
  {
    TGlobalSetting g;
    g.SaveOnDestroy = false;
    g.RetryCount = 7;
    ASSERT_TRUE(g.SaveToRegistry());
  }
  using platform::registry::Hive;
  using platform::registry::Key;
  const auto record =
      Key::Open(Hive::CurrentUser, kGlobalSettingKeyPath, false)->ReadBinary("userdata");
  ASSERT_TRUE(record);
  const std::string database = platform::registry::DatabasePath();
  // This process lets go of the database: a connection to another one replaces it.
  setenv("QUORVA_HOME", dir_.P("elsewhere").c_str(), 1);
  ASSERT_TRUE(Key::Open(Hive::CurrentUser, "\\Software", true));
  setenv("QUORVA_HOME", dir_.P("home").c_str(), 1);

  std::string out;
  int status;
  {
    TRegistryHeldLocked lock(database, dir_.Posix());
    ASSERT_TRUE(lock.Locked());
    status = RunProgram(dir_.P("cli.bpj"), &out);
    EXPECT_TRUE(lock.Release());
  }
  EXPECT_EQ(status, 1) << out;
  EXPECT_NE(out.find("ERROR    > The global settings could not be read: the registry " + database +
                     " is locked by another process"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("ERROR    > The backup of " + dir_.W("cli.bpj") +
                     " did not run: the global settings could not be read."),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("Backing up"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(dir_.P("out/cli.qvp")));
  EXPECT_EQ(ReadFile(dir_.P("cli.bpj")), projectBytes);
  EXPECT_EQ(Key::Open(Hive::CurrentUser, kGlobalSettingKeyPath, false)->ReadBinary("userdata"),
            record);
}

// A project cut inside one of its lists is damaged: nothing runs and its file stays as it is.
// One that ends right after a list (an older file) runs with what it holds.
TEST_F(CommandLineBackupTest, ProjectCutInsideAListRunsNothing) {
  WriteFile(dir_.P("src2/b.txt"), "beta");
  project_.Folders.Add(dir_.W("src2\\"), 0);
  Save();
  const std::string whole = ReadFile(dir_.P("cli.bpj"));
  // The two excluded lists and the snapshot, all empty, end the stream: 4 + 4 + 8 bytes.
  const size_t foldersEnd = whole.size() - 16;
  const std::string damaged =
      "ERROR    > The project file " + dir_.W("cli.bpj") + " is damaged; nothing was backed up.";

  WriteFile(dir_.P("cli.bpj"), whole.substr(0, foldersEnd - 3));
  std::string out;
  EXPECT_EQ(RunProgram(dir_.P("cli.bpj"), &out), 1) << out;
  EXPECT_NE(out.find(damaged), std::string::npos) << out;
  EXPECT_EQ(out.find("Backing up"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(dir_.P("out/cli.qvp")));
  EXPECT_EQ(ReadFile(dir_.P("cli.bpj")), whole.substr(0, foldersEnd - 3));

  WriteFile(dir_.P("cli.bpj"), whole.substr(0, foldersEnd));
  EXPECT_EQ(RunProgram(dir_.P("cli.bpj"), &out), 0) << out;
  EXPECT_EQ(RunCommand("unzip -Z1 '" + dir_.P("out/cli.qvp") + "'", &out), 0) << out;
  EXPECT_NE(out.find("src\\a.txt"), std::string::npos) << out;
  EXPECT_NE(out.find("src2\\b.txt"), std::string::npos) << out;
  const auto saved = Load();
  EXPECT_EQ(saved->Folders.Count(), 2);
  EXPECT_EQ(saved->RunCounter, 1);
}

TEST_F(CommandLineBackupTest, DamagedOrMissingProjectFails) {
  Save();
  fs::resize_file(dir_.P("cli.bpj"), 20);
  EXPECT_EQ(Wait(Start(dir_.P("cli.bpj"))), 1);
  EXPECT_EQ(Wait(Start(dir_.P("none.bpj"))), 1);
  EXPECT_FALSE(fs::exists(dir_.P("out/cli.qvp")));
}

}  // namespace
