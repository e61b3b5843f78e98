// Pictures of the dialogs and of the pages that show loaded data, one per page, with every
// caption, header and tab checked whole. Under a display the screenshot script sets
// QUORVA_SCREENSHOT_DIR and gets the pictures; without it the checks still run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QPixmap>
#include <QTest>
#include <cstdlib>
#include <string>

#include "app/engine/backup/backup_run.h"
#include "app/engine/progress.h"
#include "app/engine/project/project.h"
#include "app/engine/settings/global_setting.h"
#include "app/ui/pages/compare_page.h"
#include "app/ui/pages/main_frm.h"
#include "app/ui/pages/restore_page.h"
#include "app/ui/project/extension_frm.h"
#include "app/ui/project/project_config_frm.h"
#include "app/ui/run/progress_frm.h"
#include "app/ui/settings/global_setting_frm.h"
#include "platform/fs/fs.h"
#include "tests/support/modal_dialog.h"
#include "tests/support/qt_test_env.h"
#include "tests/support/whole_captions.h"

namespace {

class WindowPictures : public ::testing::Test {
 protected:
  WindowPictures() {
    settings.SaveOnDestroy = false;
    settings.ShowWizardAtStart = false;
    settings.TempFolder = env.home.W("tmp\\");
    platform::fs::CreateDirectories(settings.TempFolder);
    platform::fs::CreateDirectories(env.home.W("out\\"));
    platform::fs::CreateDirectories(env.home.W("QVP_JOBS\\"));
    auto account = std::make_unique<TEmailAccount>();
    account->Caption = "Office mail";
    account->SMTPServer = "smtp.example.org";
    settings.Accounts.push_back(std::move(account));
  }

  // Saves the widget's picture as <name>.png when pictures are asked for.
  static void Picture(QWidget& widget, const QString& name) {
    QCoreApplication::processEvents();
    const QPixmap shot = widget.grab();
    EXPECT_FALSE(shot.isNull()) << name.toStdString();
    if (const char* dir = std::getenv("QUORVA_SCREENSHOT_DIR")) {
      EXPECT_TRUE(shot.save(QString(dir) + "/" + name + ".png")) << name.toStdString();
    }
  }

  // The saved project "Documents" over data/ and `sets` archives of it, each after a change.
  void BackedUp(int sets) {
    TProject p;
    p.Name = "Documents";
    p.BackupMode = 0;
    p.Folders.Add(env.home.W("data\\"), 0);
    p.ProjectFile = env.home.W("QVP_JOBS\\Documents.bpj");
    for (int n = 1; n <= sets; ++n) {
      for (const char* f : {"letters/insurance claim.odt", "letters/notes.txt",
                            "photos/summer holiday 2024/beach.jpg", "budget.ods"})
        WriteFile(env.home.P(std::string("data/") + f), "version " + std::to_string(n));
      p.DestinationFile = env.home.W("out\\Documents-set" + std::to_string(n) + ".qvp");
      EXPECT_TRUE(p.SaveToFile(p.ProjectFile));
      ResetProgressForJob();
      EXPECT_EQ(BackupThreadProc(p, settings), TBackupOutcome::Complete);
    }
  }

  std::unique_ptr<TMainFrm> Open() {
    auto frm = std::make_unique<TMainFrm>(settings, *env.ui);
    frm->SetProgressForm(&progress);
    frm->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
    return frm;
  }

  TQtTestEnv env;
  TGlobalSetting settings;
  TProgressFrm progress;
};

TEST_F(WindowPictures, SettingsDialogPages) {
  TGlobalSettingFrm frm(settings);
  frm.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frm));
  ExpectEveryTabWhole(frm.PageControl1);
  for (int page = 0; page < frm.PageControl1->count(); ++page) {
    frm.PageControl1->setCurrentIndex(page);
    QCoreApplication::processEvents();
    if (page == 2) ExpectEveryHeaderWhole(frm.LV->header());
    Picture(frm, "settings-" + QString::number(page));
  }
}

