#include "app/engine/selection/selection_validate.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "app/engine/log.h"
#include "app/engine/progress.h"
#include "app/engine/project/project.h"
#include "app/engine/selection/selection_row_format.h"
#include "app/engine/selection/selection_tree_model.h"
#include "tests/support/temp_dir.h"

namespace {

using Paths = std::vector<std::string>;

constexpr std::uint64_t k4G = 4ull << 30;

// root/A holds the subfolders B, C and D, a file of 4 GiB (sparse), an excluded file, a link
// back to root and a FIFO; root/pipe is a FIFO chosen as a file of its own.
class ValidateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUORVA_HOME", home_.Posix().c_str(), 1);
    setenv("XDG_CONFIG_HOME", home_.Posix().c_str(), 1);
    ProgressCancelled = false;
    for (const char* f : {"A/a.txt", "A/skip.tmp", "A/B/b.txt", "A/C/c.txt", "A/D/d.txt",
                          "A/D/deeper/e.txt", "top.txt", "other.txt"})
      WriteFile(dir_.P("root/") + f, "12345");
    WriteFile(Big(), "");
    ASSERT_EQ(truncate(Big().c_str(), static_cast<off_t>(k4G)), 0);
    ASSERT_EQ(symlink(dir_.P("root").c_str(), dir_.P("root/A/up").c_str()), 0);
    ASSERT_EQ(mkfifo(dir_.P("root/A/fifo").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(dir_.P("root/pipe").c_str(), 0600), 0);
    project_.ExcludedPatterns.Add("*.TMP", 0);
    sink_ = std::make_shared<TMemoryLogSink>();
    SetLogSink(sink_);

    // A checked as a whole, and two files of root: the FIFO and one removed afterwards.
    TSelectionNode* a = tree_.SelectPath(W("A"));
    ASSERT_NE(a, nullptr);
    tree_.SHTVClick(a);
    tree_.SelectPath(W(""));
    for (const char* name : {"pipe", "top.txt"}) tree_.BLVClick(tree_.FindListItemByPath(W(name)));
    std::filesystem::remove(dir_.P("root/top.txt"));
  }
  void TearDown() override {
    SetLogSink(nullptr);
    ProgressCancelled = false;
  }

  std::string Big() const { return dir_.P("root/A/D/big.bin"); }
  std::string W(const std::string& rel) const {
    return rel.empty() ? dir_.W("root") : dir_.W("root/" + rel);
  }
  bool Logged(const std::string& level, const std::string& text) const {
    for (const auto& e : sink_->Entries())
      if (e.levelText == level && e.message == text) return true;
    return false;
  }

  TempDir home_;
  TempDir dir_;
  TProject project_;
  TSelectionTree tree_;
  std::shared_ptr<TMemoryLogSink> sink_;
};

