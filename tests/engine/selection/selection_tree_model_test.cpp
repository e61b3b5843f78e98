#include "app/engine/selection/selection_tree_model.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "app/engine/log.h"
#include "app/engine/project/project.h"
#include "tests/support/temp_dir.h"

namespace {

using Paths = std::vector<std::string>;

// A real folder tree under a temporary folder:
//   root/top.txt  root/A/{a1.txt,a2.txt}  root/A/B/b1.txt  root/A/B/C/c1.txt  root/A/D/d1.txt
//   root/E/e1.txt
class SelectionTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUORVA_HOME", home_.Posix().c_str(), 1);
    setenv("XDG_CONFIG_HOME", home_.Posix().c_str(), 1);
    for (const char* f : {"top.txt", "A/a1.txt", "A/a2.txt", "A/B/b1.txt", "A/B/C/c1.txt",
                          "A/D/d1.txt", "E/e1.txt"})
      WriteFile(dir_.P("root/") + f, f);
    sink_ = std::make_shared<TMemoryLogSink>();
    SetLogSink(sink_);
  }
  void TearDown() override { SetLogSink(nullptr); }

  // Windows-form path below root; a folder path has no trailing backslash.
  std::string W(const std::string& rel = "") const {
    return rel.empty() ? dir_.W("root") : dir_.W("root/" + rel);
  }
  std::string Key(const std::string& rel = "") const { return W(rel) + "\\"; }

  TSelectionNode* Select(TSelectionTree& t, const std::string& rel) {
    TSelectionNode* node = t.SelectPath(W(rel));
    EXPECT_NE(node, nullptr) << rel;
    return node;
  }
  TSelectionNode* Node(const TSelectionTree& t, const std::string& rel) const {
    return t.FindNodeByPath(W(rel));
  }
  int State(const TSelectionTree& t, const std::string& rel) const {
    const TSelectionNode* n = Node(t, rel);
    return n ? n->State : -1;
  }
  void ClickNode(TSelectionTree& t, const std::string& rel) {
    TSelectionNode* node = t.SelectPath(W(rel));
    ASSERT_NE(node, nullptr) << rel;
    t.SHTVClick(node);
  }
  // Clicks the row of `name` in the list of folder `rel`.
  void ClickRow(TSelectionTree& t, const std::string& rel, const std::string& name) {
    Select(t, rel);
    int row = t.FindListItemByPath(W(rel + "/" + name));
    if (row < 0) row = t.FindListItemByFolderPath(W(rel + "/" + name));
    ASSERT_GE(row, 0) << name;
    t.BLVClick(row);
  }
  int RowState(const TSelectionTree& t, const std::string& key) const {
    const int row = t.FindListItemByPath(key);
    return row < 0 ? -1 : t.Rows()[static_cast<size_t>(row)].State;
  }

  struct Saved {
    Paths folders, files;
    bool operator==(const Saved&) const = default;
    friend void PrintTo(const Saved& s, std::ostream* os) {
      *os << "folders {";
      for (const auto& f : s.folders) *os << " " << f;
      *os << " } files {";
      for (const auto& f : s.files) *os << " " << f;
      *os << " }";
    }
  };
  static Paths Names(const TItems& items) {
    Paths out;
    for (int i = 0; i < items.Count(); ++i) out.push_back(items.Get(i)->Name);
    std::sort(out.begin(), out.end());
    return out;
  }
  static Saved Save(TSelectionTree& t, TProject* into = nullptr) {
    TItems folders, files;
    t.CollectSelection(folders, files, false);
    if (into) {
      folders.AssignTo(into->Folders);
      files.AssignTo(into->Files);
    }
    return {Names(folders), Names(files)};
  }
  // Saves, loads the project into a fresh tree and saves that again: the same selection.
  Saved SaveAndReload(TSelectionTree& t) {
    TProject project;
    const Saved first = Save(t, &project);
    TSelectionTree fresh;
    fresh.LoadProjectSelection(project);
    EXPECT_EQ(Save(fresh), first);
    return first;
  }
  bool Logged(const std::string& text) const {
    for (const auto& e : sink_->Entries())
      if (e.message == text) return true;
    return false;
  }

  TempDir home_;
  TempDir dir_;
  std::shared_ptr<TMemoryLogSink> sink_;
};