TEST_F(WindowPictures, ProjectDialogPages) {
  TProjectConfigFrm frm(settings, {{"Virtual recorder 0", 0, 0, 0, 0}});
  frm.Project.Name = "Documents";
  frm.Project.DestinationFile = env.home.W("out\\Documents.qvp");
  frm.Project.ExcludedPatterns.Add("*.tmp", 0);
  frm.Project.ExcludedFolders.Add(env.home.W("data\\photos\\summer holiday 2024\\thumbnails\\"), 0);
  frm.ProjectToForm();
  frm.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frm));
  ExpectEveryTabWhole(frm.PageControl);
  for (int page = 0; page < frm.PageControl->count(); ++page) {
    frm.PageControl->setCurrentIndex(page);
    QCoreApplication::processEvents();
    if (page == 1) ExpectEveryColumnWhole(frm.ExLV);
    Picture(frm, "project-" + QString::number(page));
  }
}

TEST_F(WindowPictures, RestorePageWithAnArchive) {
  BackedUp(1);
  auto frm = Open();
  frm->SelectProject("Documents");
  frm->PC->setCurrentIndex(2);
  TRestorePageView& page = *frm->RestorePage;
  const TRestoreNode* letters = nullptr;
  page.Model().Tree.ForEachNode([&](TRestoreNode& node) {
    if (node.Path() == env.home.W("data\\letters\\")) letters = &node;
  });
  ASSERT_NE(page.ItemOf(letters), nullptr);
  frm->RTTV->setCurrentItem(page.ItemOf(letters));
  ASSERT_GT(frm->RLV->topLevelItemCount(), 0);
  QCoreApplication::processEvents();
  ExpectEveryColumnWhole(frm->RLV);
  Picture(*frm, "restore-with-archive");
}

TEST_F(WindowPictures, DifferentialRestoreWithTwoSets) {
  BackedUp(2);
  auto frm = Open();
  frm->resize(1240, 560);  // two set columns headed by their whole paths
  frm->ComparePage->AddCompareSource(
      {env.home.W("out\\Documents-set1.qvp"), env.home.W("out\\Documents-set2.qvp")});
  frm->PC->setCurrentIndex(3);
  const TRestoreNode* letters = nullptr;
  frm->ComparePage->Model().Tree.ForEachNode([&](TRestoreNode& node) {
    if (node.Path() == env.home.W("data\\letters\\")) letters = &node;
  });
  ASSERT_NE(frm->ComparePage->ItemOf(letters), nullptr);
  frm->CPTV->setCurrentItem(frm->ComparePage->ItemOf(letters));
  ASSERT_EQ(frm->CLV->columnCount(), 3);
  ExpectEveryHeaderWhole(frm->CLV->header());
  Picture(*frm, "differential-restore-two-sets");
}

// The one extension chooser of a run opens at the size it had, its rows whole.
TEST_F(WindowPictures, ExtensionChooserKeepsItsSize) {
  TAddExtFrm frm;
  QSize first, second;
  OnModalDialog<TAddExtFrm>([&](TAddExtFrm& d) {
    QCoreApplication::processEvents();
    first = d.size();
    EXPECT_GT(d.LV->topLevelItemCount(), 0);
    ExpectEveryColumnWhole(d.LV);
    Picture(d, "extension-chooser");
    d.CancelBtnClick();
  });
  frm.exec();
  OnModalDialog<TAddExtFrm>([&](TAddExtFrm& d) {
    QCoreApplication::processEvents();
    second = d.size();
    d.CancelBtnClick();
  });
  frm.exec();
  EXPECT_EQ(second, first);
}

TEST_F(WindowPictures, ProgressWindow) {
  ProgressCaption = "Backing up Files...";
  ProgressStatus = env.home.W("data\\photos\\summer holiday 2024\\beach.jpg");
  ProgressPosition = 42;
  ProgressShowCancel = true;
  progress.ShowNonModal();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&progress));
  progress.Timer1Timer();
  EXPECT_EQ(progress.status_text->text().toStdString(), ProgressStatus.Get());
  EXPECT_GE(progress.status_text->width(),
            progress.status_text->fontMetrics().horizontalAdvance(progress.status_text->text()));
  Picture(progress, "progress");
  progress.Finish();
}

}  // namespace
