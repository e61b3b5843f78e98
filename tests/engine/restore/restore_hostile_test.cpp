// A hostile archive, written with Python's zipfile, whose definition lists its hostile entries so
// that the restore tree shows them: nothing is written outside the target, and every entry that
// is refused or fails is logged; the run reports that it was incomplete.
#include <filesystem>
#include <string>
#include <vector>

#include "app/engine/restore/backup_sets.h"
#include "app/engine/restore/restore_report.h"
#include "app/engine/restore/restore_selection.h"
#include "tests/engine/restore/restore_test_support.h"

using namespace restore_test;

namespace {

class RestoreHostileTest : public RestoreTest {
 protected:
  void SetUp() override {
    RestoreTest::SetUp();
    src = dir.P("a/b/c/src");
    std::filesystem::create_directories(dir.P("outside"));
    const std::string z = "Z" + src;  // the stored form, with '/'
    longName = std::string(300, 'L') + ".txt";
    // A path longer than the system takes, in folders it still takes.
    std::string deep;
    for (int i = 0; i < 1900; ++i) deep += "d/";
    deepName = std::string(250, 'D') + ".txt";
    // name, kind (f file, l link), data
    entries = {
        {z + "/ok.txt", "f", "fine"},
        {z + "/../../../../evil-dotdot.txt", "f", "evil"},  // lands in the test folder
        {"Z/../../evil-up.txt", "f", "evil"},               // below another folder: lands beside it
        {dir.P("evil-absolute.txt"), "f", "evil"},
        {"Z:" + src + "/evil-colon.txt", "f", "evil"},
        {z + "/C:/evil-drive.txt", "f", "evil"},
        {z + "/link", "l", dir.P("outside")},
        {z + "/link/through.txt", "f", "inside"},
        {z + "/" + longName, "f", "long"},
        {z + "/" + deep + deepName, "f", "deep"},
    };
    // The definition lists every entry that has a drive path.
    TProject project;
    project.Name = "hostile";
    for (const auto& e : entries)
      if (e[0].rfind("Z/", 0) == 0) {
        std::string path = "Z:" + e[0].substr(1);
        for (char& c : path)
          if (c == '/') c = '\\';
        project.Snapshot.Add(std::make_unique<TRuntimeFile>(path, 0, 1));
      }
    WriteFile(dir.P("desc.json"), Describe(project).Json());
    std::string out;
    ASSERT_EQ(RunCommand(std::string(QUORVA_PYTHON) + " " + QUORVA_TEST_SOURCE_DIR +
                             "/engine/bpj_codec.py encode " + Quote(dir.P("desc.json")) + " " +
                             Quote(dir.P("def.bpj")),
                         &out),
              0)
        << out;
    std::string list;
    for (const auto& e : entries) list += e[0] + '\0' + e[1] + '\0' + e[2] + '\n';
    WriteFile(dir.P("entries.txt"), list);
    WriteFile(dir.P("make.py"), R"PY(import sys, zipfile
arc, definition, listing = sys.argv[1:4]
with zipfile.ZipFile(arc, 'w') as z:
    z.write(definition, '$PRJDEF$.QVP')
    for line in open(listing, encoding='utf-8').read().split('\n'):
        if not line:
            continue
        name, kind, data = line.split('\0')
        info = zipfile.ZipInfo(name)
        if kind == 'l':
            info.create_system = 3
            info.external_attr = 0o120777 << 16
        z.writestr(info, data)
)PY");
    ASSERT_EQ(RunCommand(std::string(QUORVA_PYTHON) + " " + Quote(dir.P("make.py")) + " " +
                             Quote(dir.P("hostile.qvp")) + " " + Quote(dir.P("def.bpj")) + " " +
                             Quote(dir.P("entries.txt")),
                         &out),
              0)
        << out;
    before = FilesBelow(dir.Posix());
  }

  // Files that appeared outside `allowed` (relative to the test folder).
  std::vector<std::string> NewFilesOutside(const std::string& allowed) const {
    std::vector<std::string> added;
    for (const std::string& f : FilesBelow(dir.Posix()))
      if (f.rfind(allowed, 0) != 0 && std::find(before.begin(), before.end(), f) == before.end())
        added.push_back(f);
    return added;
  }

  void ExpectEveryRefusalLogged() {
    for (const std::string& part : {std::string("evil-dotdot.txt"), std::string("evil-drive.txt"),
                                    std::string("link\""), longName, deepName})
      EXPECT_TRUE(ErrorLogged(part)) << part;
    EXPECT_FALSE(ErrorLogged("ok.txt"));
    EXPECT_FALSE(ErrorLogged("through.txt"));
  }

  std::string src, longName, deepName;
  std::vector<std::vector<std::string>> entries;
  std::vector<std::string> before;
};

TEST_F(RestoreHostileTest, AnotherFolderKeepsEverythingInside) {
  TRestorePage page;
  ASSERT_TRUE(page.ImportBackupSet(dir.W("hostile.qvp")));
  page.Tree.NodeClick(page.Tree.FirstNode());
  std::filesystem::create_directories(dir.P("target"));
  TRestoreJob job;
  ASSERT_TRUE(
      PrepareRestoreJob(page.BackupSets.Text(), {true, dir.W("target"), 1}, page.Tree, job));
  const TRestoreOutcome outcome = Run(job);

  EXPECT_EQ(outcome, TRestoreOutcome::Incomplete);
  const std::string z = "Z" + src;
  EXPECT_EQ(ReadFile(dir.P("target/" + z + "/ok.txt")), "fine");
  EXPECT_EQ(ReadFile(dir.P("target/" + z + "/link/through.txt")), "inside");
  EXPECT_TRUE(std::filesystem::is_directory(dir.P("target/" + z + "/link")));
  EXPECT_EQ(NewFilesOutside("target/"), std::vector<std::string>{});
  EXPECT_TRUE(std::filesystem::is_empty(dir.P("outside")));
  ExpectEveryRefusalLogged();
  EXPECT_TRUE(ErrorLogged("evil-up.txt"));
  ASSERT_EQ(ui->messages.size(), 1u);
  EXPECT_EQ(ui->messages[0].rfind("Restore incomplete: ", 0), 0u) << ui->messages[0];
}

// The original place: only the source folder is checked, so that nothing the layer let through
// could leave the test folder; what would land beside it is refused.
TEST_F(RestoreHostileTest, OriginalPlaceKeepsEverythingInsideTheSource) {
  TRestorePage page;
  ASSERT_TRUE(page.ImportBackupSet(dir.W("hostile.qvp")));
  TRestoreNode* node = NodeOf(page.Tree, dir.W("a/b/c/src/"));
  ASSERT_NE(node, nullptr);
  page.Tree.NodeClick(node);
  TRestoreJob job;
  ASSERT_TRUE(PrepareRestoreJob(page.BackupSets.Text(), {false, "", 1}, page.Tree, job));
  EXPECT_EQ(Run(job), TRestoreOutcome::Incomplete);
  EXPECT_EQ(ReadFile(src + "/ok.txt"), "fine");
  EXPECT_EQ(ReadFile(src + "/link/through.txt"), "inside");
  EXPECT_EQ(NewFilesOutside("a/b/c/src/"), std::vector<std::string>{});
  EXPECT_TRUE(std::filesystem::is_empty(dir.P("outside")));
  ExpectEveryRefusalLogged();
}

}  // namespace
