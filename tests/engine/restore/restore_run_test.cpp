// The restore run end to end: archives of the backup run and of Info-ZIP zip (with and without
// a password, split into volumes) restored from the Restore page's model, whole and in part, to
// the original place and to another folder, compared with the source by diff -r.
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/engine/restore/backup_sets.h"
#include "app/engine/restore/restore_report.h"
#include "app/engine/restore/restore_selection.h"
#include "tests/engine/restore/restore_test_support.h"

using namespace restore_test;

namespace {

struct TArchiveCase {
  const char* name;
  bool infoZip;  // else the backup run writes it
  const char* password;
  bool split;
};

class RestoreArchiveTest : public RestoreTest, public ::testing::WithParamInterface<TArchiveCase> {
 protected:
  void SetUp() override {
    RestoreTest::SetUp();
    source = dir.P("src");
    MakeSourceTree(source);
    const TArchiveCase& c = GetParam();
    if (c.split) WriteFile(source + "/pics/big.raw", NoiseBytes(3'000'000, 11));
    archive = dir.P("out/job.qvp");
    std::filesystem::create_directories(dir.P("out"));
    if (c.infoZip) {
      InfoZipArchive(dir.P("zipwork"), source, archive, c.password);
    } else {
      TProject project;
      SetUpProject(project, "job", source, archive, dir.P("job.bpj"));
      project.UsePassword = *c.password != 0;
      project.Password = c.password;
      project.Split = c.split;
      project.SplitSizeIndex = 0;
      Backup(project);
    }
    if (c.split) {
      ASSERT_TRUE(std::filesystem::exists(dir.P("out/job.001")));
    }
    for (int i = 0; i < 4; ++i) ui->passwords.push_back(std::string(c.password));
  }

  // The Restore page with the archive imported, as "Import from other backup sets" does.
  void Load(TRestorePage& page) {
    ASSERT_TRUE(page.ImportBackupSet(Win(archive)));
    ASSERT_NE(page.Tree.FirstNode(), nullptr);
  }

  TRestoreOutcome Restore(const TRestorePage& page, const TRestoreTargetChoice& target) {
    TRestoreJob job;
    EXPECT_TRUE(PrepareRestoreJob(page.BackupSets.Text(), target, page.Tree, job));
    return Run(job);
  }

  std::string source, archive;
};

TEST_P(RestoreArchiveTest, WholeTreeToAnotherFolderAndToTheOriginalPlace) {
  TRestorePage page;
  Load(page);
  page.Tree.NodeClick(page.Tree.FirstNode());

  const std::string target = dir.P("target");
  std::filesystem::create_directories(target);
  ASSERT_EQ(Restore(page, {true, Win(target), 1}), TRestoreOutcome::Complete) << Errors().size();
  std::string diff;
  EXPECT_TRUE(SameTree(source, target + "/Z" + source, &diff)) << diff;
  // Nothing else, the project definition least of all.
  std::vector<std::string> expected;
  for (const std::string& f : FilesBelow(source)) expected.push_back("Z" + source + "/" + f);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FilesBelow(target), expected);
  EXPECT_EQ(ProgressStatus.Get(), "Restore complete.");
  EXPECT_EQ(ui->panels[1], "Restore complete.");

  std::filesystem::rename(source, dir.P("orig"));
  ASSERT_EQ(Restore(page, {false, "", 0}), TRestoreOutcome::Complete);
  EXPECT_TRUE(SameTree(dir.P("orig"), source, &diff)) << diff;
  EXPECT_TRUE(Errors().empty()) << Errors().front();
  // The password was asked for, the volumes were confirmed in the volume dialog.
  EXPECT_EQ(ui->passwordPrompts > 0, *GetParam().password != 0);
  EXPECT_EQ(!ui->chooseTitles.empty(), GetParam().split);
}

// A checked folder restores its subfolders too; a folder with one file unchecked restores its
// other files one by one; a single checked file alone.
TEST_P(RestoreArchiveTest, CheckedFoldersAndSingleFiles) {
  TRestorePage page;
  Load(page);
  TRestoreTreeModel& tree = page.Tree;
  TRestoreNode* src = NodeOf(tree, Win(source) + "\\");
  TRestoreNode* docs = NodeOf(tree, Win(source + "/docs") + "\\");
  ASSERT_TRUE(src && docs);
  tree.NodeClick(docs);
  tree.SelectNode(docs);
  tree.RowClick(tree.FindRow(Win(source + "/docs/report.txt")));
  EXPECT_EQ(docs->State, kStatePartly);
  tree.SelectNode(src);
  tree.RowClick(tree.FindRow(Win(source + "/a.txt")));

  const std::string target = dir.P("target");
  std::filesystem::create_directories(target);
  ASSERT_EQ(Restore(page, {true, Win(target), 0}), TRestoreOutcome::Complete);
  const std::string z = "Z" + source;
  EXPECT_EQ(FilesBelow(target),
            (std::vector<std::string>{z + "/a.txt", z + "/docs/deep/er/noise.bin",
                                      z + "/docs/na\xC3\xAFve caf\xC3\xA9.txt"}));
  for (const std::string& f : FilesBelow(target))  // "Z/tmp/..." holds the file "/tmp/..."
    EXPECT_EQ(ReadFile(target + "/" + f), ReadFile(f.substr(1))) << f;
}

