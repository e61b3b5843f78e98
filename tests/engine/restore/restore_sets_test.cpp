// The backup sets of a project, the definition stored in an archive, and the Restore page's
// set list: the newest set, sets that cannot be read, sets imported by hand.
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/engine/archive/zip.h"
#include "app/engine/project/projects.h"
#include "app/engine/restore/backup_sets.h"
#include "tests/engine/restore/restore_test_support.h"

using namespace restore_test;

namespace {

class RestoreSetsTest : public RestoreTest {
 protected:
  void SetUp() override {
    RestoreTest::SetUp();
    std::filesystem::create_directories(dir.P("bk"));
    auto stored = std::make_unique<TProject>();
    stored->Name = "daily";
    stored->DestinationFile = dir.W("bk\\daily.qvp");
    stored->Snapshot.Add(std::make_unique<TRuntimeFile>("Z:\\stored\\x.txt", 0, 1));
    projects.Add(std::move(stored));
  }

  // An archive whose definition names the project and lists one file, written at a chosen
  // time (seconds and nanoseconds).
  void MakeArchive(const std::string& name, const std::string& listed, std::int64_t sec,
                   long nsec) {
    TProject project;
    project.Name = "daily";
    project.Snapshot.Add(std::make_unique<TRuntimeFile>(listed, 0, 1));
    ASSERT_TRUE(project.SaveToFile(dir.W("def.bpj")));
    WriteFile(dir.P("payload.txt"), "payload");
    TZip zip;
    zip.CreateForWrite(dir.W("bk\\" + name));
    zip.AddDefinition(dir.W("def.bpj"));
    zip.AddFile(dir.W("payload.txt"));
    ASSERT_TRUE(zip.Execute());
    const struct timespec times[2] = {{sec, nsec}, {sec, nsec}};
    ASSERT_EQ(utimensat(AT_FDCWD, dir.P("bk/" + name).c_str(), times, 0), 0);
  }

  static std::vector<std::string> TopPaths(const TRestoreTreeModel& tree) {
    std::vector<std::string> paths;
    tree.ForEachNode([&](TRestoreNode& n) {
      for (const auto& f : n.Data->Files.Files()) paths.push_back(f->Path);
    });
    return paths;
  }

