// The Restore page over real archives of the backup run, the restore under the progress
// window, and recovering a project from an archive.
#include "app/ui/pages/restore_page.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "app/engine/backup/backup_run.h"
#include "app/engine/progress.h"
#include "app/engine/project/project.h"
#include "app/engine/restore/restore_report.h"
#include "app/engine/settings/global_setting.h"
#include "app/ui/pages/main_frm.h"
#include "app/ui/run/console_frm.h"
#include "app/ui/run/progress_frm.h"
#include "app/ui/run/rename_frm.h"
#include "app/ui/widgets/state_images.h"
#include "platform/fs/fs.h"
#include "tests/support/qt_test_env.h"
#include "tests/support/whole_captions.h"

namespace {

class RestorePageTest : public ::testing::Test {
 protected:
  RestorePageTest() {
    settings.SaveOnDestroy = false;
    settings.ShowWizardAtStart = false;
    settings.TempFolder = env.home.W("tmp\\");
    platform::fs::CreateDirectories(settings.TempFolder);
    platform::fs::CreateDirectories(env.home.W("out\\"));
    platform::fs::CreateDirectories(env.home.W("QVP_JOBS\\"));
    progress.Timer1->setInterval(1);
  }

  std::string Data(const std::string& name) const { return env.home.W("data\\" + name); }
  std::string JobFile(const std::string& name) const {
    return env.home.W("QVP_JOBS\\" + name + ".bpj");
  }

  // A saved project over data/<name>/ with files of distinct contents, and one archive of it
  // written by the backup run.
  void WriteProjectWithArchive(const std::string& name) {
    for (const char* f : {"a.txt", "b.txt", "sub/c.txt", "sub/d.txt", "other/e.txt"})
      WriteFile(env.home.P("data/" + name + "/" + f), name + ":" + f);
    TProject p;
    p.Name = name;
    p.BackupMode = 0;
    p.DestinationFile = env.home.W("out\\" + name + ".qvp");
    p.Folders.Add(Data(name + "\\"), 0);
    p.ProjectFile = JobFile(name);
    ASSERT_TRUE(p.SaveToFile(p.ProjectFile));
    ResetProgressForJob();
    ASSERT_EQ(BackupThreadProc(p, settings), TBackupOutcome::Complete);
    ASSERT_TRUE(platform::fs::Exists(p.DestinationFile));
  }

  std::unique_ptr<TMainFrm> Open() {
    auto frm = std::make_unique<TMainFrm>(settings, *env.ui);
    frm->SetProgressForm(&progress);
    return frm;
  }

  // The tree item of a stored folder (Windows form, trailing backslash).
  static QTreeWidgetItem* FolderItem(TRestorePageView& page, const std::string& folder) {
    const TRestoreNode* found = nullptr;
    page.Model().Tree.ForEachNode([&](TRestoreNode& node) {
      if (node.Path() == folder) found = &node;
    });
    return page.ItemOf(found);
  }

  static int RowOf(QTreeWidget* list, const QString& caption) {
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      if (list->topLevelItem(i)->text(0) == caption) return i;
    return -1;
  }

  bool ConsoleHas(const TMainFrm& frm, const std::string& message, int level = -1) const {
    for (const auto& e : frm.Console().Entries())
      if (e.message == message && (level < 0 || e.level == level)) return true;
    return false;
  }

  // Where a restore below `target` puts a file of data/<rel>.
  std::string Below(const TempDir& target, const std::string& rel) const {
    return target.Posix() + "/Z" + env.home.Posix() + "/data/" + rel;
  }

