#include "app/ui/pages/selection_tree_view.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "app/engine/project/project.h"
#include "app/ui/pages/selection_tree_paths.h"
#include "app/ui/project/invalid_files_frm.h"
#include "app/ui/widgets/state_images.h"
#include "tests/support/qt_test_env.h"

namespace {

class SelectionTreeViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"A/a1.txt", "A/.hidden", "A/B/b1.txt", "E/e1.txt", "E/e2.txt"})
      WriteFile(dir.P("root/") + f, "12345");
    WriteFile(dir.P("root/A/big.bin"), "");
    ASSERT_EQ(truncate(dir.P("root/A/big.bin").c_str(), 4ll << 30), 0);
    view.resize(900, 600);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  }

  std::string W(const std::string& rel) const { return dir.W("root/" + rel); }
  QTreeWidgetItem* Item(const std::string& rel) {
    return view.ItemOf(view.Model().FindNodeByPath(W(rel)));
  }
  QTreeWidgetItem* Row(const std::string& name) {
    const auto rows = view.BLV->findItems(QString::fromStdString(name), Qt::MatchExactly);
    return rows.isEmpty() ? nullptr : rows.front();
  }
  // A click on the state image of an item, or on its text.
  static void Click(QTreeWidget* tree, QTreeWidgetItem* item, bool onImage) {
    ASSERT_NE(item, nullptr);
    tree->scrollToItem(item);
    const QRect r = tree->visualItemRect(item);
    const QPoint at(r.left() + (onImage ? 6 : kStateImageSize + 12), r.center().y());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
  }

  TQtTestEnv env;
  TempDir dir;
  TSelectionTreeView view;
};

TEST_F(SelectionTreeViewTest, Layout) {
  EXPECT_EQ(view.SHTV->objectName(), "SHTV");
  EXPECT_EQ(view.BLV->objectName(), "BLV");
  const QStringList headers = {"Name", "Type", "Size", "Last modified", "Attribute"};
  ASSERT_EQ(view.BLV->columnCount(), headers.size());
  for (int i = 0; i < headers.size(); ++i) EXPECT_EQ(view.BLV->headerItem()->text(i), headers[i]);
  ASSERT_EQ(view.SHTV->topLevelItemCount(), 1);
  QTreeWidgetItem* top = view.SHTV->topLevelItem(0);
  EXPECT_EQ(top->text(0), "My Computer");
  ASSERT_EQ(top->childCount(), 1);
  EXPECT_EQ(top->child(0)->text(0), "Z:");
  EXPECT_EQ(view.GetNodeCheckState(top->child(0)), 1);
}

TEST_F(SelectionTreeViewTest, ClicksOnStateImagesToggleMarks) {
  QSignalSpy changed(&view, &TSelectionTreeView::CheckMarksChanged);
  ASSERT_TRUE(view.SelectPath(W("A")));
  EXPECT_EQ(view.SelectedPath(), W("A"));
  EXPECT_EQ(view.SHTV->currentItem(), Item("A"));
  EXPECT_EQ(changed.count(), 0);

  Click(view.SHTV, Item("A"), true);
  EXPECT_EQ(changed.count(), 1);
  EXPECT_TRUE(view.SelectionChanged());
  EXPECT_EQ(view.GetNodeCheckState(Item("A")), 2);
  EXPECT_EQ(ItemStateImage(Item("A")), 2);
  EXPECT_EQ(ItemStateImage(Item("")), 4);
  for (int i = 0; i < view.BLV->topLevelItemCount(); ++i)
    EXPECT_EQ(ItemStateImage(view.BLV->topLevelItem(i)), 2);

  // A row's image unchecks the file; the folder becomes partly checked.
  Click(view.BLV, Row("a1.txt"), true);
  EXPECT_EQ(ItemStateImage(Row("a1.txt")), 1);
  EXPECT_EQ(ItemStateImage(Item("A")), 4);
  // The space bar on the current row checks it again.
  view.BLV->setCurrentItem(Row("a1.txt"));
  QTest::keyClick(view.BLV, Qt::Key_Space);
  EXPECT_EQ(ItemStateImage(Row("a1.txt")), 2);
  EXPECT_EQ(ItemStateImage(Item("A")), 2);
  EXPECT_EQ(changed.count(), 3);

  // A click on the text only selects.
  view.SetSelectionChanged(false);
  Click(view.SHTV, Item("E"), false);
  EXPECT_EQ(view.SelectedPath(), W("E"));
  EXPECT_EQ(ItemStateImage(Item("E")), 1);
  EXPECT_FALSE(view.SelectionChanged());
  QTest::keyClick(view.SHTV, Qt::Key_Space);
  EXPECT_EQ(ItemStateImage(Item("E")), 2);
  EXPECT_EQ(ItemStateImage(Item("")), 2) << "A and E are all that root holds";
  EXPECT_EQ(ItemStateImage(Row("e2.txt")), 2);
}

TEST_F(SelectionTreeViewTest, RowsShowTypeSizeTimeAndAttributes) {
  ASSERT_TRUE(view.SelectPath(W("A")));
  ASSERT_EQ(view.BLV->topLevelItemCount(), 4);
  EXPECT_EQ(view.BLV->topLevelItem(0)->text(0), "B");  // folders first
  EXPECT_FALSE(view.BLV->topLevelItem(0)->text(1).isEmpty());
  EXPECT_EQ(view.BLV->topLevelItem(0)->text(2), "0");
  QTreeWidgetItem* big = Row("big.bin");
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(big->text(2), "4,294,967,296");
  EXPECT_TRUE(big->text(3).contains("::"));
  EXPECT_EQ(big->text(3).size(), 21);
  EXPECT_EQ(big->text(4), "A   ");
  EXPECT_EQ(Row(".hidden")->text(4), "A  H");
  EXPECT_FALSE(Row("a1.txt")->text(1).isEmpty());
}