  TProjects projects;
  TRestorePage page;
};

// Every set whose name begins with the destination's base name is listed; the newest by full
// file time is read and shown.
TEST_F(RestoreSetsTest, NewestSetIsShown) {
  MakeArchive("daily.qvp", "Z:\\one\\a.txt", 1700000000, 200'000'000);
  MakeArchive("daily-v001.qvp", "Z:\\two\\b.txt", 1700000000, 700'000'000);
  MakeArchive("daily_old.qvp", "Z:\\three\\c.txt", 1699999000, 0);
  MakeArchive("weekly.qvp", "Z:\\four\\d.txt", 1800000000, 0);
  page.Tree.Selection.SetState("Z:\\left\\over", 1);
  page.FindBackupSets(projects, "DAILY");

  auto items = page.BackupSets.Items();
  std::sort(items.begin(), items.end());
  EXPECT_EQ(items, (std::vector<std::string>{dir.W("bk\\daily-v001.qvp"), dir.W("bk\\daily.qvp"),
                                             dir.W("bk\\daily_old.qvp")}));
  EXPECT_EQ(page.BackupSets.Text(), dir.W("bk\\daily-v001.qvp"));
  EXPECT_EQ(TopPaths(page.Tree), std::vector<std::string>{"Z:\\two\\b.txt"});
  EXPECT_EQ(page.Tree.Selection.GetState("Z:\\left\\over"), -1);
  EXPECT_EQ(page.RestoreArchiveInfo.rfind("Name : daily\rCreated at : ", 0), 0u);
  EXPECT_TRUE(StatusLogged("Searching for backed up files from project daily"));
  EXPECT_TRUE(StatusLogged(dir.W("bk\\daily_old.qvp") + " found"));
  EXPECT_TRUE(StatusLogged("Latest backed up file found " + dir.W("bk\\daily-v001.qvp")));
}

// Without a set, or when the newest cannot be read, the project's own snapshot is shown.
TEST_F(RestoreSetsTest, WithoutAReadableSetTheStoredSnapshotIsShown) {
  page.FindBackupSets(projects, "daily");
  EXPECT_EQ(page.BackupSets.Items(), std::vector<std::string>{std::string(kNoBackupSetsFound)});
  EXPECT_EQ(page.BackupSets.Text(), kNoBackupSetsFound);
  EXPECT_EQ(TopPaths(page.Tree), std::vector<std::string>{"Z:\\stored\\x.txt"});

  MakeArchive("daily.qvp", "Z:\\one\\a.txt", 1700000000, 0);
  WriteFile(dir.P("bk/daily-v002.qvp"), "not an archive");
  page.FindBackupSets(projects, "daily");
  EXPECT_EQ(page.BackupSets.Items(), std::vector<std::string>{dir.W("bk\\daily.qvp")});
  EXPECT_EQ(page.BackupSets.Text(), kNoBackupSetsFound);
  EXPECT_EQ(page.BackupSets.ItemIndex(), -1);
  EXPECT_EQ(TopPaths(page.Tree), std::vector<std::string>{"Z:\\stored\\x.txt"});
  EXPECT_TRUE(ErrorLogged("Invalid backup sets. Please check " + dir.W("bk\\daily-v002.qvp")));

  // An unknown project changes nothing.
  page.FindBackupSets(projects, "nightly");
  EXPECT_EQ(page.BackupSets.Items().size(), 1u);
}

// Choosing a set that cannot be read removes it; a set imported twice is listed once, and the
// "No backup sets found!" item goes once a set is read.
TEST_F(RestoreSetsTest, ChoosingAndImportingSets) {
  page.FindBackupSets(projects, "daily");
  WriteFile(dir.P("elsewhere/bad.qvp"), "garbage");
  EXPECT_FALSE(page.ImportBackupSet(dir.W("elsewhere\\bad.qvp")));
  EXPECT_EQ(ui->messages, std::vector<std::string>{"Can not open archive file"});
  EXPECT_EQ(page.BackupSets.Items(), std::vector<std::string>{std::string(kNoBackupSetsFound)});

  MakeArchive("daily.qvp", "Z:\\one\\a.txt", 1700000000, 0);
  page.Tree.Selection.SetState("Z:\\one\\a.txt", 1);
  ASSERT_TRUE(page.ImportBackupSet(dir.W("bk\\daily.qvp")));
  ASSERT_TRUE(page.ImportBackupSet(dir.W("bk\\daily.qvp")));
  EXPECT_EQ(page.BackupSets.Items(), std::vector<std::string>{dir.W("bk\\daily.qvp")});
  EXPECT_EQ(page.BackupSets.ItemIndex(), 0);
  EXPECT_EQ(TopPaths(page.Tree), std::vector<std::string>{"Z:\\one\\a.txt"});
  EXPECT_EQ(page.Tree.Selection.GetState("Z:\\one\\a.txt"), -1);
  EXPECT_TRUE(StatusLogged("Reading project information from " + dir.W("bk\\daily.qvp")));
}

// What the definition reader gives and logs for archives of every kind.
TEST_F(RestoreSetsTest, ReadProjectFromArchive) {
  MakeArchive("good.qvp", "Z:\\one\\a.txt", 1700000000, 0);
  WriteFile(dir.P("garbage.qvp"), std::string(5000, 'x'));
  WriteFile(dir.P("plain/file.txt"), "no definition");
  WriteFile(dir.P("short.bpj"), std::string("\x05\x00\x00\x00"
                                            "da",
                                            6));  // cut off in its name
  ASSERT_EQ(RunCommand("cd " + Quote(dir.P("plain")) + " && zip -q ../plain.zip file.txt"), 0);
  ASSERT_EQ(RunCommand("cd " + Quote(dir.Posix()) +
                       " && cp short.bpj '$PRJDEF$.QVP' && "
                       "zip -q cut.qvp '$PRJDEF$.QVP'"),
            0);
  struct TCase {
    std::string path;
    bool project;
    std::string error;
  } cases[] = {
      {dir.W("bk\\good.qvp"), true, ""},
      {dir.W("missing.qvp"), false, "Invalid file name. Please check " + dir.W("missing.qvp")},
      {dir.W("garbage.qvp"), false, "Invalid backup sets. Please check " + dir.W("garbage.qvp")},
      {dir.W("cut.qvp"), false, "Invalid backup sets. Please check " + dir.W("cut.qvp")},
      {dir.W("plain.zip"), false, ""},
  };
  for (const TCase& c : cases) {
    log->Clear();
    ProgressCancelled = true;
    const auto project = ReadProjectFromArchive(c.path);
    // Cleared once the archive is found to exist.
    EXPECT_EQ(ProgressCancelled.load(), c.path == dir.W("missing.qvp")) << c.path;
    EXPECT_EQ(project != nullptr, c.project) << c.path;
    if (project) {
      EXPECT_EQ(project->Name, "daily");
    }
    EXPECT_EQ(Errors(),
              c.error.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.error})
        << c.path;
  }
}

}  // namespace
