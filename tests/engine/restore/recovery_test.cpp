// "Recover from backup sets...": the project rebuilt from an archive equals the one that wrote
// it; a taken, unusable or existing name is changed through the rename dialog, and cancelling
// it saves nothing.
#include <filesystem>
#include <string>
#include <vector>

#include "app/engine/archive/zip.h"
#include "app/engine/project/projects.h"
#include "app/engine/restore/project_recovery.h"
#include "platform/shell/shell.h"
#include "tests/engine/restore/restore_test_support.h"

using namespace restore_test;

namespace {

class RecoveryTest : public RestoreTest {
 protected:
  std::string Jobs() const { return platform::shell::ProgramFolder() + "QVP_JOBS\\"; }
  std::string JobsPosix() const { return *platform::fs::ToPosix(Jobs()); }

  // An archive whose definition carries the name.
  std::string ArchiveNamed(const std::string& name) {
    TProject project;
    project.Name = name;
    EXPECT_TRUE(project.SaveToFile(dir.W("def.bpj")));
    WriteFile(dir.P("payload.txt"), "payload");
    const std::string archive = dir.W("named.qvp");
    TZip zip;
    zip.CreateForWrite(archive);
    zip.AddDefinition(dir.W("def.bpj"));
    zip.AddFile(dir.W("payload.txt"));
    EXPECT_TRUE(zip.Execute());
    return archive;
  }

  TProjects projects;
};

TEST_F(RecoveryTest, RebuildsTheProjectThatWroteTheArchive) {
  MakeSourceTree(dir.P("src"));
  WriteFile(dir.P("extra.txt"), "extra");
  TProject listed;
  SetUpProject(listed, "Büro job", dir.P("src"), dir.P("out.qvp"), dir.P("listed.bpj"));
  listed.CompressionLevel = 2;
  listed.UsePassword = true;
  listed.Password = "pw";
  listed.OverwriteMode = 2;
  listed.FtpHost = "ftp.example.org";
  listed.MailSubject = "Betreff";
  listed.Reserved = {1, 2, 3, 4, 5, 6, 7, 8};
  listed.Files.Add(dir.W("extra.txt"), 0);
  listed.ExcludedPatterns.Add("*.tmp", 0);
  listed.ExcludedFolders.Add(dir.W("src\\pics\\"), 0);
  Backup(listed);
  ui->passwords = {std::string("pw")};

  TProject* recovered = ExtractBPJfromQVPExecute(dir.W("out.qvp"), projects);
  ASSERT_NE(recovered, nullptr);
  EXPECT_EQ(projects.FindByName("Büro job"), recovered);
  EXPECT_EQ(recovered->ProjectFile, Jobs() + "Büro job.bpj");
  EXPECT_EQ(Describe(*recovered).Json(), Describe(listed).Json());
  EXPECT_GT(recovered->Snapshot.Count(), 0);

  // The saved file holds the same project.
  TProjects reloaded;
  reloaded.LoadFromFolder(Jobs());
  ASSERT_EQ(reloaded.Count(), 1);
  EXPECT_EQ(Describe(*reloaded.Get(0)).Json(), Describe(listed).Json());
  const auto row = RecoveredProjectRow(*recovered);
  EXPECT_EQ(row[0], "Büro job");
  EXPECT_EQ(row[1], listed.DescribeDestination());
  EXPECT_EQ(row[2], "Not yet");
  EXPECT_EQ(row[3], "0");
}

// The dialog is shown until the name is free (names ignore case in the list).
TEST_F(RecoveryTest, RenamesWhileTheNameIsTaken) {
  auto existing = std::make_unique<TProject>();
  existing->Name = "Job";
  projects.Add(std::move(existing));
  ui->newNames = {std::string("JOB"), std::string("renamed")};
  TProject* recovered = ExtractBPJfromQVPExecute(ArchiveNamed("job"), projects);
  ASSERT_NE(recovered, nullptr);
  EXPECT_EQ(ui->renameAsked, (std::vector<std::string>{"job", "JOB"}));
  EXPECT_EQ(recovered->Name, "renamed");
  EXPECT_TRUE(std::filesystem::exists(JobsPosix() + "renamed.bpj"));
  EXPECT_EQ(projects.Count(), 2);
}

TEST_F(RecoveryTest, CancellingTheDialogSavesNothing) {
  auto existing = std::make_unique<TProject>();
  existing->Name = "job";
  projects.Add(std::move(existing));
  EXPECT_EQ(ExtractBPJfromQVPExecute(ArchiveNamed("job"), projects), nullptr);
  EXPECT_EQ(ui->renameAsked.size(), 1u);
  EXPECT_EQ(projects.Count(), 1);
  EXPECT_TRUE(FilesBelow(JobsPosix()).empty());
}

// A name that cannot be a file name in the project folder, or that names a project file the
// list does not hold, is changed too; nothing is written outside the folder or over the file.
TEST_F(RecoveryTest, UnusableAndExistingNamesAreChanged) {
  std::filesystem::create_directories(JobsPosix());
  WriteFile(JobsPosix() + "kept.bpj", "another project's file");
  for (const std::string bad : {"../../evil", "a\\b", "", "..", "c:x", "tab\there", "kept"}) {
    ui->renameAsked.clear();
    ui->newNames = {std::string("safe")};
    TProject* recovered = ExtractBPJfromQVPExecute(ArchiveNamed(bad), projects);
    ASSERT_NE(recovered, nullptr) << bad;
    EXPECT_EQ(ui->renameAsked, std::vector<std::string>{bad});
    EXPECT_EQ(recovered->Name, "safe");
    EXPECT_EQ(FilesBelow(JobsPosix()), (std::vector<std::string>{"kept.bpj", "safe.bpj"})) << bad;
    EXPECT_EQ(ReadFile(JobsPosix() + "kept.bpj"), "another project's file");
    EXPECT_EQ(Errors().size(), 1u) << bad;
    log->Clear();
    projects.Clear();
    std::filesystem::remove(JobsPosix() + "safe.bpj");
  }
  EXPECT_FALSE(std::filesystem::exists(dir.P("evil.bpj")));
  for (const std::string good : {"job", "Büro 2024", "a.b", "...x"})
    EXPECT_TRUE(IsValidProjectFileName(good)) << good;
}

TEST_F(RecoveryTest, UnreadableArchive) {
  WriteFile(dir.P("bad.qvp"), "garbage");
  EXPECT_EQ(ExtractBPJfromQVPExecute(dir.W("bad.qvp"), projects), nullptr);
  EXPECT_EQ(ui->messages,
            std::vector<std::string>{"Open file failed. Please verify that the QVP file is valid"});
  EXPECT_EQ(projects.Count(), 0);
}

}  // namespace