TEST_F(SelectionTreeTest, CheckingAFolderChecksLoadedSubfoldersAndMarksAncestorsPartly) {
  TSelectionTree t;
  Select(t, "A");
  t.Expand(Node(t, "A"));
  ClickNode(t, "A");
  EXPECT_EQ(State(t, "A"), 2);
  EXPECT_EQ(State(t, "A/B"), 2);
  EXPECT_EQ(State(t, "A/D"), 2);
  EXPECT_EQ(State(t, ""), 4);
  EXPECT_EQ(t.Root()->Children.front()->State, 4);  // Z:
  EXPECT_EQ(t.Root()->State, 4);                    // My Computer shows its drive
  for (const auto& row : t.Rows()) EXPECT_EQ(row.State, 2) << row.Name;
  EXPECT_TRUE(t.SelectionChanged);

  EXPECT_EQ(SaveAndReload(t), (Saved{{Key("A")}, {}}));
}

TEST_F(SelectionTreeTest, ClickCyclesAndAPartlyCheckedNodeBecomesChecked) {
  TSelectionTree t;
  ClickNode(t, "A");
  EXPECT_EQ(State(t, "A"), 2);
  ClickNode(t, "A");  // the toggle past checked (3) is read as unchecked
  EXPECT_EQ(State(t, "A"), 1);
  EXPECT_EQ(State(t, ""), 1);
  ClickRow(t, "A", "a1.txt");
  EXPECT_EQ(State(t, "A"), 4);
  ClickNode(t, "A");
  EXPECT_EQ(State(t, "A"), 2);
  EXPECT_EQ(Save(t), (Saved{{Key("A")}, {}}));
}

// Unchecking one file of a checked folder leaves the folder's other content, whether or not
// its subfolder nodes were ever loaded.
TEST_F(SelectionTreeTest, UncheckingAFileOfACheckedFolderSavesTheRest) {
  for (const bool expanded : {true, false}) {
    SCOPED_TRACE(expanded ? "expanded" : "never expanded");
    TSelectionTree t;
    Select(t, "A");
    if (expanded) t.Expand(Node(t, "A"));
    ClickNode(t, "A");
    ClickRow(t, "A", "a1.txt");
    EXPECT_EQ(RowState(t, W("A/a1.txt")), 1);
    EXPECT_EQ(State(t, "A"), 4);
    EXPECT_EQ(State(t, ""), 4);
    EXPECT_EQ(t.Root()->Children.front()->State, 4);
    EXPECT_EQ(SaveAndReload(t), (Saved{{Key("A/B"), Key("A/D")}, {W("A/a2.txt")}}));
  }
}

TEST_F(SelectionTreeTest, ACheckedFileInsideACheckedFolderIsNoItemOfItsOwn) {
  TSelectionTree t;
  ClickRow(t, "A/B", "b1.txt");
  EXPECT_EQ(State(t, "A/B"), 4);
  EXPECT_EQ(State(t, "A"), 4);
  ClickNode(t, "A");
  EXPECT_EQ(State(t, "A/B"), 2);
  EXPECT_EQ(SaveAndReload(t), (Saved{{Key("A")}, {}}));
}

TEST_F(SelectionTreeTest, ExpandedChildrenTakeTheStateOfTheirParent) {
  TSelectionTree t;
  ClickNode(t, "A");  // A is not expanded yet
  t.Expand(Node(t, "A"));
  EXPECT_EQ(State(t, "A/B"), 2);
  EXPECT_EQ(State(t, "A/D"), 2);
  EXPECT_EQ(t.Sets().GetState(W("A/B/b1.txt")), 1);

  TSelectionTree u;
  Select(u, "A");
  u.Expand(Node(u, "A"));
  EXPECT_EQ(State(u, "A/B"), 1);
  EXPECT_EQ(u.Sets().GetState(W("A/B/b1.txt")), 0);
}

// Below a partly checked folder each new node takes its state from the path sets and the
// recorded marks stay as they are.
TEST_F(SelectionTreeTest, ExpandingAPartlyCheckedFolderKeepsRecordedMarks) {
  TSelectionTree t;
  ClickNode(t, "A");
  ClickRow(t, "A", "B");  // unchecks B and everything in it
  ClickRow(t, "A", "a1.txt");
  EXPECT_EQ(State(t, "A"), 4);
  t.Expand(Node(t, "A"));
  EXPECT_EQ(State(t, "A/B"), 1);
  EXPECT_EQ(State(t, "A/D"), 2);
  EXPECT_EQ(t.Sets().GetState(W("A/D/d1.txt")), 1);
  EXPECT_EQ(t.Sets().GetState(W("A/a2.txt")), 1);
  t.Expand(Node(t, "A/B"));
  EXPECT_EQ(State(t, "A/B/C"), 1);
  EXPECT_EQ(SaveAndReload(t), (Saved{{Key("A/D")}, {W("A/a2.txt")}}));
}

