// What the restore tests share: a scripted user, a per-test environment, a source tree with
// distinct contents, archives written by the backup run and by Info-ZIP zip, and checks of
// restored trees by diff -r.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/engine/backup/backup_run.h"
#include "app/engine/log.h"
#include "app/engine/progress.h"
#include "app/engine/project/project.h"
#include "app/engine/restore/restore_run.h"
#include "app/engine/restore/restore_tree.h"
#include "app/engine/settings/global_setting.h"
#include "app/engine/user_interface.h"
#include "platform/shell/shell.h"
#include "tests/engine/archive/zip_test_support.h"
#include "tests/engine/project/project_fixture.h"
#include "tests/support/temp_dir.h"

namespace restore_test {

using zip_test::NoiseBytes;
using zip_test::Quote;
using zip_test::Stored;
using zip_test::TextBytes;
using zip_test::Win;

// The archive layer's scripted user, plus message boxes, the rename dialog, the status panels
// and the progress position at each overwrite question.
class TRestoreUi : public zip_test::TScriptedUi {
 public:
  std::vector<std::string> messages;
  std::deque<std::optional<std::string>> newNames;  // exhausted: the dialog is cancelled
  std::vector<std::string> renameAsked;
  std::map<int, std::string> panels;  // the last text of each panel
  std::vector<int> positionsAtOverwrite;

  TModalResult MessageBox(std::string_view text, std::string_view, TMessageButtons,
                          TMessageKind) override {
    messages.emplace_back(text);
    return TModalResult::Ok;
  }
  std::optional<std::string> ChangeProjectName(std::string_view oldName) override {
    renameAsked.emplace_back(oldName);
    if (newNames.empty()) return std::nullopt;
    auto answer = newNames.front();
    newNames.pop_front();
    return answer;
  }
  void SetStatusPanel(int index, std::string_view text) override { panels[index] = text; }
  TOverwriteAnswer ConfirmOverwrite(std::string_view path) override {
    positionsAtOverwrite.push_back(ProgressPosition);
    return TScriptedUi::ConfirmOverwrite(path);
  }
};

class RestoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    umask(022);
    setenv("QUORVA_HOME", home_.Posix().c_str(), 1);
    setenv("XDG_CONFIG_HOME", home_.Posix().c_str(), 1);
    ui = std::make_shared<TRestoreUi>();
    SetUserInterface(ui);
    log = std::make_shared<TMemoryLogSink>();
    SetLogSink(log);
    ProgressCancelled = false;
    ProgressDone = false;
  }
  void TearDown() override {
    ProgressCancelled = false;
    SetUserInterface(nullptr);
    SetLogSink(nullptr);
  }

  // Messages logged as errors ("ERROR   ", level 1).
  std::vector<std::string> Errors() const {
    std::vector<std::string> errors;
    for (const TLogEntry& e : log->Entries())
      if (e.levelText == "ERROR   " && e.level == 1) errors.push_back(e.message);
    return errors;
  }
  bool ErrorLogged(const std::string& part) const {
    for (const std::string& e : Errors())
      if (e.find(part) != std::string::npos) return true;
    return false;
  }
  bool StatusLogged(const std::string& text) const {
    for (const TLogEntry& e : log->Entries())
      if (e.levelText == "STATUS  " && e.message == text) return true;
    return false;
  }

  // A backup run of the project into its destination; the project is saved to its file.
  void Backup(TProject& project) {
    std::filesystem::create_directories(dir.P("tmp"));
    TGlobalSetting settings;
    settings.SaveOnDestroy = false;
    settings.TempFolder = dir.W("tmp\\");
    ResetProgressForJob();
    ProgressDone = false;
    ASSERT_EQ(BackupThreadProc(project, settings), TBackupOutcome::Complete);
  }

  // The job runs as the worker would; ProgressDone must be set however it ends.
  TRestoreOutcome Run(const TRestoreJob& job) {
    ResetProgressForJob();
    const TRestoreOutcome outcome = RestoreThreadProc(job);
    EXPECT_TRUE(ProgressDone);
    return outcome;
  }

  TempDir dir;
  std::shared_ptr<TRestoreUi> ui;
  std::shared_ptr<TMemoryLogSink> log;

 private:
  TempDir home_;
};

