// The fitted columns of a list: they follow rows that come after the list is shown, keep a
// width the user gave them, and a yielding column keeps the ones after it in view.
#include "app/ui/widgets/column_widths.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <QTreeWidget>

#include "tests/support/whole_captions.h"

namespace {

class ColumnWidthsTest : public ::testing::Test {
 protected:
  ColumnWidthsTest() {
    list.setObjectName("List");
    list.setRootIsDecorated(false);
    list.setHeaderLabels({"Name", "Type", "Size"});
    list.resize(600, 300);
  }
  void Show() {
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    QCoreApplication::processEvents();
  }
  void Add(const QString& name, const QString& type = "text", const QString& size = "1") {
    new QTreeWidgetItem(&list, {name, type, size});
    QCoreApplication::processEvents();
  }

  QTreeWidget list;
};

TEST_F(ColumnWidthsTest, RowsAddedLaterWidenTheirColumnsAndTheLastTakesTheRest) {
  FitColumns(&list, {60, 60, 40});
  Show();
  EXPECT_EQ(list.columnWidth(0), std::max(60, list.header()->sectionSizeHint(0)));
  Add("a");
  Add("a rather longer name than the column was given");
  Add("b", "a type name of some length");
  ExpectEveryColumnWhole(&list);
  const QHeaderView* header = list.header();
  EXPECT_EQ(header->sectionViewportPosition(2) + header->sectionSize(2), list.viewport()->width());
  // Rows that go leave the columns as wide as they were: nothing jumps.
  const int name = list.columnWidth(0);
  list.clear();
  Add("c");
  EXPECT_EQ(list.columnWidth(0), name);
}

TEST_F(ColumnWidthsTest, AColumnTheUserWidensStaysSo) {
  FitColumns(&list, {60, 60, 40});
  Show();
  Add("a");
  list.header()->resizeSection(1, 230);  // as a drag does
  Add("b");
  EXPECT_EQ(list.columnWidth(1), 230);
}

TEST_F(ColumnWidthsTest, AYieldingColumnKeepsTheOthersInView) {
  FitColumns(&list, {100, 60, 40}, 0);
  Show();
  Add(QString("very long path ").repeated(20), "text", "12345");
  ExpectColumnWhole(&list, 1);
  ExpectColumnWhole(&list, 2);
  EXPECT_GE(list.columnWidth(0), 100);
  // Room given back when the list grows: the column takes its rows' width again, no more.
  list.resize(4000, 300);
  QCoreApplication::processEvents();
  ExpectEveryColumnWhole(&list);
  EXPECT_LT(list.columnWidth(0), 3000);
}

}  // namespace
