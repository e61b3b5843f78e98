// The backup run to a folder: archives, changed-files runs, cancellation, failures and the
// deletion of the stored files, checked with unzip.
#include "app/engine/backup/backup_run.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/engine/log.h"
#include "app/engine/progress.h"
#include "app/engine/project/project.h"
#include "app/engine/settings/global_setting.h"
#include "app/engine/user_interface.h"
#include "tests/support/fifo_time_limit.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// Answers like the headless interface; counts message boxes and can cancel on a chosen event.
class TScriptedUi : public THeadlessUserInterface {
 public:
  std::function<void(const std::string&)> onPanel;
  std::function<void()> onStep;
  std::vector<std::string> backupSets;
  std::vector<std::string> messages;

  TModalResult MessageBox(std::string_view text, std::string_view, TMessageButtons,
                          TMessageKind) override {
    messages.emplace_back(text);
    return TModalResult::Ok;
  }
  void SetStatusPanel(int, std::string_view text) override {
    if (onPanel) onPanel(std::string(text));
  }
  void StatusProgressStep() override {
    if (onStep) onStep();
  }
  void ShowBackupSet(std::string_view path) override { backupSets.emplace_back(path); }
};

// Sets ProgressCancelled when a log line with that text is written.
class TCancelOnLog : public ILogSink {
 public:
  explicit TCancelOnLog(std::string text) : text_(std::move(text)) {}
  void AddEntry(const TLogEntry& e) override {
    lines.push_back(e.levelText + e.message);
    if (!text_.empty() && e.message.find(text_) != std::string::npos) ProgressCancelled = true;
  }
  std::vector<std::string> lines;

 private:
  std::string text_;
};

std::set<std::string> ArchiveNames(const std::string& posixArchive) {
  std::string out;
  EXPECT_EQ(RunCommand("unzip -Z1 '" + posixArchive + "'", &out), 0) << out;
  std::set<std::string> names;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) names.insert(line);
  return names;
}

std::vector<std::string> FilesBelow(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file()) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class BackupRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUORVA_HOME", home_.Posix().c_str(), 1);
    setenv("XDG_CONFIG_HOME", home_.Posix().c_str(), 1);
    fs::create_directories(dir_.P("tmp"));
    fs::create_directories(dir_.P("out"));
    settings_ = std::make_unique<TGlobalSetting>();
    settings_->SaveOnDestroy = false;
    settings_->TempFolder = dir_.W("tmp\\");
    WriteFile(dir_.P("src/a.txt"), "alpha");
    WriteFile(dir_.P("src/sub/b.txt"), std::string(100000, 'b'));
    WriteFile(dir_.P("src/sub/c.bin"), "gamma");
    project_.Name = "job";
    project_.BackupMode = 1;
    project_.DestinationFile = dir_.W("out\\job.qvp");
    project_.ProjectFile = dir_.W("job.bpj");
    project_.Folders.Add(dir_.W("src\\"), 0);
    ui_ = std::make_shared<TScriptedUi>();
    SetUserInterface(ui_);
    ProgressCancelled = false;
  }
  void TearDown() override {
    SetUserInterface(nullptr);
    SetLogSink(nullptr);
    ProgressCancelled = false;
  }

  TBackupOutcome Run() {
    ResetProgressForJob();
    ProgressDone = false;
    const TBackupOutcome o = BackupThreadProc(project_, *settings_);
    EXPECT_TRUE(ProgressDone);
    return o;
  }
  // Stored form of a source file, as unzip lists it.
  std::string Stored(const std::string& rel) const {
    std::string w = dir_.W("src\\" + rel);
    return w.substr(0, 1) + w.substr(2);
  }

  TempDir home_, dir_;
  std::unique_ptr<TGlobalSetting> settings_;
  TProject project_;
  std::shared_ptr<TScriptedUi> ui_;
};

