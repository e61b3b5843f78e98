// "Show Wizard" from end to end: the wizard walked as a user walks it, the job it asks for run
// under the progress window, and what becomes of the project afterwards. Archives go to a
// folder (read by unzip), to an FTP server on 127.0.0.1 (pyftpdlib) and to the virtual
// recorder (its disc image read by xorriso); a restore takes back only what was checked.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/engine/backup/backup_run.h"
#include "app/engine/delivery/writer_search.h"
#include "app/engine/progress.h"
#include "app/engine/settings/global_setting.h"
#include "app/ui/pages/main_frm.h"
#include "app/ui/project/after_backup_frm.h"
#include "app/ui/project/found_writers.h"
#include "app/ui/project/wizard_frm.h"
#include "app/ui/run/console_frm.h"
#include "app/ui/run/progress_frm.h"
#include "app/ui/widgets/browse_for_folder.h"
#include "platform/fs/fs.h"
#include "tests/support/disc_test_support.h"
#include "tests/support/modal_dialog.h"
#include "tests/support/project_dialog_support.h"
#include "tests/support/qt_test_env.h"
#include "tests/support/server_process.h"

namespace {

namespace sfs = std::filesystem;

class MainFrmWizardTest : public ::testing::Test {
 protected:
  ~MainFrmWizardTest() override {
    // A dialog a test waited for in vain must not be acted on in the next one.
    for (QTimer* poll : qApp->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly))
      delete poll;
  }
  MainFrmWizardTest() {
    settings.SaveOnDestroy = false;
    settings.ShowWizardAtStart = false;
    settings.NetworkTimeoutSec = 5;
    settings.AutoRetry = false;
    settings.TempFolder = env.home.W("tmp\\");
    platform::fs::CreateDirectories(settings.TempFolder);
    platform::fs::CreateDirectories(env.home.W("out\\"));
    progress.Timer1->setInterval(1);
    for (const char* f : {"a.txt", "b.txt", "sub/c.txt", "sub/d.txt", "other/e.txt"})
      WriteFile(env.home.P(std::string("data/src/") + f), std::string("first ") + f);
  }

  std::unique_ptr<TMainFrm> Open() {
    auto frm = std::make_unique<TMainFrm>(settings, *env.ui);
    frm->SetProgressForm(&progress);
    return frm;
  }
  std::string JobFile(const std::string& name) const {
    return env.home.W("QVP_JOBS\\" + name + ".bpj");
  }
  bool ConsoleHas(const TMainFrm& frm, const std::string& message) const {
    for (const auto& e : frm.Console().Entries())
      if (e.message == message) return true;
    return false;
  }

  // The backup path of the wizard: name, the destination `page1` sets, the sources folder,
  // Finish.
  void OnBackupWizard(const std::string& name, std::function<void(TWizardFrm&)> page1) {
    OnModalDialog<TWizardFrm>([this, name, page1](TWizardFrm& w) {
      EXPECT_EQ(w.windowTitle(), "Quorva Backup Wizard");
      QTest::mouseClick(w.BackupWizardBtn, Qt::LeftButton);
      w.NameEdit->setText(QString::fromStdString(name));
      page1(w);
      QTest::mouseClick(w.NextBtn, Qt::LeftButton);
      ASSERT_EQ(w.PageIndex(), 2);
      w.AddSourceRow(env.home.W("data\\src\\"), true);
      QTest::mouseClick(w.NextBtn, Qt::LeftButton);
      ASSERT_EQ(w.PageIndex(), 3);
      EXPECT_EQ(w.NextBtn->text(), "Finish");
      QTest::mouseClick(w.NextBtn, Qt::LeftButton);
    });
  }
  void ToFolder(TWizardFrm& w, const std::string& archive) {
    w.Edit1->setText(QString::fromStdString(archive));
  }
  // The after-backup dialog is answered with its button of that result.
  void OnAfterBackup(int result) {
    OnModalDialog<TAfterBackupWizardFrm>([result](TAfterBackupWizardFrm& d) {
      EXPECT_EQ(d.windowTitle(), "Backup completed!");
      QPushButton* b = result == 1 ? d.SaveOtherBtn : result == 11 ? d.SaveListBtn : d.DiscardBtn;
      QTest::mouseClick(b, Qt::LeftButton);
    });
  }
  // A backup of data/src to out/<name>.qvp through the wizard, then the after-backup answer.
  void BackupToFolder(TMainFrm& frm, const std::string& name, int afterBackup) {
    OnBackupWizard(
        name, [this, name](TWizardFrm& w) { ToFolder(w, env.home.W("out\\" + name + ".qvp")); });
    OnAfterBackup(afterBackup);
    frm.ToWizard->trigger();
    EXPECT_FALSE(progress.isVisible());
  }
  static std::set<std::string> ZipNames(const std::string& posixArchive) {
    std::string out;
    EXPECT_EQ(RunCommand("unzip -Z1 '" + posixArchive + "'", &out), 0) << out;
    std::set<std::string> names;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
      if (!line.empty()) names.insert(line);
    return names;
  }
  std::set<std::string> SourceEntries() const {
    std::set<std::string> names = {"$PRJDEF$.QVP"};
    for (const char* f : {"a.txt", "b.txt", "sub\\c.txt", "sub\\d.txt", "other\\e.txt"}) {
      std::string w = env.home.W(std::string("data\\src\\") + f);
      names.insert(w.erase(1, 1));  // the drive's colon is dropped
    }
    return names;
  }