  TQtTestEnv env;
  TGlobalSetting settings;
  TProgressFrm progress;
};

TEST_F(RestorePageTest, ArchiveIsListedAndItsTreeShowsTheStoredFiles) {
  WriteProjectWithArchive("Alpha");
  auto frm = Open();
  frm->SelectProject("Alpha");
  TRestorePageView& page = *frm->RestorePage;

  ASSERT_EQ(frm->Combo_BackupSets->count(), 1);
  EXPECT_EQ(frm->Combo_BackupSets->currentText().toStdString(), env.home.W("out\\Alpha.qvp"));
  EXPECT_EQ(frm->Combo_BackupSets->objectName(), "Combo_BackupSets");
  EXPECT_EQ(page.RestoreArchiveInfo->text().section('\n', 0, 0), "Name : Alpha");
  EXPECT_TRUE(page.RestoreArchiveInfo->text().section('\n', 1, 1).startsWith("Created at : "));
  ASSERT_EQ(frm->RTTV->topLevelItemCount(), 1);
  EXPECT_EQ(frm->RTTV->topLevelItem(0)->text(0), "Z:");

  QTreeWidgetItem* alpha = FolderItem(page, Data("Alpha\\"));
  ASSERT_NE(alpha, nullptr);
  EXPECT_EQ(alpha->text(0), "Alpha");
  frm->RTTV->setCurrentItem(alpha);
  QStringList captions;
  for (int i = 0; i < frm->RLV->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* row = frm->RLV->topLevelItem(i);
    captions << row->text(0);
    EXPECT_EQ(ItemStateImage(row), kStateUnchecked) << row->text(0).toStdString();
  }
  captions.sort();
  EXPECT_EQ(captions, (QStringList{"a.txt", "b.txt", "other", "sub"}));
  const QTreeWidgetItem* a = frm->RLV->topLevelItem(RowOf(frm->RLV, "a.txt"));
  EXPECT_FALSE(a->text(1).isEmpty());  // time in the archive
  EXPECT_FALSE(a->text(2).isEmpty());  // the file is still in its folder
  EXPECT_EQ(a->text(3), "1");
  EXPECT_TRUE(frm->RLV->topLevelItem(RowOf(frm->RLV, "sub"))->text(3).isEmpty());
  ExpectEveryHeaderWhole(frm->RLV->header());  // "Last modified in archive" is not cut

  // "Start to Restore" on the project list opens the page.
  frm->RunRestore->trigger();
  EXPECT_EQ(frm->PC->currentIndex(), 2);
  frm->ActionListUpdate();
  EXPECT_TRUE(frm->RunRestore->isEnabled());
  // Another project (none) clears the page.
  frm->SelectProject("");
  EXPECT_EQ(frm->RTTV->topLevelItemCount(), 0);
  EXPECT_EQ(frm->RLV->topLevelItemCount(), 0);
}

TEST_F(RestorePageTest, CheckedFolderAndFileAreRestoredToAnotherFolder) {
  WriteProjectWithArchive("Alpha");
  TempDir target;
  auto frm = Open();
  frm->SelectProject("Alpha");
  frm->PC->setCurrentIndex(2);
  TRestorePageView& page = *frm->RestorePage;
  QTreeWidgetItem* alpha = FolderItem(page, Data("Alpha\\"));
  ASSERT_NE(alpha, nullptr);
  frm->RTTV->setCurrentItem(alpha);

  // The folder's row acts on the folder; the single file by its row.
  page.RLVClick(RowOf(frm->RLV, "sub"));
  page.RLVClick(RowOf(frm->RLV, "a.txt"));
  EXPECT_EQ(ItemStateImage(FolderItem(page, Data("Alpha\\sub\\"))), kStateChecked);
  EXPECT_EQ(ItemStateImage(frm->RLV->topLevelItem(RowOf(frm->RLV, "sub"))), kStateChecked);
  EXPECT_EQ(ItemStateImage(alpha), kStatePartly);
  // The partly checked folder shows so as a row of its parent's list too.
  frm->RTTV->setCurrentItem(FolderItem(page, Data("")));
  EXPECT_EQ(ItemStateImage(frm->RLV->topLevelItem(RowOf(frm->RLV, "Alpha"))), kStatePartly);

  QTest::mouseClick(page.RadioButton2, Qt::LeftButton);
  EXPECT_TRUE(page.RestoreTo->isEnabled());
  page.RestoreTo->setText(QString::fromStdString(target.Win()));
  bool progressShown = false;
  QObject::connect(env.ui.get(), &TQtUserInterface::statusPanelChanged, [&](int, const QString&) {
    progressShown = progressShown || progress.isVisible();
  });
  frm->RunRestore->trigger();

  EXPECT_TRUE(progressShown);
  EXPECT_FALSE(progress.isVisible());
  EXPECT_EQ(frm->StatusPanel1->text(), "Restore complete.");
  EXPECT_TRUE(frm->StatusProgress->isHidden());
  for (const char* f : {"a.txt", "sub/c.txt", "sub/d.txt"})
    EXPECT_EQ(ReadFile(Below(target, std::string("Alpha/") + f)),
              ReadFile(env.home.P(std::string("data/Alpha/") + f)))
        << f;
  for (const char* f : {"b.txt", "other/e.txt"})
    EXPECT_FALSE(std::filesystem::exists(Below(target, std::string("Alpha/") + f))) << f;
  EXPECT_FALSE(ConsoleHas(*frm, "User break!"));
  EXPECT_TRUE(env.ui->AskedMessages().empty());
}

TEST_F(RestorePageTest, CancelInTheProgressWindowStopsTheRestore) {
  WriteProjectWithArchive("Alpha");
  auto frm = Open();
  frm->SelectProject("Alpha");
  frm->PC->setCurrentIndex(2);
  TRestorePageView& page = *frm->RestorePage;
  page.RTTVClick(FolderItem(page, Data("Alpha\\")));
  // Back to the original folders, where every file exists: the first overwrite question is
  // answered by pressing Cancel in the progress window.
  for (const char* f : {"a.txt", "b.txt", "sub/c.txt", "sub/d.txt", "other/e.txt"})
    WriteFile(env.home.P(std::string("data/Alpha/") + f), "changed");
  int asked = 0;
  env.ui->SetOverwritePrompt([&](std::string_view) {
    ++asked;
    if (progress.isVisible()) QTest::mouseClick(progress.SpeedButton1, Qt::LeftButton);
    return TOverwriteAnswer{true, false};
  });
  frm->RunRestoreExecute();
  EXPECT_TRUE(ProgressCancelled);
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(progress.isVisible());
  EXPECT_TRUE(ConsoleHas(*frm, "User break!", 1));
  int restored = 0;
  for (const char* f : {"a.txt", "b.txt", "sub/c.txt", "sub/d.txt", "other/e.txt"})
    restored += ReadFile(env.home.P(std::string("data/Alpha/") + f)) != "changed";
  EXPECT_LE(restored, 1);
}

TEST_F(RestorePageTest, FilesThatCannotBeWrittenEndTheRunIncomplete) {
  WriteProjectWithArchive("Alpha");
  TempDir target;
  // A folder where a.txt is to go: that one file cannot be restored.
  std::filesystem::create_directories(Below(target, "Alpha/a.txt"));
  auto frm = Open();
  frm->SelectProject("Alpha");
  frm->PC->setCurrentIndex(2);
  TRestorePageView& page = *frm->RestorePage;
  page.RTTVClick(FolderItem(page, Data("Alpha\\")));
  page.RadioButton2->setChecked(true);
  page.RestoreTo->setText(QString::fromStdString(target.Win()));
  page.ComboBox1->setCurrentIndex(1);  // always overwrite
  frm->RunRestoreExecute();

  EXPECT_FALSE(progress.isVisible());
  const std::string incomplete = RestoreIncompleteText(1);
  EXPECT_EQ(frm->StatusPanel1->text().toStdString(), incomplete);
  const auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, incomplete);
  EXPECT_EQ(ReadFile(Below(target, "Alpha/sub/c.txt")), "Alpha:sub/c.txt");
}