TEST_F(BackupRunTest, FirstRunStoresEverythingAndSavesTheProject) {
  ASSERT_EQ(Run(), TBackupOutcome::Complete);
  const std::string archive = dir_.P("out/job.qvp");
  EXPECT_EQ(RunCommand("unzip -tq '" + archive + "'"), 0);
  const auto names = ArchiveNames(archive);
  EXPECT_EQ(names, (std::set<std::string>{"$PRJDEF$.QVP", Stored("a.txt"), Stored("sub\\b.txt"),
                                          Stored("sub\\c.bin")}));
  EXPECT_EQ(project_.RunCounter, 1);
  EXPECT_EQ(project_.Snapshot.Count(), 3);
  EXPECT_EQ(ui_->backupSets, std::vector<std::string>{project_.DestinationFile});
  EXPECT_TRUE(ui_->messages.empty());
  EXPECT_TRUE(fs::exists(dir_.P("job.bpj")));
  EXPECT_TRUE(fs::is_empty(dir_.P("tmp"))) << "temporary files left behind";
}

// The wizard's project has no file yet: the run saves nothing and is still complete, and the
// project holds the merged snapshot for whoever saves it afterwards. A project whose file
// cannot be written fails.
TEST_F(BackupRunTest, ProjectWithoutAFileIsNotSavedAndTheRunStillCompletes) {
  project_.ProjectFile.clear();
  ASSERT_EQ(Run(), TBackupOutcome::Complete);
  EXPECT_EQ(RunCommand("unzip -tq '" + dir_.P("out/job.qvp") + "'"), 0);
  EXPECT_EQ(project_.RunCounter, 1);
  EXPECT_EQ(project_.Snapshot.Count(), 3);
  EXPECT_TRUE(ui_->messages.empty());
  EXPECT_FALSE(fs::exists(dir_.P("job.bpj")));

  project_.ProjectFile = dir_.W("no such folder\\job.bpj");
  EXPECT_EQ(Run(), TBackupOutcome::Failed);
}

TEST_F(BackupRunTest, ChangedFilesRunWritesVersionedArchiveAndDeletesExactlyTheStoredFiles) {
  ASSERT_EQ(Run(), TBackupOutcome::Complete);
  // An older copy put back is a change as much as a newer one.
  WriteFile(dir_.P("src/a.txt"), "alpha, edited");
  fs::last_write_time(dir_.P("src/a.txt"),
                      fs::last_write_time(dir_.P("src/a.txt")) - std::chrono::hours(48));
  WriteFile(dir_.P("src/new.txt"), "new");
  project_.DeleteAfterBackup = true;
  ASSERT_EQ(Run(), TBackupOutcome::Complete);
  const std::string v2 = dir_.P("out/job-v002.qvp");
  ASSERT_TRUE(fs::exists(v2));
  EXPECT_EQ(ArchiveNames(v2),
            (std::set<std::string>{"$PRJDEF$.QVP", Stored("a.txt"), Stored("new.txt")}));
  EXPECT_EQ(FilesBelow(dir_.P("src")), (std::vector<std::string>{"b.txt", "c.bin"}));
  EXPECT_TRUE(fs::exists(dir_.P("out/job.qvp")));
  EXPECT_EQ(project_.RunCounter, 2);
}

TEST_F(BackupRunTest, UnchangedRunStoresOnlyTheDefinition) {
  ASSERT_EQ(Run(), TBackupOutcome::Complete);
  ASSERT_EQ(Run(), TBackupOutcome::Complete);
  EXPECT_EQ(ArchiveNames(dir_.P("out/job-v002.qvp")), std::set<std::string>{"$PRJDEF$.QVP"});
}

TEST_F(BackupRunTest, EmptyProjectHoldsOnlyTheDefinition) {
  project_.Folders.Clear();
  ASSERT_EQ(Run(), TBackupOutcome::Complete);
  EXPECT_EQ(ArchiveNames(dir_.P("out/job.qvp")), std::set<std::string>{"$PRJDEF$.QVP"});
}