  TQtTestEnv env;
  TGlobalSetting settings;
  TProgressFrm progress;
};

TEST_F(MainFrmWizardTest, BackupToAFolderSavedToTheProjectList) {
  auto frm = Open();
  BackupToFolder(*frm, "Wizard job", 11);
  const std::string archive = env.home.P("out/Wizard job.qvp");
  std::string out;
  EXPECT_EQ(RunCommand("unzip -tq '" + archive + "'", &out), 0) << out;
  EXPECT_EQ(ZipNames(archive), SourceEntries());
  EXPECT_TRUE(ConsoleHas(*frm, "Backup complete."));
  EXPECT_FALSE(ConsoleHas(*frm, "User break!"));

  // Listed and saved with the snapshot the run merged: the next run goes on from it.
  ASSERT_EQ(frm->PrjLV->rowCount(), 1);
  EXPECT_EQ(frm->PrjLV->item(0, 0)->text(), "Wizard job");
  EXPECT_EQ(frm->PrjLV->item(0, 1)->text().toStdString(), env.home.W("out\\Wizard job.qvp"));
  const TProject* listed = frm->Projects().FindByName("Wizard job");
  ASSERT_NE(listed, nullptr);
  EXPECT_EQ(listed->ProjectFile, JobFile("Wizard job"));
  EXPECT_EQ(listed->Snapshot.Count(), 5);
  const auto stored = ReadProjectFile(JobFile("Wizard job"));
  EXPECT_EQ(stored->RunCounter, 1);
  EXPECT_EQ(stored->Snapshot.Count(), 5);
  EXPECT_EQ(stored->Folders.Count(), 1);
  EXPECT_EQ(stored->DestinationFile, env.home.W("out\\Wizard job.qvp"));

  WriteFile(env.home.P("data/src/a.txt"), "changed");
  sfs::last_write_time(env.home.P("data/src/a.txt"),
                       sfs::last_write_time(env.home.P("data/src/a.txt")) + std::chrono::hours(1));
  frm->SelectProject("Wizard job");
  frm->RunBackupExecute();
  EXPECT_EQ(ReadProjectFile(JobFile("Wizard job"))->RunCounter, 2);
  // A changed-files run after the first: only the changed file is in the next version.
  EXPECT_EQ(ZipNames(env.home.P("out/Wizard job-v002.qvp")).size(), 2u);
}