TEST_F(RestorePageTest, RestoreRefusals) {
  WriteProjectWithArchive("Alpha");
  TProject bare;
  bare.Name = "Bare";
  bare.DestinationFile = env.home.W("out\\bare.qvp");
  ASSERT_TRUE(bare.SaveToFile(JobFile("Bare")));
  struct Case {
    const char* project;
    bool check;
    bool otherFolder;
    std::string folder;
    const char* message;  // none: nothing is said
  };
  const Case cases[] = {
      {"Bare", true, false, "",
       "There is no saved data in the archive file! Please choose a "
       "valid archive file"},
      {"Alpha", true, true, "", "Please choose a valid directory."},
      {"Alpha", true, true, env.home.W("missing\\"), "Please choose a valid directory."},
      {"Alpha", false, false, "", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.project + std::string(" ") + c.folder);
    auto frm = Open();
    frm->SelectProject(c.project);
    frm->PC->setCurrentIndex(2);
    TRestorePageView& page = *frm->RestorePage;
    if (c.check && frm->RTTV->topLevelItemCount() > 0) page.RTTVClick(frm->RTTV->topLevelItem(0));
    page.RadioButton2->setChecked(c.otherFolder);
    page.RestoreTo->setText(QString::fromStdString(c.folder));
    env.ui->ClearAskedMessages();
    frm->RunRestoreExecute();
    const auto asked = env.ui->AskedMessages();
    if (c.message) {
      ASSERT_EQ(asked.size(), 1u);
      EXPECT_EQ(asked[0].text, c.message);
    } else {
      EXPECT_TRUE(asked.empty());
    }
    EXPECT_TRUE(frm->StatusProgress->isHidden());
  }
}

TEST_F(RestorePageTest, ProjectWithoutSetsShowsItsStoredSnapshot) {
  WriteProjectWithArchive("Alpha");
  platform::fs::DeleteFile(env.home.W("out\\Alpha.qvp"));
  auto frm = Open();
  frm->SelectProject("Alpha");
  ASSERT_EQ(frm->Combo_BackupSets->count(), 1);
  EXPECT_EQ(frm->Combo_BackupSets->currentText(), "No backup sets found!");
  EXPECT_NE(FolderItem(*frm->RestorePage, Data("Alpha\\sub\\")), nullptr);
}

