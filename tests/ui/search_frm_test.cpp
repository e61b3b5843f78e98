#include "app/ui/project/search_frm.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QLayout>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/engine/selection/file_search.h"
#include "platform/fs/fs.h"
#include "tests/support/qt_test_env.h"
#include "tests/support/whole_captions.h"

namespace {

namespace sfs = std::filesystem;
using Rows = std::vector<std::string>;

// Bound for waits on the searches; only a hang reaches it.
constexpr int kHangMs = 60000;

// While it lives, the process (every thread, and every command it starts) has the real and
// effective ids of nobody, so that folders without permissions cannot be read even by a test
// run as root. The saved id keeps the way back.
class TAsNobody {
 public:
  TAsNobody() : active_(geteuid() == 0) {
    if (!active_) return;
    EXPECT_EQ(setresgid(65534, 65534, 0), 0);
    EXPECT_EQ(setresuid(65534, 65534, 0), 0);
  }
  ~TAsNobody() {
    if (!active_) return;
    EXPECT_EQ(setresuid(0, 0, 0), 0);
    EXPECT_EQ(setresgid(0, 0, 0), 0);
  }
  TAsNobody(const TAsNobody&) = delete;
  TAsNobody& operator=(const TAsNobody&) = delete;

 private:
  bool active_;
};

class SearchFrmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Build();
    BecomeNobody();
  }
  void TearDown() override {
    nobody.reset();
    chmod(Root("unreadable").c_str(), 0755);
  }

  void BecomeNobody() {
    ASSERT_EQ(RunCommand("chmod -R a+rX '" + dir.Posix() + "'"), 0);
    ASSERT_EQ(chmod(Root("unreadable").c_str(), 0), 0);
    nobody.emplace();
  }
  void Build() {
    // A tree of the cases a walk meets.
    for (const char* f :
         {"a.txt", "B.TXT", ".hidden.txt", "blank name.txt", "é accent.TXT", "ÉCOLE.txt", "noext",
          "x.dat", "sub1/x.txt", "sub1/y.dat", "sub1/a.txt", "sub1/deeper/z.txt", "sub1/deeper/.h",
          "sub1/deeper/b.txt", ".hiddendir/inner.txt", "dir with blank/file.txt",
          "dir with blank/Ärger.TXT", "sub2/a.txt", "unreadable/secret.txt"})
      WriteFile(Root(f), "content of " + std::string(f));
    sfs::create_directories(Root("empty"));
    sfs::create_symlink("a.txt", Root("link to file.txt"));
    sfs::create_symlink("no such target.txt", Root("broken.txt"));
    sfs::create_symlink("self.txt", Root("self.txt"));    // a link to itself
    sfs::create_symlink("..", Root("sub1/deeper/loop"));  // back up the tree, forever
    sfs::create_symlink("sub1", Root("linked folder.txt"));
    ASSERT_EQ(chmod(dir.Posix().c_str(), 0755), 0);
  }

  std::string Root(const std::string& rel = "") const {
    return dir.P(rel.empty() ? "root" : "root/" + rel);
  }
  std::string RootW() const { return dir.W("root"); }

  // GNU find's answer for one mask, as the dialog shows paths: "*.*" is every name.
  std::multiset<std::string> Find(const std::string& mask, const std::string& test = "") const {
    const std::string pattern = mask == "*.*" ? "*" : mask;
    std::string out;
    // Run by the same user as the search; what find cannot read it reports on stderr.
    RunCommand("env LC_ALL=C.UTF-8 find -P '" + Root() + "' " +
                   (test.empty() ? "! -xtype d -iname '" + pattern + "'" : test) +
                   " 2>/dev/null; :",
               &out);
    std::multiset<std::string> paths;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
      if (!line.empty()) paths.insert(platform::fs::FromPosix(line));
    return paths;
  }

  static Rows RowsOf(const TSearchFrm& frm) {
    Rows rows;
    for (int i = 0; i < frm.LV->topLevelItemCount(); ++i)
      rows.push_back(frm.LV->topLevelItem(i)->text(0).toStdString());
    return rows;
  }
  static void WaitIdle(TSearchFrm& frm) {
    QElapsedTimer clock;
    clock.start();
    while ((frm.Searching() || frm.Timer1->isActive()) && clock.elapsed() < kHangMs)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ASSERT_FALSE(frm.Searching()) << "the search hangs";
  }
  // Types the texts and presses Enter in the mask field.
  static void Search(TSearchFrm& frm, const QString& masks, const QString& folder) {
    frm.MaskEdit->setText(masks);
    frm.FolderEdit->setText(folder);
    QTest::keyClick(frm.MaskEdit, Qt::Key_Return);
  }

  TQtTestEnv env;
  TempDir dir;
  std::optional<TAsNobody> nobody;
};

