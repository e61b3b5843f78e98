// The restore tree model: folders from a snapshot, the file list of a folder, the check marks
// and what a restore collects from them, and the checks before a restore starts.
#include <string>
#include <vector>

#include "app/engine/restore/backup_sets.h"
#include "app/engine/restore/restore_selection.h"
#include "tests/engine/restore/restore_test_support.h"

using namespace restore_test;

namespace {

class RestoreTreeTest : public RestoreTest {
 protected:
  void SetUp() override {
    RestoreTest::SetUp();
    root = dir.W("data\\");
    for (const auto& [path, run] :
         std::vector<std::pair<std::string, int>>{{root + "a.txt", 3},
                                                  {root + "x:y.txt", 1},
                                                  {root + "Sub\\b.txt", 2},
                                                  {root + "sub\\c.txt", 2},
                                                  {root + "sub\\deeper\\d.txt", 2},
                                                  {"Z:\\root.txt", 1},
                                                  {"", 1}}) {
      TRuntimeFile entry(path, 0x52A35C21, run);
      tree.BuildRestoreTree(entry);
    }
    data = NodeOf(tree, root);
    ASSERT_NE(data, nullptr);
  }

  TRestoreNode* Node(const std::string& relative) { return NodeOf(tree, root + relative); }
  int Row(const std::string& relative) { return tree.FindRow(root + relative); }
  int RowState(const std::string& relative) {
    return tree.Rows()[static_cast<size_t>(Row(relative))].StateIndex + 1;
  }
  int Sel(const std::string& relative) { return tree.Selection.GetState(root + relative); }

