// The Differential-Restore page over three archives of one project written by the backup run:
// the sets as columns, choosing each file's version, and the restore from the chosen sets.
#include "app/ui/pages/compare_page.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTest>
#include <filesystem>

#include "app/engine/backup/backup_run.h"
#include "app/engine/progress.h"
#include "app/engine/project/project.h"
#include "app/engine/restore/restore_report.h"
#include "app/engine/settings/global_setting.h"
#include "app/ui/pages/main_frm.h"
#include "app/ui/run/console_frm.h"
#include "app/ui/run/progress_frm.h"
#include "app/ui/widgets/state_images.h"
#include "platform/fs/fs.h"
#include "tests/support/qt_test_env.h"
#include "tests/support/whole_captions.h"

namespace {

const char* const kFiles[] = {"a.txt", "b.txt", "c.txt"};

class ComparePageTest : public ::testing::Test {
 protected:
  ComparePageTest() {
    settings.SaveOnDestroy = false;
    settings.ShowWizardAtStart = false;
    settings.TempFolder = env.home.W("tmp\\");
    platform::fs::CreateDirectories(settings.TempFolder);
    platform::fs::CreateDirectories(env.home.W("out\\"));
    platform::fs::CreateDirectories(env.home.W("QVP_JOBS\\"));
    progress.Timer1->setInterval(1);
    project.Name = "Alpha";
    project.BackupMode = 0;
    project.Folders.Add(env.home.W("data\\"), 0);
    project.ProjectFile = env.home.W("QVP_JOBS\\Alpha.bpj");
  }

  // Version n of the three files ("vn:a.txt", ...) backed up into out/vn.qvp.
  std::string Version(int n) {
    const std::string v = "v" + std::to_string(n);
    for (const char* f : kFiles) WriteFile(env.home.P(std::string("data/") + f), v + ":" + f);
    project.DestinationFile = env.home.W("out\\" + v + ".qvp");
    EXPECT_TRUE(project.SaveToFile(project.ProjectFile));
    ResetProgressForJob();
    EXPECT_EQ(BackupThreadProc(project, settings), TBackupOutcome::Complete);
    return project.DestinationFile;
  }

  std::unique_ptr<TMainFrm> Open() {
    auto frm = std::make_unique<TMainFrm>(settings, *env.ui);
    frm->SetProgressForm(&progress);
    return frm;
  }

  // Shows the folder of the files in CLV; its tree item.
  QTreeWidgetItem* ShowDataFolder(TMainFrm& frm) {
    const TRestoreNode* found = nullptr;
    frm.ComparePage->Model().Tree.ForEachNode([&](TRestoreNode& node) {
      if (node.Path() == env.home.W("data\\")) found = &node;
    });
    QTreeWidgetItem* item = frm.ComparePage->ItemOf(found);
    if (item) frm.CPTV->setCurrentItem(item);
    return item;
  }

  static int RowOf(QTreeWidget* list, const QString& caption) {
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      if (list->topLevelItem(i)->text(0) == caption) return i;
    return -1;
  }

  // The images of a row's set cells.
  static std::vector<int> Cells(QTreeWidget* list, int row) {
    std::vector<int> cells;
    for (int c = 1; c < list->columnCount(); ++c)
      cells.push_back(list->topLevelItem(row)->data(c, kCompareCellRole).toInt());
    return cells;
  }