TEST_F(SelectionTreeViewTest, ExpandingShowsChildrenWithTheParentsState) {
  ASSERT_TRUE(view.SelectPath(W("A")));
  Click(view.SHTV, Item("A"), true);
  QTreeWidgetItem* a = Item("A");
  EXPECT_EQ(a->childCount(), 0);
  a->setExpanded(true);
  ASSERT_EQ(a->childCount(), 1);
  EXPECT_EQ(a->child(0)->text(0), "B");
  EXPECT_EQ(ItemStateImage(a->child(0)), 2);
  EXPECT_FALSE(a->child(0)->isExpanded());
}

TEST_F(SelectionTreeViewTest, LoadShowsTheProjectAndSavingGivesItBack) {
  TProject project;
  project.Folders.Add(W("E") + "\\", 0);
  project.Files.Add(W("A/B/b1.txt"), 0);
  view.LoadProjectSelection(project);
  EXPECT_EQ(view.SelectedPath(), W("A/B"));
  EXPECT_TRUE(Item("A")->isExpanded());
  EXPECT_EQ(ItemStateImage(Item("A/B")), 4) << "a file item marks its folder partly checked";
  EXPECT_EQ(ItemStateImage(Item("E")), 2);
  EXPECT_EQ(ItemStateImage(Row("b1.txt")), 2);

  TItems folders, files;
  view.CollectSelection(folders, files, false);
  ASSERT_EQ(folders.Count(), 1);
  EXPECT_EQ(folders.Get(0)->Name, W("E") + "\\");
  ASSERT_EQ(files.Count(), 1);
  EXPECT_EQ(files.Get(0)->Name, W("A/B/b1.txt"));

  view.ResetSelection();
  EXPECT_EQ(ItemStateImage(Item("E")), 1);
  EXPECT_EQ(ItemStateImage(Row("b1.txt")), 1);
}

// Validate shows the invalid-files dialog; "Un-select" unchecks the file.
TEST_F(SelectionTreeViewTest, ValidateAsksAboutFilesThatCannotBeOpened) {
  ASSERT_TRUE(view.SelectPath(W("E")));
  Click(view.BLV, Row("e1.txt"), true);
  ASSERT_EQ(ItemStateImage(Row("e1.txt")), 2);
  ASSERT_EQ(ItemStateImage(Item("E")), 4);
  unlink(dir.P("root/E/e1.txt").c_str());
  TProject project;
  QStringList listed;
  QMetaObject::invokeMethod(
      qApp,
      [&] {
        auto* frm = qobject_cast<TInvalidFileFrm*>(QApplication::activeModalWidget());
        ASSERT_NE(frm, nullptr);
        for (int i = 0; i < frm->LV->topLevelItemCount(); ++i)
          listed << frm->LV->topLevelItem(i)->text(0);
        QTest::mouseClick(frm->UnselectBtn, Qt::LeftButton);
      },
      Qt::QueuedConnection);
  QSignalSpy changed(&view, &TSelectionTreeView::CheckMarksChanged);
  const TValidateResult r = view.Validate(project, {});
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(listed, QStringList{QString::fromStdString(W("E/e1.txt"))});
  EXPECT_EQ(r.Invalid.size(), 1u);
  EXPECT_EQ(view.Sets().GetState(W("E/e1.txt")), 0);
  EXPECT_EQ(ItemStateImage(Item("E")), 1);
}

TEST(StateImages, FourImages) {
  for (int s = 1; s <= 4; ++s) EXPECT_EQ(StateImage(s).size(), QSize(16, 16)) << s;
  EXPECT_TRUE(StateImage(0).isNull());
  EXPECT_TRUE(StateImage(5).isNull());
  const QImage unchecked = StateImage(1).toImage();
  EXPECT_EQ(StateImage(3).toImage(), unchecked) << "3 reads as unchecked and looks so";
  EXPECT_NE(StateImage(2).toImage(), unchecked);
  EXPECT_NE(StateImage(4).toImage(), unchecked);
  EXPECT_NE(StateImage(4).toImage(), StateImage(2).toImage());

  EXPECT_EQ(ItemStateImage(nullptr), 1);
  QTreeWidgetItem item;
  EXPECT_EQ(ItemStateImage(&item), 1);
  SetItemStateImage(&item, 4);
  EXPECT_EQ(ItemStateImage(&item), 4);
}

TEST(SelectionTreePaths, QtTrees) {
  QTreeWidget tree;
  auto* a = new QTreeWidgetItem(&tree, {"a"});
  auto* b = new QTreeWidgetItem(&tree, {"b"});
  auto* c = new QTreeWidgetItem(&tree, {"c"});
  auto* x = new QTreeWidgetItem(b, {"x"});
  EXPECT_EQ(FindChildNode(b, "x"), x);
  EXPECT_EQ(FindChildNode(b, "X"), nullptr);
  EXPECT_EQ(FindChildNode(static_cast<QTreeWidgetItem*>(nullptr), "x"), nullptr);
  EXPECT_EQ(FindNodeByText(b, "c"), c);
  EXPECT_EQ(FindNodeByText(b, "a"), a) << "previous siblings last";
  EXPECT_EQ(FindNodeByText(b, "x"), nullptr) << "x is not visible while b is collapsed";
  b->setExpanded(true);
  EXPECT_EQ(FindNodeByText(b, "x"), x);
  EXPECT_EQ(FindNodeByText(x, "a"), nullptr) << "a is no sibling of x and lies before it";
  EXPECT_EQ(FindNodeByText(static_cast<QTreeWidgetItem*>(nullptr), "a"), nullptr);
}

}  // namespace
