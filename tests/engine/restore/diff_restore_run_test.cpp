// The differential restore over three backup runs of one project, each file with its own
// contents per run: each restored file comes from the set chosen for it, per file, per column
// and for the whole tree; project files among the sets and sets that cannot be opened are never
// skipped silently.
#include "app/engine/restore/diff_restore_run.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/engine/restore/diff_restore_choices.h"
#include "app/engine/restore/restore_report.h"
#include "tests/engine/restore/restore_test_support.h"

using namespace restore_test;

namespace {

constexpr std::int64_t kT1 = 1'600'000'000;

class DiffRestoreTest : public RestoreTest {
 protected:
  // Run 1 stores every file, run 2 the changed a, b and sub/d, run 3 the changed a and sub/d.
  void SetUp() override {
    RestoreTest::SetUp();
    const std::vector<std::vector<std::string>> changes = {
        {"a.txt", "b.txt", "c.txt", "sub/d.txt", "sub/e.txt"},
        {"a.txt", "b.txt", "sub/d.txt"},
        {"a.txt", "sub/d.txt"}};
    SetUpProject(project, "job", dir.P("src"), dir.P("out/job.qvp"), dir.P("job.bpj"));
    std::filesystem::create_directories(dir.P("out"));
    for (int run = 1; run <= 3; ++run) {
      for (const std::string& f : changes[static_cast<size_t>(run - 1)]) {
        WriteFile(dir.P("src/" + f), Content(f, run));
        zip_test::SetFileTime(dir.P("src/" + f), kT1 + 1000 * run);
      }
      Backup(project);
    }
    sets = {dir.W("out\\job.qvp"), dir.W("out\\job-v002.qvp"), dir.W("out\\job-v003.qvp")};
    for (const std::string& s : sets) ASSERT_TRUE(platform::fs::Exists(s)) << s;
  }

  static std::string Content(const std::string& file, int run) {
    return "run " + std::to_string(run) + " of " + file;
  }
  std::string Path(const std::string& file) const {
    std::string p = dir.W("src\\" + file);
    for (char& c : p)
      if (c == '/') c = '\\';
    return p;
  }
  TRestoreNode* Folder(const std::string& rel) { return NodeOf(page.Tree, dir.W("src\\" + rel)); }
  // Selects the file's folder and gives its row.
  int RowOf(const std::string& file) {
    const size_t slash = file.rfind('/');
    page.Tree.SelectNode(Folder(slash == std::string::npos ? "" : file.substr(0, slash + 1)));
    return page.Tree.FindRow(Path(file));
  }
  int Chosen(const std::string& file) {
    const int row = RowOf(file);
    return page.Tree.Selected()
        ->Data->FindFile(page.Tree.Rows()[static_cast<size_t>(row)].Path)
        ->Run;
  }

  // Checks the whole tree, builds the choices and runs the restore.
  TRestoreOutcome RestoreAll(const TRestoreTargetChoice& target) {
    page.Tree.NodeClick(page.Tree.FirstNode());
    TRestoreJob job;
    EXPECT_TRUE(BuildCompareChoices(page, target, job));
    ResetProgressForJob();
    const TRestoreOutcome outcome = DiffRestoreThreadProc(page, job);
    EXPECT_TRUE(ProgressDone);
    return outcome;
  }

  // The run each restored file came from (0: not restored), below `root`.
  std::map<std::string, int> RunsBelow(const std::string& root) {
    std::map<std::string, int> runs;
    for (const std::string f : {"a.txt", "b.txt", "c.txt", "sub/d.txt", "sub/e.txt"}) {
      const std::string now = ReadFile(root + "/" + f);
      runs[f] = 0;
      for (int run = 1; run <= 3; ++run)
        if (now == Content(f, run)) runs[f] = run;
    }
    return runs;
  }