TEST_F(MainFrmWizardTest, SaveToTheProjectListNeverTakesAnotherProjectsNameOrFile) {
  TProject other;
  other.Name = "Taken";
  platform::fs::CreateDirectories(env.home.W("QVP_JOBS\\"));
  ASSERT_TRUE(other.SaveToFile(JobFile("Taken")));
  // Someone else's file, not a project the list loads.
  WriteFile(env.home.P("QVP_JOBS/Ghost.bpj"), "not a project");
  auto frm = Open();
  ASSERT_EQ(frm->PrjLV->rowCount(), 1);

  // Taken (listed, in any case), not a plain file name, an unlisted file: renamed each time.
  env.ui->ScriptNameAnswers({"taken", "../up", "Ghost", "Fresh"});
  BackupToFolder(*frm, "Taken", 11);
  EXPECT_EQ(env.ui->AskedNames(), (std::vector<std::string>{"Taken", "taken", "../up", "Ghost"}));
  EXPECT_EQ(ReadFile(env.home.P("QVP_JOBS/Ghost.bpj")), "not a project");
  EXPECT_EQ(ReadProjectFile(JobFile("Taken"))->RunCounter, 0);
  ASSERT_EQ(frm->PrjLV->rowCount(), 2);
  EXPECT_EQ(ReadProjectFile(JobFile("Fresh"))->Snapshot.Count(), 5);
  EXPECT_FALSE(sfs::exists(env.home.P("up.bpj")));

  // Cancelling the rename saves nothing.
  env.ui->ScriptNameAnswers({std::nullopt});
  BackupToFolder(*frm, "Fresh", 11);
  EXPECT_EQ(frm->PrjLV->rowCount(), 2);
  EXPECT_EQ(ReadProjectFile(JobFile("Fresh"))->RunCounter, 1);
}

TEST_F(MainFrmWizardTest, SaveToOtherLocationAndDiscard) {
  auto frm = Open();
  sfs::create_directories(env.home.P("elsewhere"));
  auto chooseElsewhere = [this] {
    OnModalDialog<TBrowseForFolderDlg>([this](TBrowseForFolderDlg& d) {
      ASSERT_TRUE(d.SelectFolder(QString::fromStdString(env.home.P("elsewhere"))));
      QTest::mouseClick(d.OKBtn, Qt::LeftButton);
    });
  };
  chooseElsewhere();
  BackupToFolder(*frm, "Moved", 1);
  const std::string file = env.home.W("elsewhere\\Moved.bpj");
  ASSERT_TRUE(platform::fs::Exists(file));
  EXPECT_EQ(ReadProjectFile(file)->Snapshot.Count(), 5);
  EXPECT_EQ(frm->PrjLV->rowCount(), 0) << "not added to the list";

  // The same name again: the overwrite question; No keeps the file, Yes replaces it.
  WriteFile(env.home.P("elsewhere/Moved.bpj"), "kept");
  env.ui->ScriptMessageAnswers({TModalResult::No});
  chooseElsewhere();
  BackupToFolder(*frm, "Moved", 1);
  auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, "There is a project file with the same name, overwrite?");
  EXPECT_EQ(asked[0].title, "Confirm");
  EXPECT_EQ(asked[0].buttons, TMessageButtons::YesNo);
  EXPECT_EQ(ReadFile(env.home.P("elsewhere/Moved.bpj")), "kept");
  env.ui->ScriptMessageAnswers({TModalResult::Yes});
  chooseElsewhere();
  BackupToFolder(*frm, "Moved", 1);
  EXPECT_EQ(ReadProjectFile(file)->Name, "Moved");

  // No folder chosen: nothing saved.
  OnModalDialog<TBrowseForFolderDlg>(
      [](TBrowseForFolderDlg& d) { QTest::mouseClick(d.CancelBtn, Qt::LeftButton); });
  BackupToFolder(*frm, "Unsaved", 1);
  EXPECT_FALSE(platform::fs::Exists(env.home.W("elsewhere\\Unsaved.bpj")));

  // "Discard" keeps the archive and saves no project.
  BackupToFolder(*frm, "Dropped", 2);
  EXPECT_TRUE(sfs::exists(env.home.P("out/Dropped.qvp")));
  EXPECT_FALSE(platform::fs::Exists(JobFile("Dropped")));
  EXPECT_EQ(frm->PrjLV->rowCount(), 0);
}