  TQtTestEnv env;
  TGlobalSetting settings;
  TProgressFrm progress;
  TProject project;
};

TEST_F(ComparePageTest, EachFileIsRestoredFromTheVersionChosenForIt) {
  const std::string v1 = Version(1), v2 = Version(2), v3 = Version(3);
  TempDir target;
  auto frm = Open();
  env.ui->ScriptFileAnswers({v1 + "\n" + v2 + "\n" + v3});
  frm->AddProjectToCompare->trigger();
  EXPECT_EQ(frm->PC->currentIndex(), 3);
  ASSERT_EQ(frm->CLV->columnCount(), 4);
  EXPECT_EQ(frm->CLV->headerItem()->text(0), "Files");
  EXPECT_EQ(frm->CLV->headerItem()->text(2).toStdString(), v2);
  ExpectEveryHeaderWhole(frm->CLV->header());  // each set's path shows whole
  ASSERT_NE(ShowDataFolder(*frm), nullptr);
  ASSERT_EQ(frm->CLV->topLevelItemCount(), 3);
  const int a = RowOf(frm->CLV, "a.txt"), b = RowOf(frm->CLV, "b.txt"),
            c = RowOf(frm->CLV, "c.txt");
  // Every set holds every file; the first one is chosen.
  EXPECT_EQ(Cells(frm->CLV, a), (std::vector<int>{1, 0, 0}));

  TComparePageView& page = *frm->ComparePage;
  page.ChooseFileVersion(b, 2);
  // A click into a cell chooses that set.
  QTest::mouseClick(frm->CLV->viewport(), Qt::LeftButton, {},
                    frm->CLV->visualRect(frm->CLV->model()->index(c, 3)).center());
  EXPECT_EQ(Cells(frm->CLV, a), (std::vector<int>{1, 0, 0}));
  EXPECT_EQ(Cells(frm->CLV, b), (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(Cells(frm->CLV, c), (std::vector<int>{0, 0, 1}));

  page.CPTVClick(frm->CPTV->topLevelItem(0));
  EXPECT_EQ(ItemStateImage(frm->CLV->topLevelItem(a)), kStateChecked);
  QTest::mouseClick(page.RadioButton4, Qt::LeftButton);
  page.Edit1->setText(QString::fromStdString(target.Win()));
  bool progressShown = false;
  QObject::connect(env.ui.get(), &TQtUserInterface::statusPanelChanged, [&](int, const QString&) {
    progressShown = progressShown || progress.isVisible();
  });
  frm->ActionListUpdate();
  ASSERT_TRUE(frm->RunRestore->isEnabled());
  frm->RunRestore->trigger();

  EXPECT_TRUE(progressShown);
  EXPECT_FALSE(progress.isVisible());
  EXPECT_EQ(frm->StatusPanel1->text(), "Restoring Complete.");
  const std::string below = target.Posix() + "/Z" + env.home.Posix() + "/data/";
  EXPECT_EQ(ReadFile(below + "a.txt"), "v1:a.txt");
  EXPECT_EQ(ReadFile(below + "b.txt"), "v2:b.txt");
  EXPECT_EQ(ReadFile(below + "c.txt"), "v3:c.txt");
  EXPECT_TRUE(env.ui->AskedMessages().empty());
}

TEST_F(ComparePageTest, ColumnsMenuAndAProjectFileThatCannotBeChosen) {
  const std::string v1 = Version(1), v2 = Version(2);
  const std::string bpj = project.ProjectFile;
  WriteFile(env.home.P("out/broken.bpj"), "no project");
  auto frm = Open();
  TComparePageView& page = *frm->ComparePage;
  page.AddCompareSource({v1, v2, bpj, env.home.W("out\\broken.bpj")});
  const auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text,
            env.home.W("out\\broken.bpj") + " is not a valid quorva backup project file.");
  ASSERT_EQ(frm->CLV->columnCount(), 4);
  ASSERT_NE(ShowDataFolder(*frm), nullptr);
  const int a = RowOf(frm->CLV, "a.txt");
  EXPECT_EQ(Cells(frm->CLV, a), (std::vector<int>{1, 0, 0}));
  // The project file's column is shown disabled and cannot be chosen.
  const QColor disabled = frm->CLV->palette().color(QPalette::Disabled, QPalette::Text);
  EXPECT_EQ(frm->CLV->headerItem()->foreground(3).color(), disabled);
  EXPECT_NE(frm->CLV->headerItem()->foreground(2).color(), disabled);
  page.ChooseFileVersion(a, 3);
  page.CLVColumnClick(3);
  EXPECT_EQ(Cells(frm->CLV, a), (std::vector<int>{1, 0, 0}));
  page.CLVColumnClick(2);
  for (int row = 0; row < frm->CLV->topLevelItemCount(); ++row)
    EXPECT_EQ(Cells(frm->CLV, row), (std::vector<int>{0, 1, 0}));

  ASSERT_TRUE(page.CPTVContextPopup({1, 1}));
  const auto entries = page.Compare_Popup2->actions();
  ASSERT_EQ(entries.size(), 5);
  EXPECT_EQ(entries[0]->text(), "Choose version for this folder/subfolder");
  EXPECT_TRUE(entries[1]->isSeparator());
  EXPECT_EQ(entries[2]->text().toStdString(), v1);
  EXPECT_TRUE(entries[2]->isEnabled());
  EXPECT_FALSE(entries[4]->isEnabled());
  page.Compare_Popup2->hide();
  entries[2]->trigger();  // the whole tree from set 1
  EXPECT_EQ(Cells(frm->CLV, a), (std::vector<int>{1, 0, 0}));

  frm->ResetCompare->trigger();
  EXPECT_EQ(frm->CLV->columnCount(), 1);
  EXPECT_EQ(frm->CPTV->topLevelItemCount(), 0);
  EXPECT_FALSE(page.CPTVContextPopup({1, 1}));
  page.AddCompareSource({v2, v1});
  ASSERT_EQ(frm->CLV->columnCount(), 3);
  EXPECT_EQ(frm->CLV->headerItem()->text(1).toStdString(), v2);
}

TEST_F(ComparePageTest, ASetGoneAtRestoreTimeEndsTheRunIncomplete) {
  const std::string v1 = Version(1), v2 = Version(2);
  TempDir target;
  auto frm = Open();
  TComparePageView& page = *frm->ComparePage;
  page.AddCompareSource({v1, v2});
  ASSERT_NE(ShowDataFolder(*frm), nullptr);
  page.ChooseFileVersion(RowOf(frm->CLV, "b.txt"), 2);
  page.CPTVClick(frm->CPTV->topLevelItem(0));
  page.RadioButton4->setChecked(true);
  page.Edit1->setText(QString::fromStdString(target.Win()));
  platform::fs::DeleteFile(v2);
  frm->PC->setCurrentIndex(3);
  frm->RunRestoreExecute();

  EXPECT_FALSE(progress.isVisible());
  const std::string incomplete = RestoreIncompleteText(1);
  EXPECT_EQ(frm->StatusPanel1->text().toStdString(), incomplete);
  const auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, incomplete);
  const std::string below = target.Posix() + "/Z" + env.home.Posix() + "/data/";
  EXPECT_EQ(ReadFile(below + "a.txt"), "v1:a.txt");
  EXPECT_FALSE(std::filesystem::exists(below + "b.txt"));
}

TEST_F(ComparePageTest, RestoreRefusals) {
  const std::string v1 = Version(1);
  auto frm = Open();
  frm->ComparePage->AddCompareSource({v1});
  frm->PC->setCurrentIndex(3);
  // Nothing checked.
  frm->RunRestoreExecute();
  EXPECT_EQ(frm->StatusPanel1->text(), "No file selected!");
  EXPECT_TRUE(env.ui->AskedMessages().empty());
  // Another folder that is no folder.
  frm->ComparePage->CPTVClick(frm->CPTV->topLevelItem(0));
  frm->ComparePage->RadioButton4->setChecked(true);
  frm->ComparePage->Edit1->setText(QString::fromStdString(env.home.W("missing\\")));
  frm->RunRestoreExecute();
  const auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, "Please choose a valid directory.");
  EXPECT_FALSE(progress.isVisible());
}

}  // namespace