// Every cancel point: the previous archive stays byte for byte, nothing temporary is left,
// the snapshot is not merged and no source is deleted.
TEST_F(BackupRunTest, CancelAtEachPointKeepsThePreviousArchive) {
  project_.BackupMode = 0;
  project_.DeleteAfterBackup = false;
  ASSERT_EQ(Run(), TBackupOutcome::Complete);
  const std::string archive = dir_.P("out/job.qvp");
  const std::string before = ReadFile(archive);
  const int snapshotBefore = project_.Snapshot.Count();
  project_.DeleteAfterBackup = true;
  for (const std::string point :
       {"Searching files...", "Building backup list...", "Preparing backup...",
        "panel:Prepare for backing up...", "step:2", "Backing up Files..."}) {
    SCOPED_TRACE(point);
    auto sink = std::make_shared<TCancelOnLog>(
        point.rfind("panel:", 0) == 0 || point.rfind("step:", 0) == 0 ? "" : point);
    SetLogSink(sink);
    int steps = 0;
    ui_->onPanel = [&](const std::string& t) {
      if (point == "panel:" + t) ProgressCancelled = true;
    };
    ui_->onStep = [&] {
      if (point == "step:" + std::to_string(++steps)) ProgressCancelled = true;
    };
    EXPECT_EQ(Run(), TBackupOutcome::Cancelled);
    SetLogSink(nullptr);
    ui_->onPanel = nullptr;
    ui_->onStep = nullptr;
    EXPECT_EQ(ReadFile(archive), before);
    EXPECT_EQ(FilesBelow(dir_.P("out")), std::vector<std::string>{"job.qvp"});
    EXPECT_TRUE(fs::is_empty(dir_.P("tmp")));
    EXPECT_EQ(FilesBelow(dir_.P("src")).size(), 3u);
    EXPECT_EQ(project_.Snapshot.Count(), snapshotBefore);
  }
}