std::string FolderOf(const std::string& path) {
  return path.substr(0, path.rfind('\\') + 1);
}

// A folder's files come before those of its subfolders, and each folder's files in one run.
void ExpectFoldersInWalkOrder(const Rows& rows) {
  std::set<std::string> finished;
  std::string current;
  for (const std::string& row : rows) {
    const std::string folder = FolderOf(row);
    if (folder == current) continue;
    EXPECT_FALSE(finished.count(folder)) << folder << " comes back after other folders";
    for (const std::string& done : finished)
      EXPECT_FALSE(done.size() > folder.size() && done.compare(0, folder.size(), folder) == 0)
          << folder << " after its subfolder " << done;
    if (!current.empty()) finished.insert(current);
    current = folder;
  }
}

TEST(SplitSearchMasks, BlanksAndSemicolonsSeparate) {
  const std::map<std::string, std::vector<std::string>> cases = {
      {"", {}},
      {" ; ;", {}},
      {"*.*;", {"*.*"}},
      {"a b", {"a", "b"}},
      {"*.txt;*.dat  x?;;", {"*.txt", "*.dat", "x?"}},
  };
  for (const auto& [text, masks] : cases) EXPECT_EQ(SplitSearchMasks(text), masks) << text;
}

TEST_F(SearchFrmTest, EachMaskFindsWhatGnuFindFinds) {
  for (const char* mask : {"*.txt", "*.*", "?.txt", "*É*", "b*", "*blank*", "noext", "*.zip"}) {
    SCOPED_TRACE(mask);
    TSearchFrm frm(2);
    Search(frm, mask, QString::fromStdString(RootW()));
    EXPECT_TRUE(frm.Searching() || frm.LV->topLevelItemCount() > 0 || Find(mask).empty());
    WaitIdle(frm);
    const Rows rows = RowsOf(frm);
    EXPECT_EQ(std::multiset<std::string>(rows.begin(), rows.end()), Find(mask));
    ExpectFoldersInWalkOrder(rows);
    EXPECT_EQ(frm.SearchBtn->text(), "Search!");
    EXPECT_TRUE(frm.Indicator->isHidden());
  }
  // What the walk must not do, whoever runs it.
  const auto all = Find("*");
  EXPECT_FALSE(all.count(dir.W("root/unreadable/secret.txt")));
  EXPECT_TRUE(all.count(dir.W("root/broken.txt")));
  EXPECT_FALSE(all.count(dir.W("root/sub1/deeper/loop/a.txt")));
  EXPECT_FALSE(all.count(dir.W("root/linked folder.txt")));
}