TEST_F(MainFrmWizardTest, AFailedBackupIsNotCalledCompletedAndItsProjectCanStillBeKept) {
  struct Case {
    const char* name;
    const char* archive;  // under out/
    bool completes;
  };
  const Case cases[] = {
      {"Completes", "completes.qvp", true},
      {"Fails", "no such folder\\fails.qvp", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto frm = Open();
    env.ui->ClearAskedMessages();
    OnBackupWizard(c.name, [&](TWizardFrm& w) { ToFolder(w, env.home.W("out\\") + c.archive); });
    QString title, text;
    OnModalDialog<TAfterBackupWizardFrm>([&](TAfterBackupWizardFrm& d) {
      title = d.windowTitle();
      text = d.Label1->text();
      QTest::mouseClick(d.SaveListBtn, Qt::LeftButton);
    });
    frm->ToWizard->trigger();

    int errorBoxes = 0;
    for (const auto& m : env.ui->AskedMessages()) errorBoxes += m.kind == TMessageKind::Error;
    EXPECT_EQ(ConsoleHas(*frm, "Backup complete."), c.completes);
    EXPECT_EQ(errorBoxes > 0, !c.completes) << "the failure is shown";
    EXPECT_EQ(title, c.completes ? "Backup completed!" : "Backup failed!");
    EXPECT_EQ(text.contains("completed"), c.completes) << text.toStdString();
    const std::string archive = env.home.W("out\\") + c.archive;
    EXPECT_EQ(platform::fs::Exists(archive), c.completes);

    // Kept in the list either way; only the run that completed left a snapshot.
    ASSERT_EQ(frm->PrjLV->rowCount(), 1);
    EXPECT_EQ(frm->PrjLV->item(0, 0)->text(), c.name);
    const auto stored = ReadProjectFile(JobFile(c.name));
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->DestinationFile, archive);
    EXPECT_EQ(stored->Snapshot.Count(), c.completes ? 5 : 0);
    platform::fs::DeleteFile(JobFile(c.name));
  }
}

TEST_F(MainFrmWizardTest, CancelledBackupLogsUserBreakAndAsksNothingAfter) {
  auto frm = Open();
  QObject::connect(env.ui.get(), &TQtUserInterface::statusPanelChanged,
                   [&](int, const QString& text) {
                     if (text == "Searching Files..." && progress.isVisible())
                       QTest::mouseClick(progress.SpeedButton1, Qt::LeftButton);
                   });
  OnBackupWizard("Broken off",
                 [this](TWizardFrm& w) { ToFolder(w, env.home.W("out\\broken.qvp")); });
  bool afterBackupShown = false;
  OnModalDialog<TAfterBackupWizardFrm>([&](TAfterBackupWizardFrm& d) {
    afterBackupShown = true;
    d.DiscardBtnClick();
  });
  frm->ToWizard->trigger();
  EXPECT_TRUE(ConsoleHas(*frm, "User break!"));
  QCoreApplication::processEvents();
  EXPECT_FALSE(afterBackupShown);
  EXPECT_FALSE(sfs::exists(env.home.P("out/broken.qvp")));
  // The cancelled wizard starts nothing.
  OnModalDialog<TWizardFrm>([](TWizardFrm& w) { QTest::mouseClick(w.CancelBtn, Qt::LeftButton); });
  frm->ToWizard->trigger();
  EXPECT_FALSE(progress.isVisible());
}