// A folder row toggled in the list acts like a click on that folder's node.
TEST_F(SelectionTreeTest, AFolderRowTogglesTheWholeFolder) {
  TSelectionTree t;
  Select(t, "A");
  t.Expand(Node(t, "A"));
  t.Expand(Node(t, "A/B"));
  ClickRow(t, "A", "B");
  EXPECT_EQ(State(t, "A/B"), 2);
  EXPECT_EQ(State(t, "A/B/C"), 2);
  EXPECT_EQ(State(t, "A"), 4);
  EXPECT_EQ(t.Sets().GetState(W("A/B/b1.txt")), 1);
  Select(t, "A/B");
  for (const auto& row : t.Rows()) EXPECT_EQ(row.State, 2) << row.Name;
  EXPECT_EQ(SaveAndReload(t), (Saved{{Key("A/B")}, {}}));

  ClickRow(t, "A", "B");
  EXPECT_EQ(State(t, "A/B/C"), 1);
  EXPECT_EQ(State(t, "A"), 1);
  EXPECT_EQ(Save(t), (Saved{{}, {}}));
}

// Unchecking a folder also unchecks marks recorded deeper than its loaded nodes show.
TEST_F(SelectionTreeTest, UncheckingAFolderDropsFilesCheckedDeeperInIt) {
  TSelectionTree t;
  ClickRow(t, "A/B/C", "c1.txt");
  EXPECT_EQ(State(t, "A"), 4);
  EXPECT_EQ(Save(t), (Saved{{Key("A/B/C")}, {}})) << "c1.txt is all that C holds";
  Select(t, "E");
  ClickNode(t, "A");  // partly checked -> checked
  ClickNode(t, "A");  // -> unchecked
  EXPECT_EQ(State(t, "A/B/C"), 1);
  EXPECT_EQ(Save(t), (Saved{{}, {}}));
}

TEST_F(SelectionTreeTest, AFolderThatCannotBeListedIsPartlyChecked) {
  TSelectionTree t;
  Select(t, "A");
  t.Expand(Node(t, "A"));
  const TSelectionNode* b = Node(t, "A/B");
  ASSERT_NE(b, nullptr);
  std::filesystem::remove_all(dir_.P("root/A/B"));
  EXPECT_EQ(t.ComputeFolderCheckState(b), 4);

  ASSERT_EQ(mkdir(dir_.P("root/F").c_str(), 0700), 0);
  TSelectionTree u;
  Select(u, "A");
  u.Expand(Node(u, ""));
  EXPECT_EQ(u.ComputeFolderCheckState(Node(u, "F")), 2) << "an empty folder counts as checked";
}

// Paths compare exactly: "pics\" is no prefix of "Pics\p.txt", and the twins stay apart.
TEST_F(SelectionTreeTest, CaseTwinsStayApart) {
  WriteFile(dir_.P("root/Pics/P.txt"), "1");
  WriteFile(dir_.P("root/pics/p.txt"), "2");
  WriteFile(dir_.P("root/pics/q.txt"), "3");
  TSelectionTree t;
  ClickNode(t, "Pics");
  ClickRow(t, "pics", "p.txt");
  EXPECT_EQ(State(t, "Pics"), 2);
  EXPECT_EQ(State(t, "pics"), 4);
  EXPECT_EQ(SaveAndReload(t), (Saved{{Key("Pics")}, {W("pics/p.txt")}}));
}

TEST_F(SelectionTreeTest, LoadingLogsMissingItemsAndKeepsTheRest) {
  TProject project;
  project.Folders.Add(Key("E"), 0);
  project.Folders.Add(Key("gone"), 0);
  project.Files.Add(W("A/B/C/c1.txt"), 0);
  project.Files.Add(W("A/none.txt"), 0);
  TSelectionTree t;
  t.LoadProjectSelection(project);
  EXPECT_TRUE(Logged(" Path: " + Key("gone") + " does not exist"));
  EXPECT_TRUE(Logged(" File: " + W("A/none.txt") + " does not exist"));
  EXPECT_EQ(State(t, "E"), 2);
  EXPECT_EQ(State(t, "A/B/C"), 4);
  EXPECT_EQ(State(t, "A/B"), 4);
  EXPECT_EQ(State(t, "A"), 4);
  EXPECT_EQ(RowState(t, W("A/B/C/c1.txt")), 2);
  EXPECT_EQ(Save(t), (Saved{{Key("E")}, {W("A/B/C/c1.txt")}}));

  // Another project replaces the marks.
  TProject other;
  other.Files.Add(W("top.txt"), 0);
  t.LoadProjectSelection(other);
  EXPECT_EQ(State(t, "E"), 1);
  EXPECT_EQ(Save(t), (Saved{{}, {W("top.txt")}}));
}