// The files that were stored and delivered are deleted; those that could not be stored stay
// out of the snapshot, stay on disk, and the log says so without contradicting itself.
TEST_F(BackupRunTest, FileThatCannotBeStoredFailsTheRunIsNotMergedAndIsKept) {
  const std::string fifo = dir_.P("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  project_.Files.Add(dir_.W("pipe"), 0);
  project_.Files.Add(dir_.W("missing.txt"), 0);
  project_.DeleteAfterBackup = true;
  auto sink = std::make_shared<TCancelOnLog>("");
  SetLogSink(sink);
  EXPECT_EQ(Run(), TBackupOutcome::Failed);
  const auto names = ArchiveNames(dir_.P("out/job.qvp"));
  EXPECT_EQ(names.size(), 4u);  // definition + the three regular files
  EXPECT_EQ(project_.Snapshot.FindByName(dir_.W("pipe")), nullptr);
  EXPECT_EQ(project_.Snapshot.FindByName(dir_.W("missing.txt")), nullptr);
  EXPECT_EQ(project_.Snapshot.Count(), 3);
  EXPECT_TRUE(fs::exists(fifo));
  EXPECT_TRUE(FilesBelow(dir_.P("src")).empty()) << "the stored files are deleted";
  ASSERT_FALSE(ui_->messages.empty());
  bool complete = false, kept = false;
  for (const auto& line : sink->lines) {
    EXPECT_EQ(line.find("not complete"), std::string::npos) << line;
    EXPECT_EQ(line.find("not deleted"), std::string::npos) << line;
    EXPECT_EQ(line.find("Cannot delete"), std::string::npos) << line;
    complete |= line == "STATUS  Backup complete.";
    kept |= line == "STATUS  2 file(s) that could not be stored are kept.";
  }
  EXPECT_TRUE(complete);
  EXPECT_TRUE(kept);
}

// What a source folder holds besides files and folders (a FIFO, a socket, a device) is passed
// over with a log line each; the run neither waits on it nor fails, and the archive holds the
// files by their bytes.
TEST_F(BackupRunTest, SourceFolderHoldingAFifoASocketAndADeviceSkipsThemAndNeverWaits) {
  ASSERT_EQ(mkfifo(dir_.P("src/pipe").c_str(), 0600), 0);
  ASSERT_EQ(
      RunCommand(std::string(QUORVA_PYTHON) +
                 " -c 'import socket,sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' '" +
                 dir_.P("src/sub/sock") + "'"),
      0);
  ASSERT_EQ(symlink("/dev/zero", dir_.P("src/zero").c_str()), 0);
  auto sink = std::make_shared<TCancelOnLog>("");
  SetLogSink(sink);
  TBackupOutcome outcome = TBackupOutcome::Failed;
  EXPECT_TRUE(
      ReturnsWithin(std::chrono::seconds(60), {dir_.P("src/pipe")}, [&] { outcome = Run(); }));
  EXPECT_EQ(outcome, TBackupOutcome::Complete);
  const std::string archive = dir_.P("out/job.qvp");
  EXPECT_EQ(ArchiveNames(archive),
            (std::set<std::string>{"$PRJDEF$.QVP", Stored("a.txt"), Stored("sub\\b.txt"),
                                   Stored("sub\\c.bin")}));
  for (const char* rel : {"a.txt", "sub/b.txt", "sub/c.bin"}) {
    const std::string stored = Stored(rel);
    std::string bytes;
    EXPECT_EQ(RunCommand(std::string(QUORVA_PYTHON) +
                             " -c 'import sys,zipfile; sys.stdout.buffer.write(zipfile.ZipFile("
                             "sys.argv[1]).read(sys.argv[2]))' '" +
                             archive + "' '" + stored + "'",
                         &bytes),
              0);
    EXPECT_EQ(bytes, ReadFile(dir_.P(std::string("src/") + rel))) << rel;
  }
  std::vector<std::string> skipped;
  for (const auto& line : sink->lines)
    if (line.find("Neither a file nor a folder, skipped: ") != std::string::npos)
      skipped.push_back(line);
  std::sort(skipped.begin(), skipped.end());
  EXPECT_EQ(skipped,
            (std::vector<std::string>{
                "ERROR   Neither a file nor a folder, skipped: " + dir_.W("src\\pipe"),
                "ERROR   Neither a file nor a folder, skipped: " + dir_.W("src\\sub\\sock"),
                "ERROR   Neither a file nor a folder, skipped: " + dir_.W("src\\zero")}));
}

// A file listed twice (a file item inside a folder item) is deleted once, without an error.
TEST_F(BackupRunTest, FileListedTwiceIsDeletedOnce) {
  project_.BackupMode = 0;
  project_.Files.Add(dir_.W("src\\a.txt"), 0);
  project_.DeleteAfterBackup = true;
  auto sink = std::make_shared<TCancelOnLog>("");
  SetLogSink(sink);
  EXPECT_EQ(Run(), TBackupOutcome::Complete);
  EXPECT_TRUE(FilesBelow(dir_.P("src")).empty());
  for (const auto& line : sink->lines) EXPECT_EQ(line.find("Cannot delete"), std::string::npos);
  EXPECT_TRUE(ui_->messages.empty());
}

// A full disk (a file-size limit in a child process) fails the run and keeps what was there.
TEST_F(BackupRunTest, DiskFullFailsAndKeepsThePreviousArchive) {
  project_.BackupMode = 0;
  ASSERT_EQ(Run(), TBackupOutcome::Complete);
  const std::string archive = dir_.P("out/job.qvp");
  const std::string before = ReadFile(archive);
  WriteFile(dir_.P("src/big.bin"), std::string(3 << 20, 'x'));
  project_.Compress = false;
  project_.DeleteAfterBackup = true;
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    rlimit lim{1 << 20, 1 << 20};
    setrlimit(RLIMIT_FSIZE, &lim);
    SetLogSink(std::make_shared<TMemoryLogSink>());
    const TBackupOutcome o = BackupThreadProc(project_, *settings_);
    _exit(o == TBackupOutcome::Failed ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFile(archive), before);
  EXPECT_EQ(FilesBelow(dir_.P("out")), std::vector<std::string>{"job.qvp"});
  EXPECT_EQ(FilesBelow(dir_.P("src")).size(), 4u);
}

TEST_F(BackupRunTest, SplitArchiveVolumesJoinToOneZip) {
  project_.BackupMode = 0;
  project_.Compress = false;
  project_.Split = true;
  project_.SplitSizeIndex = 0;  // 1,468,006 bytes
  WriteFile(dir_.P("src/big.bin"), std::string(3'200'000, 'z'));
  ASSERT_EQ(Run(), TBackupOutcome::Complete);
  EXPECT_TRUE(fs::exists(dir_.P("out/job.001")));
  EXPECT_TRUE(fs::exists(dir_.P("out/job.002")));
  EXPECT_FALSE(fs::exists(dir_.P("out/job.003")));
  EXPECT_EQ(fs::file_size(dir_.P("out/job.qvp")), 1'468'006u);
  EXPECT_EQ(RunCommand("cat '" + dir_.P("out/job.qvp") + "' '" + dir_.P("out/job.001") + "' '" +
                       dir_.P("out/job.002") + "' > '" + dir_.P("joined.zip") + "' && unzip -tq '" +
                       dir_.P("joined.zip") + "'"),
            0);
}

}  // namespace