TEST_F(MainFrmWizardTest, BackupToAnFtpServer) {
  TempDir ftp;
  sfs::create_directories(ftp.P("user/backups"));
  TServerProcess server("engine/servers/ftp_server.py", {"--home", ftp.Posix(), "--port", "0",
                                                         "--user", "ann:secret:elradfmw:user"});
  auto frm = Open();
  OnBackupWizard("To FTP", [&](TWizardFrm& w) {
    w.RadioButton2->click();
    w.Edit2->setText("127.0.0.1");
    w.Edit3->setText(QString::number(server.Port()));
    w.Edit4->setText("ann");
    w.Edit5->setText("secret");
    w.Edit6->setText("/backups");
  });
  OnAfterBackup(2);
  frm->ToWizard->trigger();
  EXPECT_TRUE(ConsoleHas(*frm, "Backup complete."));
  std::vector<std::string> uploaded;
  for (const auto& e : sfs::directory_iterator(ftp.P("user/backups")))
    uploaded.push_back(e.path().string());
  ASSERT_EQ(uploaded.size(), 1u);
  std::string out;
  EXPECT_EQ(RunCommand("unzip -tq '" + uploaded[0] + "'", &out), 0) << out;
  EXPECT_EQ(ZipNames(uploaded[0]), SourceEntries());
  EXPECT_TRUE(disc_test::Names(env.home.P("tmp")).empty()) << "the temporary archive is gone";
}

TEST_F(MainFrmWizardTest, BackupToTheVirtualRecorder) {
  disc_test::ConfigureRecorder("DVD-R");
  disc_test::TRecorderFolder recorder(env.home.Posix());
  StartWriterSearch(settings.PriorityIndex);
  JoinWriterSearch();
  ASSERT_EQ(WriterNames().size(), 1u);
  auto frm = Open();
  frm->UseProjectConfigDialog(FoundWriters);
  OnBackupWizard("To disc", [](TWizardFrm& w) {
    w.RadioButton3->click();
    ASSERT_EQ(w.ComboBox1->count(), 1);
    EXPECT_NE(w.ComboBox1->itemText(0).indexOf("Virtual Recorder"), -1);
    w.ComboBox1->setCurrentIndex(0);
  });
  OnAfterBackup(11);
  env.ui->ScriptMessageAnswers({TModalResult::Yes});  // the blank disc is in
  frm->ToWizard->trigger();
  EXPECT_TRUE(ConsoleHas(*frm, "Backup complete."));
  const auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].title, "Start to burn");

  ASSERT_EQ(recorder.Images().size(), 1u);
  const std::string zip = disc_test::DiscFile(recorder.Image(1), "QUORVABACKUP", env.home.Posix());
  WriteFile(env.home.P("disc.zip"), zip);
  disc_test::ExpectArchiveHolds(env.home.P("disc.zip"), env.home.W("data\\src\\"),
                                {"a.txt", "sub/c.txt", "other/e.txt"}, env.home.P("data/src"));
  const auto stored = ReadProjectFile(JobFile("To disc"));
  EXPECT_EQ(stored->DestinationType, 2);
  EXPECT_EQ(stored->WriterTargetID, WriterAddresses().at(0).TargetID);
  EXPECT_TRUE(disc_test::Names(env.home.P("tmp")).empty());
}

class WizardRestoreTest : public MainFrmWizardTest {
 protected:
  void SetUp() override {
    TProject p;
    p.Name = "Source";
    p.BackupMode = 0;
    p.DestinationFile = env.home.W("out\\source.qvp");
    p.Folders.Add(env.home.W("data\\src\\"), 0);
    p.ProjectFile.clear();
    ResetProgressForJob();
    ASSERT_EQ(BackupThreadProc(p, settings), TBackupOutcome::Complete);
    archive = p.DestinationFile;
    // The originals change after the backup.
    for (const char* f : {"a.txt", "b.txt", "sub/c.txt", "sub/d.txt", "other/e.txt"})
      WriteFile(env.home.P(std::string("data/src/") + f), std::string("second ") + f);
  }