TEST_F(ValidateTest, WalksEverySubfolderCountsFullSizesAndListsWhatCannotBeOpened) {
  Paths messages, asked;
  std::vector<bool> enabled;
  int closed = 0;
  TValidateHooks hooks;
  hooks.SetMessage = [&](const std::string& m) { messages.push_back(m); };
  hooks.EnableMainWindow = [&](bool on) { enabled.push_back(on); };
  hooks.CloseProgress = [&] { ++closed; };
  hooks.AskInvalidFiles = [&](const Paths& files) {
    asked = files;
    return 1;  // "Un-select"
  };
  const TValidateResult r = ValidateSelection(tree_, project_, hooks);

  EXPECT_FALSE(r.Cancelled);
  EXPECT_EQ(r.FolderCount, 1);
  EXPECT_EQ(r.FileCount, 2);
  Paths files = r.Files;
  std::sort(files.begin(), files.end());
  // D's files are walked as well as B's and C's; the excluded file, the link back to root and
  // the FIFO inside the walk are not.
  EXPECT_EQ(files, (Paths{W("A/B/b.txt"), W("A/C/c.txt"), W("A/D/big.bin"), W("A/D/d.txt"),
                          W("A/D/deeper/e.txt"), W("A/a.txt"), W("pipe"), W("top.txt")}));
  EXPECT_EQ(r.TotalSize, k4G + 5 * 5);
  const std::string select = "Select 1 directories and 2 Files";
  EXPECT_EQ(messages, (Paths{select, select + " Total size: " + FormatTotalSize(k4G + 25)}));
  EXPECT_TRUE(Logged("STATUS  ", messages.back()));
  EXPECT_TRUE(Logged("ANALYZE ", "Found folder of " + W("A") + "\\"));
  EXPECT_TRUE(Logged("ANALYZE ", "Found File of " + W("pipe")));

  // The FIFO would block an open for reading: it is reported, not opened.
  EXPECT_EQ(r.Invalid, (Paths{W("pipe"), W("top.txt")}));
  EXPECT_EQ(asked, r.Invalid);
  EXPECT_TRUE(Logged("ERROR   ", "Can not open " + W("pipe")));
  EXPECT_EQ(enabled, (std::vector<bool>{false, true}));
  EXPECT_EQ(closed, 1);
  EXPECT_TRUE(ProgressDone);
  EXPECT_EQ(ProgressPosition, 100);

  // Un-selected: the FIFO's row in its folder, the removed file in the path sets.
  EXPECT_EQ(tree_.Sets().GetState(W("pipe")), 0);
  EXPECT_EQ(tree_.Sets().GetState(W("top.txt")), 0);
  EXPECT_EQ(tree_.Rows()[static_cast<size_t>(tree_.FindListItemByPath(W("pipe")))].State, 1);
  EXPECT_TRUE(tree_.SelectionChanged);
  TItems folders, kept;
  tree_.CollectSelection(folders, kept, false);
  EXPECT_EQ(kept.Count(), 0);
  EXPECT_EQ(folders.Count(), 1);
}

TEST_F(ValidateTest, DoNothingKeepsTheMarks) {
  TValidateHooks hooks;
  hooks.AskInvalidFiles = [](const Paths&) { return 2; };
  const TValidateResult r = ValidateSelection(tree_, project_, hooks);
  EXPECT_EQ(r.Invalid.size(), 2u);
  EXPECT_EQ(tree_.Sets().GetState(W("pipe")), 1);
}

// A break at any pump ends the run with "User break!" and gives the window back.
TEST_F(ValidateTest, UserBreakAtEveryPoint) {
  int pumps = 0;
  {
    TValidateHooks count;
    count.Pump = [&] { ++pumps; };
    ValidateSelection(tree_, project_, count);
  }
  ASSERT_GT(pumps, 3);
  for (int at = 1; at <= pumps; ++at) {
    SCOPED_TRACE(at);
    sink_->Clear();
    int calls = 0;
    bool asked = false;
    std::vector<bool> enabled;
    TValidateHooks hooks;
    hooks.Pump = [&] {
      if (++calls == at) ProgressCancelled = true;
    };
    hooks.EnableMainWindow = [&](bool on) { enabled.push_back(on); };
    hooks.AskInvalidFiles = [&](const Paths&) {
      asked = true;
      return 2;
    };
    const TValidateResult r = ValidateSelection(tree_, project_, hooks);
    EXPECT_TRUE(r.Cancelled);
    EXPECT_FALSE(asked);
    EXPECT_TRUE(Logged("ERROR   ", "User break!"));
    EXPECT_TRUE(ProgressDone);
    EXPECT_TRUE(enabled.empty() || enabled == (std::vector<bool>{false, true}));
  }
}

TEST(SelectionRowFormat, Texts) {
  EXPECT_EQ(FormatRowSize(0), "0");
  EXPECT_EQ(FormatRowSize(999), "999");
  EXPECT_EQ(FormatRowSize(1000), "1,000");
  EXPECT_EQ(FormatRowSize(k4G), "4,294,967,296");
  EXPECT_EQ(FormatTotalSize(0), "0,000,000,000");
  EXPECT_EQ(FormatTotalSize(1234), "0,000,001,234");
  EXPECT_EQ(FormatTotalSize(12345678901ull), "12,345,678,901");

  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(FormatRowTime(1709622489), "2024-03-05 07::08::09");

  platform::fs::FileInfo info;
  EXPECT_EQ(FormatRowAttributes(info), "    ");
  info.archive = info.readOnly = info.hidden = true;
  EXPECT_EQ(FormatRowAttributes(info), "AR H");
}

}  // namespace