TEST_F(SearchFrmTest, MaskTextsAndStartFolders) {
  TSearchFrm frm(2);
  // Only blanks and semicolons: no mask, no search, no message.
  Search(frm, " ; ;", QString::fromStdString(RootW()));
  EXPECT_FALSE(frm.Searching());
  EXPECT_FALSE(frm.Timer1->isActive());
  EXPECT_EQ(frm.LV->topLevelItemCount(), 0);
  EXPECT_TRUE(env.ui->AskedMessages().empty());

  // "*.*;" is one search of every file.
  Search(frm, "*.*;", QString::fromStdString(RootW()));
  WaitIdle(frm);
  const Rows once = RowsOf(frm);
  EXPECT_EQ(std::multiset<std::string>(once.begin(), once.end()), Find("*"));

  // Two masks: a file matching both is listed once per mask. A new search appends; "Clear"
  // empties the list. The start folder gets its backslash.
  QTest::mouseClick(frm.ClearBtn, Qt::LeftButton);
  EXPECT_EQ(frm.LV->topLevelItemCount(), 0);
  Search(frm, "*.txt ?.txt", QString::fromStdString(RootW()));
  WaitIdle(frm);
  Search(frm, "x.*", QString::fromStdString(RootW() + "\\"));
  WaitIdle(frm);
  auto expected = Find("*.txt");
  for (const auto& f : Find("?.txt")) expected.insert(f);
  for (const auto& f : Find("x.*")) expected.insert(f);
  const Rows both = RowsOf(frm);
  EXPECT_EQ(std::multiset<std::string>(both.begin(), both.end()), expected);
  EXPECT_EQ(std::count(both.begin(), both.end(), dir.W("root/a.txt")), 2);
}

TEST_F(SearchFrmTest, EmptyFieldsAreRefused) {
  struct Case {
    QString masks, folder;
    const char* message;
  };
  const Case cases[] = {
      {"*.txt", "", "Please choose an valid folder to start searching from!"},
      {"", QString::fromStdString(RootW()), "Please enter searching contents!"},
      {"", "", "Please choose an valid folder to start searching from!"},
  };
  for (const Case& c : cases) {
    TSearchFrm frm(2);
    env.ui->ClearAskedMessages();
    frm.MaskEdit->setText(c.masks);
    frm.FolderEdit->setText(c.folder);
    QTest::mouseClick(frm.SearchBtn, Qt::LeftButton);
    const auto asked = env.ui->AskedMessages();
    ASSERT_EQ(asked.size(), 1u) << c.message;
    EXPECT_EQ(asked[0].text, c.message);
    EXPECT_FALSE(frm.Searching());
  }
}

TEST_F(SearchFrmTest, RowsShowTheirAttributesAndArriveChecked) {
  TSearchFrm frm(2);
  EXPECT_EQ(frm.windowTitle(), "Search files...");
  EXPECT_EQ(frm.LV->headerItem()->text(0), "Name");
  EXPECT_EQ(frm.LV->headerItem()->text(1), "Attribute");
  Search(frm, "*", QString::fromStdString(RootW()));
  WaitIdle(frm);
  const auto regular = Find("", "-xtype f");
  const auto writable = Find("", "-writable");
  const auto dangling = Find("", "-type l ! -xtype f ! -xtype d");
  ASSERT_GT(frm.LV->topLevelItemCount(), 10);
  for (int i = 0; i < frm.LV->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* row = frm.LV->topLevelItem(i);
    const std::string path = row->text(0).toStdString();
    const std::string name = platform::fs::FileNamePart(path);
    std::string attributes = "    ";
    if (regular.count(path)) attributes[0] = 'A';
    if (!writable.count(path) && !dangling.count(path)) attributes[1] = 'R';
    if (name[0] == '.') attributes[3] = 'H';
    EXPECT_EQ(row->text(1).toStdString(), attributes) << path;
    EXPECT_EQ(row->checkState(0), Qt::Checked) << path;
  }
  // "Select all" sets every mark to its own state; "Add Selected" takes the checked rows.
  QTest::mouseClick(frm.SelectAll, Qt::LeftButton);
  EXPECT_TRUE(frm.SelectedFiles().empty());
  frm.LV->topLevelItem(1)->setCheckState(0, Qt::Checked);
  EXPECT_EQ(frm.SelectedFiles(), Rows{frm.LV->topLevelItem(1)->text(0).toStdString()});
  QTest::mouseClick(frm.SelectAll, Qt::LeftButton);
  EXPECT_EQ(static_cast<int>(frm.SelectedFiles().size()), frm.LV->topLevelItemCount());
  frm.LV->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
  QTest::mouseClick(frm.AddSelectedBtn, Qt::LeftButton);
  EXPECT_EQ(frm.result(), 1);
  const Rows taken = frm.SelectedFiles();
  EXPECT_EQ(static_cast<int>(taken.size()), frm.LV->topLevelItemCount() - 1);
  EXPECT_EQ(std::count(taken.begin(), taken.end(), frm.LV->topLevelItem(0)->text(0).toStdString()),
            0);
}