  TRestoreNode* Node(TWizardFrm& w, const std::string& folder) {
    TRestoreNode* found = nullptr;
    w.ArchiveTree().ForEachNode([&](TRestoreNode& n) {
      if (n.Path() == folder) found = &n;
    });
    return found;
  }
  // The wizard's restore path: the folder sub\ and the file a.txt checked, then page 5 as
  // `page5` sets it.
  void OnRestoreWizard(std::function<void(TWizardFrm&)> page5) {
    OnModalDialog<TWizardFrm>([this, page5](TWizardFrm& w) {
      QTest::mouseClick(w.RestoreWizardBtn, Qt::LeftButton);
      env.ui->ScriptFileAnswers({archive});
      QTest::mouseClick(w.ArchiveBrowse, Qt::LeftButton);
      TRestoreNode* sub = Node(w, env.home.W("data\\src\\sub\\"));
      ASSERT_NE(sub, nullptr);
      w.ArchiveTree().NodeClick(sub);
      w.ArchiveTree().SelectNode(Node(w, env.home.W("data\\src\\")));
      w.ArchiveTree().RowClick(w.ArchiveTree().FindRow(env.home.W("data\\src\\a.txt")));
      QTest::mouseClick(w.NextBtn, Qt::LeftButton);
      ASSERT_EQ(w.PageIndex(), 5);
      page5(w);
      QTest::mouseClick(w.NextBtn, Qt::LeftButton);
      ASSERT_EQ(w.PageIndex(), 6);
      EXPECT_EQ(w.SummaryRestoreContent->text(), "1 Folders, 1 Files");
      QTest::mouseClick(w.NextBtn, Qt::LeftButton);
    });
  }
  std::string Data(const std::string& rel) const { return env.home.P("data/src/" + rel); }

  std::string archive;
};

TEST_F(WizardRestoreTest, OnlyTheCheckedFoldersAndFilesAreRestoredElsewhere) {
  TempDir target;
  auto frm = Open();
  OnRestoreWizard([&](TWizardFrm& w) {
    w.RadioButton5->click();
    w.TargetEdit->setText(QString::fromStdString(target.Win()));
  });
  frm->ToWizard->trigger();
  EXPECT_EQ(frm->RestoreJob.RestoreArchivePath, archive);
  EXPECT_EQ(frm->RestoreJob.RestoreToOtherFolder, 1);
  const std::string below = target.Posix() + "/Z" + env.home.Posix() + "/data/src/";
  for (const char* f : {"a.txt", "sub/c.txt", "sub/d.txt"})
    EXPECT_EQ(ReadFile(below + f), std::string("first ") + f) << f;
  for (const char* f : {"b.txt", "other/e.txt"}) EXPECT_FALSE(sfs::exists(below + f)) << f;
  EXPECT_EQ(ReadFile(Data("a.txt")), "second a.txt") << "the original stays";
  EXPECT_EQ(frm->StatusPanel1->text(), "Restore complete.");
}

TEST_F(WizardRestoreTest, OverwriteModesOverTheOriginalFolders) {
  struct Case {
    const char* mode;
    std::function<void(TWizardFrm&)> choose;
    bool overwritePrompt;  // answered "overwrite" when asked
    const char* expected;
  };
  const Case cases[] = {
      {"Always skip", [](TWizardFrm& w) { w.RadioButton8->setChecked(true); }, false, "second "},
      {"Confirm, kept", [](TWizardFrm& w) { w.RadioButton6->setChecked(true); }, false, "second "},
      {"Confirm, overwritten", [](TWizardFrm& w) { w.RadioButton6->setChecked(true); }, true,
       "first "},
      {"Always overwrite", [](TWizardFrm& w) { w.RadioButton7->setChecked(true); }, false,
       "first "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    for (const char* f : {"a.txt", "sub/c.txt", "sub/d.txt"})
      WriteFile(Data(f), std::string("second ") + f);
    int prompts = 0;
    env.ui->SetOverwritePrompt([&](std::string_view) {
      ++prompts;
      return TOverwriteAnswer{c.overwritePrompt, true};
    });
    auto frm = Open();
    OnRestoreWizard(c.choose);
    frm->ToWizard->trigger();
    for (const char* f : {"a.txt", "sub/c.txt", "sub/d.txt"})
      EXPECT_EQ(ReadFile(Data(f)), c.expected + std::string(f)) << f;
    for (const char* f : {"b.txt", "other/e.txt"})
      EXPECT_EQ(ReadFile(Data(f)), std::string("second ") + f) << f;
    EXPECT_EQ(prompts > 0, std::string(c.mode).rfind("Confirm", 0) == 0);
  }
  env.ui->SetOverwritePrompt(nullptr);
}

}  // namespace