  TProject project;
  std::vector<std::string> sets;
  TDiffRestorePage page;
};

TEST_F(DiffRestoreTest, EachFileFromTheSetChosenForIt) {
  page.AddCompareSource(sets);
  ASSERT_EQ(page.SetCount(), 3);
  EXPECT_EQ(page.SetName(2), sets[1]);
  // Every file starts from the first set that holds it, and is listed once.
  for (const char* f : {"a.txt", "b.txt", "c.txt", "sub/d.txt"}) EXPECT_EQ(Chosen(f), 1) << f;
  RowOf("a.txt");
  EXPECT_EQ(page.Tree.Rows().size(), 4u);  // sub, a, b, c

  const int a = RowOf("a.txt");
  EXPECT_EQ(CompareCellImage(page, a, 1), 1);
  EXPECT_EQ(CompareCellImage(page, a, 3), 0);
  EXPECT_EQ(CompareCellImage(page, a, 0), -1);
  EXPECT_EQ(CompareCellImage(page, RowOf("c.txt"), 2), -1);  // only in the first set
  EXPECT_EQ(CompareCellImage(page, page.Tree.FindRow(dir.W("src\\sub\\")), 1), -1);

  ChooseFileVersion(page, RowOf("a.txt"), 3);
  EXPECT_EQ(CompareCellImage(page, RowOf("a.txt"), 3), 1);
  EXPECT_EQ(CompareCellImage(page, RowOf("a.txt"), 1), 0);
  ChooseFileVersion(page, RowOf("b.txt"), 2);
  ChooseFileVersion(page, RowOf("c.txt"), 2);  // the second set does not hold it
  ChooseFileVersion(page, RowOf("sub/d.txt"), 2);
  EXPECT_EQ(Chosen("c.txt"), 1);

  std::filesystem::create_directories(dir.P("target"));
  ASSERT_EQ(RestoreAll({true, dir.W("target"), 1}), TRestoreOutcome::Complete) << Errors().size();
  EXPECT_EQ(page.CompareChoices.Versions[0]->Count(), 2);  // c, e
  EXPECT_EQ(page.CompareChoices.Versions[1]->Count(), 2);  // b, d
  EXPECT_EQ(page.CompareChoices.Versions[2]->Count(), 1);  // a
  EXPECT_EQ(RunsBelow(dir.P("target/Z" + dir.P("src"))),
            (std::map<std::string, int>{
                {"a.txt", 3}, {"b.txt", 2}, {"c.txt", 1}, {"sub/d.txt", 2}, {"sub/e.txt", 1}}));
  EXPECT_EQ(ui->panels[1], "Restoring Complete.");
  for (const std::string& s : sets) EXPECT_TRUE(StatusLogged("Restoring from " + s + " ..."));
  EXPECT_TRUE(Errors().empty());
}

// A version chosen for the whole tree applies to every file it holds; a column header to the
// rows of the list. "Remember my choice" holds across the sets.
TEST_F(DiffRestoreTest, VersionForTheWholeTreeAndForAColumn) {
  page.AddCompareSource(sets);
  ChooseTreeVersion(page, 2);
  EXPECT_EQ(Chosen("a.txt"), 2);
  EXPECT_EQ(Chosen("sub/d.txt"), 2);
  EXPECT_EQ(Chosen("c.txt"), 1);
  ChooseTreeVersion(page, 3);
  RowOf("a.txt");
  ChooseColumnVersion(page, 2);  // a and b of the shown folder
  EXPECT_EQ(Chosen("a.txt"), 2);
  EXPECT_EQ(Chosen("sub/d.txt"), 3);

  for (const std::string f : {"a.txt", "b.txt", "c.txt", "sub/d.txt", "sub/e.txt"})
    WriteFile(dir.P("src/" + f), "local");
  ui->overwrites = {{true, true}};
  ASSERT_EQ(RestoreAll({false, "", 0}), TRestoreOutcome::Complete);
  EXPECT_EQ(ui->overwriteAsked.size(), 1u);
  EXPECT_EQ(RunsBelow(dir.P("src")),
            (std::map<std::string, int>{
                {"a.txt", 2}, {"b.txt", 2}, {"c.txt", 1}, {"sub/d.txt", 3}, {"sub/e.txt", 1}}));
}

// A project file is shown as a set but holds no files: it cannot be chosen, and the files only it
// holds are reported as not restored. An unreadable project file is not added.
TEST_F(DiffRestoreTest, ProjectFileSetsCannotBeChosen) {
  WriteFile(dir.P("broken.bpj"), "\x7f\x7f\x7f\x7f");
  page.AddCompareSource({dir.W("broken.bpj"), dir.W("job.bpj"), sets[1], dir.W("notes.txt")});
  EXPECT_EQ(ui->messages, std::vector<std::string>{dir.W("broken.bpj") +
                                                   " is not a valid quorva backup project file."});
  ASSERT_EQ(page.SetCount(), 2);
  EXPECT_FALSE(page.IsArchiveSet(1));
  EXPECT_TRUE(page.IsArchiveSet(2));
  EXPECT_EQ(Chosen("a.txt"), 2);
  EXPECT_EQ(Chosen("c.txt"), 0);
  EXPECT_EQ(CompareCellImage(page, RowOf("c.txt"), 1), 0);
  ChooseFileVersion(page, RowOf("a.txt"), 1);
  ChooseTreeVersion(page, 1);
  EXPECT_EQ(Chosen("a.txt"), 2);
  const auto menu = CompareVersionMenu(page);
  ASSERT_EQ(menu.size(), 2u);
  EXPECT_FALSE(menu[0].Enabled);
  EXPECT_TRUE(menu[1].Enabled);
  EXPECT_EQ(menu[1].Caption, sets[1]);

  ui->messages.clear();
  std::filesystem::create_directories(dir.P("target"));
  EXPECT_EQ(RestoreAll({true, dir.W("target"), 1}), TRestoreOutcome::Incomplete);
  EXPECT_EQ(RunsBelow(dir.P("target/Z" + dir.P("src"))),
            (std::map<std::string, int>{
                {"a.txt", 2}, {"b.txt", 2}, {"c.txt", 0}, {"sub/d.txt", 2}, {"sub/e.txt", 0}}));
  EXPECT_TRUE(ErrorLogged(Path("c.txt")));
  EXPECT_TRUE(ErrorLogged(Path("sub/e.txt")));
  EXPECT_EQ(ui->messages, std::vector<std::string>{RestoreIncompleteText(2)});
  EXPECT_EQ(ui->panels[1], RestoreIncompleteText(2));
}

// A set that cannot be opened when the restore runs: its files are logged, the others restored.
TEST_F(DiffRestoreTest, SetThatCannotBeOpenedIsReported) {
  page.AddCompareSource(sets);
  ChooseTreeVersion(page, 3);
  WriteFile(dir.P("out/job-v003.qvp"), "damaged");
  std::filesystem::create_directories(dir.P("target"));
  EXPECT_EQ(RestoreAll({true, dir.W("target"), 1}), TRestoreOutcome::Incomplete);
  EXPECT_EQ(RunsBelow(dir.P("target/Z" + dir.P("src"))),
            (std::map<std::string, int>{
                {"a.txt", 0}, {"b.txt", 1}, {"c.txt", 1}, {"sub/d.txt", 0}, {"sub/e.txt", 1}}));
  EXPECT_TRUE(ErrorLogged("The backup set " + sets[2] + " cannot be opened"));
  EXPECT_TRUE(ErrorLogged(Path("sub/d.txt")));
  EXPECT_EQ(ui->panels[1], RestoreIncompleteText(2));
}

TEST_F(DiffRestoreTest, NothingCheckedAndReset) {
  page.AddCompareSource(sets);
  TRestoreJob job;
  EXPECT_FALSE(BuildCompareChoices(page, {}, job));
  EXPECT_EQ(ui->panels[1], "No file selected!");
  EXPECT_FALSE(BuildCompareChoices(page, {true, dir.W("missing"), 0}, job));
  EXPECT_EQ(ui->messages, std::vector<std::string>{"Please choose a valid directory."});

  page.ResetCompare();
  EXPECT_EQ(page.SetCount(), 0);
  EXPECT_EQ(page.Tree.NodeCount(), 0);
  EXPECT_TRUE(CompareVersionMenu(page).empty());
  page.AddCompareSource({sets[2], sets[0]});
  EXPECT_EQ(page.SetName(1), sets[2]);
  EXPECT_EQ(page.SetName(2), sets[0]);
  EXPECT_EQ(Chosen("c.txt"), 2);
  EXPECT_EQ(Chosen("a.txt"), 1);
}

TEST(DiffRestoreSpans, SpansAndBases) {
  struct TCase {
    std::vector<int> counts;
    std::vector<int> spans, bases;
  } cases[] = {
      {{10, 30, 60}, {10, 30, 60}, {0, 10, 40}},
      {{1, 1, 1}, {33, 33, 33}, {0, 33, 66}},
      {{1, 7}, {12, 88}, {0, 12}},  // 12.5 and 87.5: halves to even
      {{0, 4}, {0, 100}, {0, 0}},
      {{0}, {0}, {0}},
  };
  for (const TCase& c : cases) {
    const auto spans = DiffRestoreSpans(c.counts);
    ASSERT_EQ(spans.size(), c.counts.size());
    for (size_t i = 0; i < spans.size(); ++i) {
      EXPECT_EQ(spans[i].Span, c.spans[i]) << i;
      EXPECT_EQ(spans[i].Base, c.bases[i]) << i;
    }
  }
}

}  // namespace