INSTANTIATE_TEST_SUITE_P(Archives, RestoreArchiveTest,
                         ::testing::Values(TArchiveCase{"BackupRun", false, "", false},
                                           TArchiveCase{"BackupRunPassword", false, "geheim",
                                                        false},
                                           TArchiveCase{"BackupRunSplit", false, "", true},
                                           TArchiveCase{"InfoZip", true, "", false},
                                           TArchiveCase{"InfoZipPassword", true, "s3cret", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// Three folder items and one file item: 25, 50, 75 and 100 percent.
TEST_F(RestoreTest, ProgressByItems) {
  for (int i = 1; i <= 4; ++i) WriteFile(dir.P("src/f" + std::to_string(i) + "/x"), "x");
  TProject project;
  SetUpProject(project, "job", dir.P("src"), dir.P("job.qvp"), dir.P("job.bpj"));
  Backup(project);
  TRestoreJob job;
  job.RestoreArchivePath = dir.W("job.qvp");
  for (int i = 1; i <= 3; ++i)
    job.RestoreFolderItems.Add(dir.W("src/f" + std::to_string(i) + "/"), 0);
  job.RestoreFileItems.Add(dir.W("src/f4/x"), 0);
  job.RestoreOverwriteIndex = 0;  // every file exists: each is asked for
  for (int i = 0; i < 4; ++i) ui->overwrites.push_back({true, false});
  ASSERT_EQ(Run(job), TRestoreOutcome::Complete);
  EXPECT_EQ(ui->positionsAtOverwrite, (std::vector<int>{0, 25, 50, 75}));
  EXPECT_EQ(ProgressPosition, 100);
}

// A restored file gets the permissions of the file it replaced, a new one those of a new file.
TEST_F(RestoreTest, RestoredFilesTakeTheirPermissions) {
  WriteFile(dir.P("src/new.txt"), "new");
  WriteFile(dir.P("src/private.txt"), "private");
  WriteFile(dir.P("src/tool.sh"), "#!/bin/sh\n");
  TProject project;
  SetUpProject(project, "job", dir.P("src"), dir.P("job.qvp"), dir.P("job.bpj"));
  Backup(project);
  std::filesystem::remove(dir.P("src/new.txt"));
  chmod(dir.P("src/private.txt").c_str(), 0640);
  chmod(dir.P("src/tool.sh").c_str(), 0755);

  TRestoreJob job;
  job.RestoreArchivePath = dir.W("job.qvp");
  job.RestoreFolderItems.Add(dir.W("src/"), 0);
  job.RestoreOverwriteIndex = 1;
  ASSERT_EQ(Run(job), TRestoreOutcome::Complete);
  auto mode = [&](const char* name) {
    struct stat st {};
    stat(dir.P(std::string("src/") + name).c_str(), &st);
    return st.st_mode & 07777;
  };
  EXPECT_EQ(mode("new.txt"), 0644u);
  EXPECT_EQ(mode("private.txt"), 0640u);
  EXPECT_EQ(mode("tool.sh"), 0755u);
  EXPECT_EQ(ReadFile(dir.P("src/new.txt")), "new");
}

// An archive that is missing or no archive at all is reported, and the run still ends.
TEST_F(RestoreTest, MissingOrDamagedArchiveIsReported) {
  WriteFile(dir.P("damaged.qvp"), "PK\3\4 this is no archive");
  for (const std::string name : {"missing.qvp", "damaged.qvp"}) {
    ui->messages.clear();
    TRestoreJob job;
    job.RestoreArchivePath = dir.W(name);
    job.RestoreFileItems.Add(dir.W("src/a.txt"), 0);
    EXPECT_EQ(Run(job), TRestoreOutcome::Failed) << name;
    ASSERT_EQ(ui->messages.size(), 1u) << name;
    EXPECT_NE(ui->messages[0].find(dir.W(name)), std::string::npos) << ui->messages[0];
    EXPECT_TRUE(ErrorLogged(dir.W(name))) << name;
    EXPECT_EQ(ui->panels[1], "Restore failed.");
  }
}

// A chosen file the archive does not hold is reported: the run is incomplete.
TEST_F(RestoreTest, FileMissingFromTheArchiveMakesTheRunIncomplete) {
  WriteFile(dir.P("src/a.txt"), "a");
  TProject project;
  SetUpProject(project, "job", dir.P("src"), dir.P("job.qvp"), dir.P("job.bpj"));
  Backup(project);
  TRestoreJob job;
  job.RestoreArchivePath = dir.W("job.qvp");
  job.RestoreFileItems.Add(dir.W("src/a.txt"), 0);
  job.RestoreFileItems.Add(dir.W("src/gone.txt"), 0);
  job.RestoreOverwriteIndex = 1;
  EXPECT_EQ(Run(job), TRestoreOutcome::Incomplete);
  EXPECT_EQ(ui->panels[1], RestoreIncompleteText(1));
  EXPECT_EQ(ui->messages, std::vector<std::string>{RestoreIncompleteText(1)});
  EXPECT_TRUE(ErrorLogged("gone.txt"));
}

}  // namespace