TEST_F(RestorePageTest, OtherBackupSetsAreImported) {
  WriteProjectWithArchive("Alpha");
  WriteProjectWithArchive("Beta");
  WriteFile(env.home.P("out/junk.qvp"), "no archive");
  auto frm = Open();
  frm->SelectProject("Alpha");
  TRestorePageView& page = *frm->RestorePage;
  const std::string beta = env.home.W("out\\Beta.qvp");
  env.ui->ScriptFileAnswers({beta, env.home.W("out\\junk.qvp"), beta, std::nullopt});

  page.SpeedButton1Click();
  EXPECT_EQ(frm->Combo_BackupSets->count(), 2);
  EXPECT_EQ(frm->Combo_BackupSets->currentText().toStdString(), beta);
  EXPECT_NE(FolderItem(page, Data("Beta\\")), nullptr);
  EXPECT_EQ(FolderItem(page, Data("Alpha\\")), nullptr);

  page.SpeedButton1Click();  // unreadable: said and not kept
  const auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, "Can not open archive file");
  EXPECT_EQ(frm->Combo_BackupSets->count(), 2);

  page.SpeedButton1Click();  // listed once
  page.SpeedButton1Click();  // cancelled
  EXPECT_EQ(frm->Combo_BackupSets->count(), 2);

  // Choosing the first set in the combo loads it again.
  frm->Combo_BackupSets->setCurrentIndex(0);
  emit frm->Combo_BackupSets->activated(0);
  EXPECT_NE(FolderItem(page, Data("Alpha\\")), nullptr);
}

// ---------------------------------------------------------------------------------------------

TEST_F(RestorePageTest, RecoveryAsksForANewNameWhileTheNameIsTaken) {
  WriteProjectWithArchive("Alpha");
  WriteProjectWithArchive("Beta");
  auto frm = Open();
  const int rows = frm->PrjLV->rowCount();
  const std::string archive = env.home.W("out\\Alpha.qvp");

  // Cancelled rename: nothing saved.
  env.ui->ScriptFileAnswers({archive});
  env.ui->ScriptNameAnswers({std::nullopt});
  frm->ExtractBPJfromQVP->trigger();
  EXPECT_EQ(frm->PrjLV->rowCount(), rows);
  EXPECT_EQ(env.ui->AskedNames(), (std::vector<std::string>{"Alpha"}));

  env.ui->ScriptFileAnswers({archive});
  env.ui->ScriptNameAnswers({"Beta", "Gamma"});
  frm->ExtractBPJfromQVP->trigger();
  ASSERT_EQ(frm->PrjLV->rowCount(), rows + 1);
  EXPECT_EQ(env.ui->AskedNames(), (std::vector<std::string>{"Alpha", "Alpha", "Beta"}));
  EXPECT_EQ(frm->PrjLV->item(rows, 0)->text(), "Gamma");
  EXPECT_EQ(frm->PrjLV->item(rows, 2)->text(), "Not yet");
  EXPECT_EQ(frm->PrjLV->item(rows, 3)->text(), "0");
  const TProject* gamma = frm->Projects().FindByName("Gamma");
  ASSERT_NE(gamma, nullptr);
  EXPECT_EQ(frm->PrjLV->item(rows, 1)->text().toStdString(), gamma->DescribeDestination());
  EXPECT_EQ(gamma->ProjectFile, JobFile("Gamma"));
  EXPECT_TRUE(platform::fs::Exists(JobFile("Gamma")));
  EXPECT_EQ(gamma->Snapshot.Count(), 5);

  // An unreadable archive.
  WriteFile(env.home.P("out/junk.qvp"), "no archive");
  env.ui->ScriptFileAnswers({env.home.W("out\\junk.qvp")});
  env.ui->ClearAskedMessages();
  frm->ExtractBPJfromQVP->trigger();
  const auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, "Open file failed. Please verify that the QVP file is valid");
  EXPECT_EQ(frm->PrjLV->rowCount(), rows + 1);
}

TEST_F(RestorePageTest, ChangeNameDialogShowsTheOldName) {
  TQtUserInterface ui;  // not scripted: the dialog itself
  QString oldShown;
  QTimer::singleShot(0, [&] {
    auto* frm = qobject_cast<TChangeNameFrm*>(QApplication::activeModalWidget());
    ASSERT_NE(frm, nullptr);
    oldShown = frm->Edit1->text();
    frm->Edit2->setText("Renamed");
    QTest::mouseClick(frm->OKBtn, Qt::LeftButton);
  });
  EXPECT_EQ(ui.ChangeProjectName("Alpha"), std::optional<std::string>("Renamed"));
  EXPECT_EQ(oldShown, "Alpha");

  QTimer::singleShot(0, [&] {
    auto* frm = qobject_cast<TChangeNameFrm*>(QApplication::activeModalWidget());
    ASSERT_NE(frm, nullptr);
    QTest::mouseClick(frm->CancelBtn, Qt::LeftButton);
  });
  EXPECT_EQ(ui.ChangeProjectName("Alpha"), std::nullopt);
}

}  // namespace