TEST_F(SelectionTreeTest, FoundFilesAndSpecialFolders) {
  TSelectionTree t;
  t.AddFoundFiles({W("A/D/d1.txt"), W("top.txt")});
  EXPECT_EQ(State(t, "A/D"), 4);
  EXPECT_EQ(State(t, ""), 4);
  EXPECT_EQ(RowState(t, W("top.txt")), 2);

  EXPECT_FALSE(t.IsSpecialFolderChecked(W("E")));
  // The dialog's paths come without a trailing backslash; the key gets one.
  t.AddSpecialFolders({{W("E"), true}, {W("A/D"), false}, {W("nowhere"), true}});
  EXPECT_TRUE(t.IsSpecialFolderChecked(W("E")));
  EXPECT_EQ(State(t, "E"), 2);
  EXPECT_EQ(State(t, "A/D"), 1);
  EXPECT_TRUE(Logged("Adding special folders " + W("E")));
  EXPECT_TRUE(Logged("Can not select folder '" + W("nowhere") + "'"));
  EXPECT_EQ(Save(t), (Saved{{Key("E"), Key("nowhere")}, {W("top.txt")}}));
}

TEST_F(SelectionTreeTest, RowsListFoldersFirstWithTheirKeys) {
  TSelectionTree t;
  Select(t, "A");
  ASSERT_EQ(t.Rows().size(), 4u);
  const Paths keys = {Key("A/B"), Key("A/D"), W("A/a1.txt"), W("A/a2.txt")};
  for (size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(t.Rows()[i].Key, keys[i]);
    EXPECT_EQ(t.Rows()[i].IsFolder, i < 2);
  }
  EXPECT_EQ(t.Rows()[2].Name, "a1.txt");
  EXPECT_EQ(t.FindListItemForNode(Node(t, "A/D")), -1) << "not loaded yet";
  t.Expand(Node(t, "A"));
  EXPECT_EQ(t.FindListItemForNode(Node(t, "A/D")), 1);
  EXPECT_EQ(t.FindListItemByFolderPath(W("A/B")), 0);
  EXPECT_EQ(t.FindListItemByPath(W("A/B")), -1);
}

TEST_F(SelectionTreeTest, ResetUnchecksEverything) {
  TSelectionTree t;
  ClickNode(t, "A");
  t.ResetSelection();
  EXPECT_EQ(State(t, "A"), 1);
  EXPECT_EQ(t.Sets().Count(), 0);
  for (const auto& row : t.Rows()) EXPECT_EQ(row.State, 1);
}

TEST(SelectionTreePaths, SplitAndFind) {
  EXPECT_EQ(SplitPath("Z:\\home\\\\ann\\"), (Paths{"Z:", "home", "ann"}));
  EXPECT_EQ(SplitPath("\\"), Paths{});
  EXPECT_EQ(SplitPath("name"), Paths{"name"});

  TSelectionNode root;
  root.Expanded = true;
  for (const char* name : {"a", "b", "c"}) {
    auto child = std::make_unique<TSelectionNode>();
    child->Text = name;
    child->Parent = &root;
    root.Children.push_back(std::move(child));
  }
  auto grandchild = std::make_unique<TSelectionNode>();
  grandchild->Text = "x";
  grandchild->Parent = root.Children[1].get();
  root.Children[1]->Children.push_back(std::move(grandchild));

  TSelectionNode* b = root.Children[1].get();
  EXPECT_EQ(FindChildNode(&root, "b"), b);
  EXPECT_EQ(FindChildNode(&root, "B"), nullptr);
  EXPECT_EQ(FindNodeByText(b, "c"), root.Children[2].get());
  EXPECT_EQ(FindNodeByText(b, "a"), root.Children[0].get()) << "previous siblings last";
  EXPECT_EQ(FindNodeByText(b, "x"), nullptr) << "x is not visible while b is collapsed";
  b->Expanded = true;
  EXPECT_EQ(FindNodeByText(b, "x"), b->Children[0].get());
  EXPECT_EQ(FindNodeByText(nullptr, "a"), nullptr);
}

}  // namespace