class DeepSearchTest : public SearchFrmTest {
 protected:
  void SetUp() override {
    Build();
    std::string folder = Root("deep");
    for (int level = 0; level < 60; ++level) {
      folder += "/level" + std::to_string(level);
      for (int f = 0; f < 3; ++f) WriteFile(folder + "/f" + std::to_string(f) + ".txt", "x");
    }
    BecomeNobody();
  }
  // Runs `act` once (queued, as a user's input arrives) when the list first holds `rows` rows.
  static void AtRow(TSearchFrm& frm, int rows, std::function<void()> act) {
    auto fired = std::make_shared<bool>(false);
    QObject::connect(frm.LV->model(), &QAbstractItemModel::rowsInserted, &frm,
                     [&frm, rows, act, fired] {
                       if (*fired || frm.LV->topLevelItemCount() < rows) return;
                       *fired = true;
                       QTimer::singleShot(0, &frm, act);
                     });
  }
};

TEST_F(DeepSearchTest, AbortEndsEverySearchAndKeepsTheRows) {
  TSearchFrm frm(2);
  const int all = static_cast<int>(Find("*.txt").size() + Find("f?.*").size());
  bool searchingWhenAborted = false;
  AtRow(frm, 20, [&] {
    searchingWhenAborted = frm.Searching();
    EXPECT_EQ(frm.SearchBtn->text(), "Abort");
    for (QWidget* w :
         {static_cast<QWidget*>(frm.ClearBtn), static_cast<QWidget*>(frm.CancelBtn),
          static_cast<QWidget*>(frm.AddSelectedBtn), static_cast<QWidget*>(frm.MaskEdit)})
      EXPECT_FALSE(w->isEnabled());
    QTest::mouseClick(frm.SearchBtn, Qt::LeftButton);
  });
  Search(frm, "*.txt;f?.*", QString::fromStdString(dir.W("root")));
  WaitIdle(frm);
  EXPECT_TRUE(searchingWhenAborted);
  const int kept = frm.LV->topLevelItemCount();
  EXPECT_GE(kept, 20);
  EXPECT_LT(kept, all);
  EXPECT_EQ(frm.RunningCount(), 0);
  EXPECT_EQ(frm.SearchBtn->text(), "Search!");
  EXPECT_TRUE(frm.CancelBtn->isEnabled());
  // The next search starts afresh after the abort.
  QTest::mouseClick(frm.ClearBtn, Qt::LeftButton);
  Search(frm, "f0.txt", QString::fromStdString(dir.W("root\\deep")));
  WaitIdle(frm);
  EXPECT_EQ(frm.LV->topLevelItemCount(), 60);
}

// "Search!" turns into "Abort" where it is: a click where it was reaches "Abort".
TEST_F(DeepSearchTest, TheSearchButtonStaysPutWhileSearching) {
  TSearchFrm frm(2);
  frm.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frm));
  auto placeOf = [&frm] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    frm.layout()->activate();
    return QRect(frm.SearchBtn->mapTo(&frm, QPoint(0, 0)), frm.SearchBtn->size());
  };
  const QRect before = placeOf();
  QRect during;
  bool indicatorShown = false;
  AtRow(frm, 20, [&] {
    during = placeOf();
    indicatorShown = frm.Indicator->isVisible();
    EXPECT_EQ(frm.SearchBtn->text(), "Abort");
    // Clicked where "Search!" was.
    QWidget* hit = frm.childAt(before.center());
    EXPECT_EQ(hit, frm.SearchBtn);
    if (hit) QTest::mouseClick(hit, Qt::LeftButton, {}, hit->mapFrom(&frm, before.center()));
  });
  Search(frm, "*.txt", QString::fromStdString(dir.W("root")));
  WaitIdle(frm);
  EXPECT_TRUE(indicatorShown);
  EXPECT_EQ(during, before);
  EXPECT_LT(frm.LV->topLevelItemCount(), static_cast<int>(Find("*.txt").size())) << "aborted";
  EXPECT_EQ(placeOf(), before);
}