// A tree with files of distinct contents: nested folders, an empty file, a non-ASCII name,
// names that differ only in case, compressible and incompressible data.
inline void MakeSourceTree(const std::string& root, std::uint32_t seed = 1) {
  const std::string tag = std::to_string(seed);
  WriteFile(root + "/a.txt", "alpha " + tag);
  WriteFile(root + "/A.txt", "capital alpha " + tag);
  WriteFile(root + "/empty.txt", "");
  WriteFile(root + "/docs/report.txt", TextBytes(2000, seed));
  WriteFile(root + "/docs/na\xC3\xAFve caf\xC3\xA9.txt", "unicode " + tag);
  WriteFile(root + "/docs/deep/er/noise.bin", NoiseBytes(300000, seed));
  WriteFile(root + "/pics/photo.raw", NoiseBytes(100000, seed + 7));
}

// Every regular file below a folder, relative to it, sorted.
inline std::vector<std::string> FilesBelow(const std::string& root) {
  std::vector<std::string> files;
  if (!std::filesystem::exists(root)) return files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root))
    if (e.is_regular_file()) files.push_back(std::filesystem::relative(e.path(), root).string());
  std::sort(files.begin(), files.end());
  return files;
}

// diff -r of two trees; its output goes to `out`.
inline bool SameTree(const std::string& a, const std::string& b, std::string* out = nullptr) {
  std::string output;
  const int rc = RunCommand("diff -r " + Quote(a) + " " + Quote(b), &output);
  if (out) *out = output;
  return rc == 0;
}

// A project over one source folder whose archive goes to `archive` (POSIX paths).
inline void SetUpProject(TProject& project, const std::string& name, const std::string& source,
                         const std::string& archive, const std::string& projectFile) {
  project.Name = name;
  project.BackupMode = 1;
  project.DestinationFile = Win(archive);
  project.ProjectFile = Win(projectFile);
  project.Folders.Add(Win(source) + "\\", 0);
}

// An archive written by Info-ZIP zip from a folder named Z, so that its names have the stored
// form, with a "$PRJDEF$.QVP" entry first, encoded by bpj_codec.py, whose snapshot lists every
// file of the source (run 1).
inline void InfoZipArchive(const std::string& work, const std::string& source,
                           const std::string& archive, const std::string& password,
                           const std::string& projectName = "zipped") {
  const std::string stage = work + "/stage";
  std::filesystem::remove_all(stage);
  std::filesystem::create_directories(stage + "/Z" + source);
  ASSERT_EQ(RunCommand("cp -a " + Quote(source) + "/. " + Quote(stage + "/Z" + source)), 0);
  TProject project;
  project.Name = projectName;
  project.DestinationFile = Win(archive);
  project.Folders.Add(Win(source) + "\\", 0);
  for (const std::string& rel : FilesBelow(source)) {
    const std::string path = source + "/" + rel;
    const auto fileTime =
        static_cast<std::int32_t>(platform::shell::DosTimeFromUnix(zip_test::FileTime(path)));
    project.Snapshot.Add(std::make_unique<TRuntimeFile>(Win(path), fileTime, 1));
  }
  WriteFile(work + "/desc.json", Describe(project).Json());
  std::string out;
  ASSERT_EQ(RunCommand(std::string(QUORVA_PYTHON) + " " + QUORVA_TEST_SOURCE_DIR +
                           "/engine/bpj_codec.py encode " + Quote(work + "/desc.json") + " " +
                           Quote(stage + "/$PRJDEF$.QVP"),
                       &out),
            0)
      << out;
  std::filesystem::remove(archive);
  ASSERT_EQ(RunCommand("cd " + Quote(stage) + " && zip -q -r -X " +
                           (password.empty() ? "" : "-P " + Quote(password) + " ") +
                           Quote(archive) + " '$PRJDEF$.QVP' Z",
                       &out),
            0)
      << out;
}

// The node of a folder (Windows form with a trailing backslash), or none.
inline TRestoreNode* NodeOf(const TRestoreTreeModel& tree, const std::string& folder) {
  TRestoreNode* found = nullptr;
  tree.ForEachNode([&](TRestoreNode& node) {
    if (!found && node.Path() == folder) found = &node;
  });
  return found;
}

}  // namespace restore_test