  TRestoreTreeModel tree{TRestoreTreeKind::Restore};
  std::string root;
  TRestoreNode* data = nullptr;
};

// Folders are told apart by case and only a backslash ends a folder; an entry without a
// folder adds nothing.
TEST_F(RestoreTreeTest, FoldersFromTheSnapshot) {
  ASSERT_EQ(tree.Nodes().size(), 1u);
  EXPECT_EQ(tree.FirstNode()->Text, "Z:");
  EXPECT_EQ(tree.FirstNode()->Path(), "Z:\\");
  ASSERT_TRUE(Node("Sub\\") && Node("sub\\") && Node("sub\\deeper\\"));
  EXPECT_NE(Node("Sub\\"), Node("sub\\"));
  EXPECT_EQ(data->Data->Files.Count(), 2);
  EXPECT_EQ(tree.FirstNode()->Data->Files.Get(0)->Path, "Z:\\root.txt");
  // Z:, the test folder's parts, data, Sub, sub, deeper.
  int parts = 0;
  for (char c : dir.Posix()) parts += c == '/';
  EXPECT_EQ(tree.NodeCount(), 1 + parts + 4);
}

// Folder rows first, then the stored files with their time and version; the time of a file now
// in the folder is matched by its exact name. The comparison list has no columns of its own.
TEST_F(RestoreTreeTest, FileListOfAFolder) {
  WriteFile(dir.P("data/a.txt"), "on disk");
  WriteFile(dir.P("data/A.TXT"), "another file");
  tree.SelectNode(data);
  ASSERT_EQ(tree.Rows().size(), 4u);
  std::vector<std::string> captions;
  for (const auto& r : tree.Rows()) captions.push_back(r.Caption);
  EXPECT_EQ(captions, (std::vector<std::string>{"Sub", "sub", "a.txt", "x:y.txt"}));
  const TRestoreRow& a = tree.Rows()[2];
  EXPECT_TRUE(tree.Rows()[0].IsFolder());
  EXPECT_EQ(tree.Rows()[0].Path, root + "Sub\\");
  EXPECT_EQ(a.ArchiveTime, DosTimeText(0x52A35C21));
  EXPECT_FALSE(a.ArchiveTime.empty());
  EXPECT_EQ(a.Version, "3");
  EXPECT_FALSE(a.FolderTime.empty());
  EXPECT_TRUE(tree.Rows()[3].FolderTime.empty());

  TRestoreTreeModel compare{TRestoreTreeKind::Compare};
  compare.BuildRestoreTree(TRuntimeFile(root + "a.txt", 0x52A35C21, 3));
  compare.SelectNode(NodeOf(compare, root));
  ASSERT_EQ(compare.Rows().size(), 1u);
  EXPECT_TRUE(compare.Rows()[0].ArchiveTime.empty() && compare.Rows()[0].FolderTime.empty() &&
              compare.Rows()[0].Version.empty());
}

TEST_F(RestoreTreeTest, FolderClickMarksEverythingBelowAndRecomputesAbove) {
  tree.SelectNode(data);
  tree.NodeClick(data);
  EXPECT_EQ(data->State, kStateChecked);
  for (const char* n : {"Sub\\", "sub\\", "sub\\deeper\\"})
    EXPECT_EQ(Node(n)->State, kStateChecked);
  for (const char* p : {"", "Sub\\", "sub\\deeper\\", "a.txt", "sub\\deeper\\d.txt"})
    EXPECT_EQ(Sel(p), 1) << p;
  for (const auto& r : tree.Rows()) EXPECT_EQ(r.StateIndex, 1) << r.Caption;
  // The drive holds root.txt too, which is not checked.
  EXPECT_EQ(tree.FirstNode()->State, kStatePartly);

  // One file unchecked: its folder and every ancestor partly checked.
  tree.RowClick(Row("a.txt"));
  EXPECT_EQ(RowState("a.txt"), kStateUnchecked);
  EXPECT_EQ(Sel("a.txt"), 0);
  EXPECT_EQ(data->State, kStatePartly);
  EXPECT_EQ(tree.Selection.GetState(root), 2);
  EXPECT_EQ(data->Parent->State, kStatePartly);

  // A partly checked folder is checked by a click; the state a click past checked leaves is
  // read as unchecked.
  tree.NodeClick(data);
  EXPECT_EQ(data->State, kStateChecked);
  EXPECT_EQ(Sel("a.txt"), 1);
  data->State = kStateToggled;
  tree.ToggleRestoreFolderCheck(data);
  EXPECT_EQ(data->State, kStateUnchecked);
  EXPECT_EQ(Node("sub\\deeper\\")->State, kStateUnchecked);
  EXPECT_EQ(Sel("sub\\deeper\\d.txt"), 0);
  EXPECT_EQ(tree.FirstNode()->State, kStateUnchecked);
}

// A folder row acts as a click on its folder: its subfolders follow. A partly checked row
// becomes checked.
TEST_F(RestoreTreeTest, FolderRowClickActsOnTheWholeFolder) {
  TRestoreNode* sub = Node("sub\\");
  tree.SelectNode(sub);
  tree.RowClick(tree.FindRow(root + "sub\\c.txt"));
  EXPECT_EQ(sub->State, kStatePartly);
  tree.SelectNode(data);
  EXPECT_EQ(RowState("sub\\"), kStatePartly);

  tree.RowClick(Row("sub\\"));
  EXPECT_EQ(RowState("sub\\"), kStateChecked);
  EXPECT_EQ(sub->State, kStateChecked);
  EXPECT_EQ(Node("sub\\deeper\\")->State, kStateChecked);
  EXPECT_EQ(Sel("sub\\deeper\\d.txt"), 1);
  EXPECT_EQ(data->State, kStatePartly);

  tree.RowClick(Row("sub\\"));
  EXPECT_EQ(Node("sub\\deeper\\")->State, kStateUnchecked);
  EXPECT_EQ(Sel("sub\\c.txt"), 0);
  EXPECT_EQ(data->State, kStateUnchecked);

  // Every row checked one by one checks the folder, and the row of a folder follows its node.
  for (int r = 0; r < static_cast<int>(tree.Rows().size()); ++r) tree.RowClick(r);
  EXPECT_EQ(data->State, kStateChecked);
  tree.SelectNode(data->Parent);
  EXPECT_EQ(tree.Rows()[static_cast<size_t>(tree.FindRow(root))].StateIndex, 1);
  tree.NodeClick(Node("Sub\\"));
  EXPECT_EQ(tree.Rows()[static_cast<size_t>(tree.FindRow(root))].StateIndex, kStatePartly - 1);
}

// Checked folders at any depth are folder items; checked files outside them are file items.
TEST_F(RestoreTreeTest, CollectsCheckedFoldersAndFiles) {
  tree.NodeClick(data);
  tree.SelectNode(Node("sub\\"));
  tree.RowClick(tree.FindRow(root + "sub\\c.txt"));  // sub partly, deeper still checked
  TRuntimeFile* rootFile = tree.FirstNode()->Data->Files.Get(0);
  tree.SelectNode(tree.FirstNode());
  tree.RowClick(tree.FindRow(rootFile->Path));

  TItems folders, files;
  CollectCheckedRestoreFolders(tree.FirstNode(), folders);
  CollectCheckedRestoreFiles(tree.Selection, folders, files);
  std::vector<std::string> f, g;
  for (int i = 0; i < folders.Count(); ++i) f.push_back(folders.Get(i)->Name);
  for (int i = 0; i < files.Count(); ++i) g.push_back(files.Get(i)->Name);
  EXPECT_EQ(f, (std::vector<std::string>{root + "Sub\\", root + "sub\\deeper\\"}));
  EXPECT_EQ(g, (std::vector<std::string>{"Z:\\root.txt", root + "a.txt", root + "x:y.txt"}));
}

// The checks of "Start to Restore" on the Restore page.
TEST_F(RestoreTreeTest, StartChecks) {
  TRestoreJob job;
  EXPECT_FALSE(PrepareRestoreJob("", {}, tree, job));
  EXPECT_FALSE(PrepareRestoreJob(kNoBackupSetsFound, {}, tree, job));
  EXPECT_FALSE(PrepareRestoreJob(dir.W("job.qvp"), {true, "", 0}, tree, job));
  EXPECT_FALSE(PrepareRestoreJob(dir.W("job.qvp"), {true, dir.W("missing"), 0}, tree, job));
  EXPECT_EQ(ui->messages,
            (std::vector<std::string>{
                "There is no saved data in the archive file! Please choose a valid archive file",
                "There is no saved data in the archive file! Please choose a valid archive file",
                "Please choose a valid directory.", "Please choose a valid directory."}));
  // Nothing checked: no job and no message.
  EXPECT_FALSE(PrepareRestoreJob(dir.W("job.qvp"), {true, dir.W(""), 2}, tree, job));
  EXPECT_EQ(ui->messages.size(), 4u);

  tree.NodeClick(Node("sub\\"));
  ASSERT_TRUE(PrepareRestoreJob(dir.W("job.qvp"), {true, dir.W(""), 2}, tree, job));
  EXPECT_EQ(job.RestoreArchivePath, dir.W("job.qvp"));
  EXPECT_EQ(job.RestoreTargetFolder, dir.W(""));
  EXPECT_EQ(job.RestoreToOtherFolder, 1);
  EXPECT_EQ(job.RestoreOverwriteIndex, 2);
  EXPECT_EQ(job.RestoreFolderItems.Count(), 2);
  EXPECT_EQ(job.RestoreFileItems.Count(), 0);
}

}  // namespace