// Paths longer than the dialog shorten "Name"; "Attribute" stays in view, whole.
TEST_F(DeepSearchTest, LongPathsKeepTheAttributeColumnInView) {
  TSearchFrm frm(2);
  frm.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frm));
  Search(frm, "f0.txt", QString::fromStdString(dir.W("root\\deep")));
  WaitIdle(frm);
  ASSERT_EQ(frm.LV->topLevelItemCount(), 60);
  QCoreApplication::processEvents();
  const QString longest = frm.LV->topLevelItem(59)->text(0);
  EXPECT_GT(frm.LV->fontMetrics().horizontalAdvance(longest), frm.width()) << "a long path";
  ExpectColumnWhole(frm.LV, 1);
  EXPECT_EQ(frm.LV->header()->sectionViewportPosition(0), 0);
  EXPECT_GE(frm.LV->columnWidth(0), 300);
}

TEST_F(DeepSearchTest, ClosingWhileSearchingStopsAndWaitsForTheThreads) {
  struct Case {
    const char* how;
    std::function<void(TSearchFrm&)> close;
  };
  const Case cases[] = {
      {"Esc", [](TSearchFrm& f) { QTest::keyClick(&f, Qt::Key_Escape); }},
      {"close box", [](TSearchFrm& f) { f.close(); }},
      {"Esc twice",
       [](TSearchFrm& f) {
         QTest::keyClick(&f, Qt::Key_Escape);
         QTest::keyClick(&f, Qt::Key_Escape);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    int result = -1;
    int rowsAtClose = 0;
    {
      auto frm = std::make_unique<TSearchFrm>(2);
      TSearchFrm* f = frm.get();
      AtRow(*f, 10, [f, &c, &rowsAtClose] {
        EXPECT_TRUE(f->Searching());
        rowsAtClose = f->LV->topLevelItemCount();
        c.close(*f);
        // Nothing runs on once the window has closed.
        EXPECT_EQ(f->RunningCount(), 0);
      });
      f->FolderEdit->setText(QString::fromStdString(dir.W("root")));
      f->MaskEdit->setText("*.txt;f1.*;f2.*");
      QTimer::singleShot(0, f->SearchBtn, [f] { QTest::mouseClick(f->SearchBtn, Qt::LeftButton); });
      result = f->exec();
      EXPECT_EQ(f->RunningCount(), 0);
    }  // freed right after: no thread may report to it any more
    EXPECT_EQ(result, 2);
    EXPECT_GE(rowsAtClose, 10);
  }
}

}  // namespace

namespace {

// Under a display the script sets QUORVA_SCREENSHOT_DIR and gets the dialog with results.
TEST_F(SearchFrmTest, Screenshot) {
  TSearchFrm frm(2);
  frm.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frm));
  Search(frm, "*.txt;*.TXT", QString::fromStdString(RootW()));
  WaitIdle(frm);
  frm.LV->topLevelItem(2)->setCheckState(0, Qt::Unchecked);
  QCoreApplication::processEvents();
  ExpectEveryColumnWhole(frm.LV);
  const QPixmap shot = frm.grab();
  EXPECT_FALSE(shot.isNull());
  nobody.reset();  // the picture goes where the script's user writes
  if (const char* dir = std::getenv("QUORVA_SCREENSHOT_DIR")) {
    EXPECT_TRUE(shot.save(QString(dir) + "/search-files.png"));
  }
}

}  // namespace
