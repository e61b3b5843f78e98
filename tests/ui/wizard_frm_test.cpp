// The wizard's pages on the offscreen platform: their texts, the way through them, the checks
// of "Next >", what the pages give the wizard's project and restore choices, and the dialogs
// they open.
#include "app/ui/project/wizard_frm.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QListView>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/engine/backup/backup_run.h"
#include "app/engine/progress.h"
#include "app/engine/settings/global_setting.h"
#include "app/ui/project/proxy_frm.h"
#include "app/ui/project/search_frm.h"
#include "app/ui/project/special_folder_frm.h"
#include "app/ui/widgets/browse_for_folder.h"
#include "platform/fs/fs.h"
#include "platform/shell/user_folders.h"
#include "tests/support/modal_dialog.h"
#include "tests/support/project_dialog_support.h"
#include "tests/support/qt_test_env.h"
#include "tests/support/whole_captions.h"

namespace {

// Every text a page shows: labels, buttons, group titles.
std::set<QString> Texts(const QWidget* page) {
  std::set<QString> texts;
  for (const QLabel* l : page->findChildren<QLabel*>()) texts.insert(l->text());
  for (const QAbstractButton* b : page->findChildren<QAbstractButton*>()) texts.insert(b->text());
  for (const QGroupBox* g : page->findChildren<QGroupBox*>()) texts.insert(g->title());
  return texts;
}

QStringList Headers(const QTreeWidget* list) {
  QStringList headers;
  for (int c = 0; c < list->columnCount(); ++c) headers << list->headerItem()->text(c);
  return headers;
}

class WizardFrmTest : public ::testing::Test {
 protected:
  WizardFrmTest() {
    settings.SaveOnDestroy = false;
    settings.TempFolder = env.home.W("tmp\\");
    platform::fs::CreateDirectories(settings.TempFolder);
    platform::fs::CreateDirectories(env.home.W("out\\"));
  }

  std::unique_ptr<TWizardFrm> Open() {
    auto w = std::make_unique<TWizardFrm>(settings);
    w->Writers = [this] { return writers; };
    return w;
  }
  // The messages shown since the last call.
  std::vector<std::string> Shown() {
    std::vector<std::string> texts;
    for (const auto& m : env.ui->AskedMessages()) texts.push_back(m.text);
    env.ui->ClearAskedMessages();
    return texts;
  }
  void Next(TWizardFrm& w) { QTest::mouseClick(w.NextBtn, Qt::LeftButton); }
  void Back(TWizardFrm& w) { QTest::mouseClick(w.BackBtn, Qt::LeftButton); }

  // An archive of data/<name>/ written by the backup run; its files' paths.
  std::string Archive(const std::string& name, const std::vector<std::string>& files) {
    for (const auto& f : files) WriteFile(env.home.P("data/" + name + "/" + f), name + ":" + f);
    TProject p;
    p.Name = name;
    p.BackupMode = 0;
    p.DestinationFile = env.home.W("out\\" + name + ".qvp");
    p.Folders.Add(env.home.W("data\\" + name + "\\"), 0);
    p.ProjectFile.clear();
    ResetProgressForJob();
    EXPECT_EQ(BackupThreadProc(p, settings), TBackupOutcome::Complete);
    return p.DestinationFile;
  }
  TRestoreNode* Node(TWizardFrm& w, const std::string& folder) {
    TRestoreNode* found = nullptr;
    w.ArchiveTree().ForEachNode([&](TRestoreNode& n) {
      if (n.Path() == folder) found = &n;
    });
    return found;
  }

  TQtTestEnv env;
  TGlobalSetting settings;
  std::vector<TWriterEntry> writers = {{"Quorva Virtual Recorder 0", 0, 0, 0, 0},
                                       {"Second Writer", 2, 0, 3, 0}};
};

TEST_F(WizardFrmTest, PagesShowTheirTexts) {
  auto w = Open();
  EXPECT_EQ(w->Pages->count(), 7);
  EXPECT_EQ(w->BackBtn->text(), "< Back");
  EXPECT_EQ(w->NextBtn->text(), "Next >");
  EXPECT_EQ(w->CancelBtn->text(), "Cancel");
  const std::set<QString> page0 = Texts(w->Pages->widget(0));
  for (const char* t :
       {"Welcome to Quorva Backup Utility Wizard", "Backup Wizard ", "Restore Wizard"})
    EXPECT_TRUE(page0.count(t)) << t;

  const std::set<QString> page1 = Texts(w->Pages->widget(1));
  for (const char* t :
       {"Type a name for this backup", "Select destination for this project.", "to Local / LAN",
        "to remote FTP server", "to CD/DVD", "select a file name on the local drive or LAN",
        "Save to", "select FTP server and provide an account to access", "Passive mode", "proxy",
        "Select CD/DVD device. speed, etc", "Erase disc before recording",
        "It's highly recommanded that you enable auto-splitting feature to fit your CD/DVD disc. "
        "Please click 'Advacned setting' in last step"})
    EXPECT_TRUE(page1.count(t)) << t;
  EXPECT_EQ(w->NameEdit->text(), "Backup");
  EXPECT_EQ(w->Edit3->text(), "21");
  QStringList speeds;
  for (int i = 0; i < w->ComboBox2->count(); ++i) speeds << w->ComboBox2->itemText(i);
  EXPECT_EQ(speeds, (QStringList{"AutoDetect", "1x", "2x", "2.2x", "3x", "4x", "8x", "16x"}));
  EXPECT_EQ(w->Edit5->echoMode(), QLineEdit::Password);

  const std::set<QString> page2 = Texts(w->Pages->widget(2));
  for (const char* t : {"Add folders and files to backup file list", "Add ...", "Remove selected"})
    EXPECT_TRUE(page2.count(t)) << t;
  EXPECT_EQ(Headers(w->SourcesLV), (QStringList{"Name", "Description"}));
  EXPECT_GE(w->SourcesLV->header()->sectionSize(0), 250);
  QStringList items;
  for (QAction* a : w->AddMenu->actions()) items << a->text();
  EXPECT_EQ(items, (QStringList{"Add Files...", "Add Folders...", "Search Files...",
                                "Add Special Folders..."}));

  const std::set<QString> page3 = Texts(w->Pages->widget(3));
  for (const char* t : {"Complete the Backup Wizard", "Advanced setting",
                        "To close this wizard and proceed with the backup, click Finish"})
    EXPECT_TRUE(page3.count(t)) << t;

  const std::set<QString> page4 = Texts(w->Pages->widget(4));
  for (const char* t : {"Choose a backup file to restore ", "Browse",
                        "Double click an item , then select the check box to any drive, folder , "
                        "or file that you want to restore"})
    EXPECT_TRUE(page4.count(t)) << t;
  EXPECT_EQ(Headers(w->RLV), (QStringList{"Name", "Modified time", "Local modified", "Version"}));

  const std::set<QString> page5 = Texts(w->Pages->widget(5));
  for (const char* t :
       {"Choose location to restore to", "Restore to original folder", "Restore to other folder",
        "Choose overwrite mode when file with the same name exists in destination folder",
        "Confirm", "Always overwrite", "Always skip"})
    EXPECT_TRUE(page5.count(t)) << t;
  EXPECT_TRUE(w->RadioButton4->isChecked());
  EXPECT_TRUE(w->RadioButton6->isChecked());
  EXPECT_FALSE(w->TargetEdit->isEnabled());
  EXPECT_FALSE(w->TargetBrowse->isEnabled());
  w->RadioButton5->click();
  EXPECT_TRUE(w->TargetEdit->isEnabled());
  EXPECT_TRUE(w->TargetBrowse->isEnabled());

  const std::set<QString> page6 = Texts(w->Pages->widget(6));
  for (const char* t : {"Complete the Restore Wizard",
                        "To close this wizard and proceed with the backup, click Finish"})
    EXPECT_TRUE(page6.count(t)) << t;
}

TEST_F(WizardFrmTest, NavigationThroughThePages) {
  WriteFile(env.home.P("data/one.txt"), "1");
  const std::string archive = Archive("Nav", {"a.txt"});
  auto w = Open();
  w->show();
  struct Step {
    std::function<void()> act;
    int page;
    const char* caption;
    const char* next;
    bool enabled;
  };
  const std::vector<Step> steps = {
      {[] {}, 0, "Quorva Backup Wizard", "Next >", false},
      {[&] { Next(*w); }, 0, "Quorva Backup Wizard", "Next >", false},  // only the start buttons
      {[&] { Back(*w); }, 0, "Quorva Backup Wizard", "Next >", false},
      {[&] { QTest::mouseClick(w->BackupWizardBtn, Qt::LeftButton); }, 1,
       "Step 1: choose backup name and location.", "Next >", true},
      {[&] { Next(*w); }, 2, "Step 2: choose folders and files.", "Next >", true},
      {[&] {
         w->AddSourceRow(env.home.W("data\\one.txt"), false);
         Next(*w);
       },
       3, "Step 3: Advanced setting", "Finish", true},
      {[&] { Back(*w); }, 2, "Step 2: choose folders and files.", "Next >", true},
      {[&] { Back(*w); }, 1, "Step 1: choose backup name and location.", "Next >", true},
      {[&] { Back(*w); }, 0, "Quorva Backup Wizard", "Next >", false},
      {[&] { QTest::mouseClick(w->RestoreWizardBtn, Qt::LeftButton); }, 4,
       "Step 1: Choose backup sets file.", "Next >", true},
      {[&] { Back(*w); }, 0, "Quorva Backup Wizard", "Next >", false},  // not to page 3
      {[&] { QTest::mouseClick(w->RestoreWizardBtn, Qt::LeftButton); }, 4,
       "Step 1: Choose backup sets file.", "Next >", true},
      {[&] {
         ASSERT_TRUE(w->LoadArchive(archive));
         w->ArchiveTree().NodeClick(w->ArchiveTree().FirstNode());
         Next(*w);
       },
       5, "Step 2: choose folders and files.", "Next >", true},
      {[&] { Next(*w); }, 6, "Step 3: Start to restore.", "Finish", true},
      {[&] { Back(*w); }, 5, "Step 2: choose folders and files.", "Next >", true},
      {[&] { Back(*w); }, 4, "Step 1: Choose backup sets file.", "Next >", true},
  };
  for (size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "step " << i);
    steps[i].act();
    EXPECT_EQ(w->PageIndex(), steps[i].page);
    EXPECT_EQ(w->Pages->currentIndex(), steps[i].page);
    EXPECT_EQ(w->windowTitle(), steps[i].caption);
    EXPECT_EQ(w->NextBtn->text(), steps[i].next);
    EXPECT_EQ(w->NextBtn->isEnabled(), steps[i].enabled);
    EXPECT_EQ(w->BackBtn->isEnabled(), steps[i].enabled);
    EXPECT_TRUE(w->isVisible());
  }
  EXPECT_TRUE(Shown().empty());

  // "Finish" ends with page index + 1; "Cancel" with 2.
  Next(*w);
  Next(*w);
  Next(*w);
  EXPECT_EQ(w->result(), TWizardFrm::kRestoreResult);
  w->show();
  w->ShowPage(3);
  Next(*w);
  EXPECT_EQ(w->result(), TWizardFrm::kBackupResult);
  w->show();
  QTest::mouseClick(w->CancelBtn, Qt::LeftButton);
  EXPECT_EQ(w->result(), 2);
  w->show();
  w->close();
  EXPECT_EQ(w->result(), 2);
}

TEST_F(WizardFrmTest, EachCheckShowsItsMessageAndKeepsThePage) {
  const std::string archive = Archive("Checks", {"a.txt"});
  WriteFile(env.home.P("junk.qvp"), "not an archive");
  auto w = Open();
  struct Case {
    int page;
    std::function<void(TWizardFrm&)> set;
    const char* message;
  };
  const std::vector<Case> cases = {
      {1, [](TWizardFrm& f) { f.NameEdit->clear(); }, "Please type a backup name"},
      {1, [](TWizardFrm& f) { f.Edit1->clear(); }, "Please choose a file name"},
      {1,
       [](TWizardFrm& f) {
         f.RadioButton2->setChecked(true);
         f.Edit3->setText("2x1");
       },
       "'2x1' is not a valid integer value"},
      {1,
       [this](TWizardFrm& f) {
         writers.clear();
         f.FillPage1();
         f.RadioButton3->setChecked(true);
       },
       "CD/DVD writer needed"},
      {2, [](TWizardFrm&) {}, "Please choose some folders and files"},
      {4, [](TWizardFrm&) {}, "Please choose valid backup sets file."},
      {4,
       [this](TWizardFrm& f) {
         f.ArchiveEdit->setText(QString::fromStdString(env.home.W("none.qvp")));
       },
       "Please choose valid backup sets file."},
      {4,
       [this](TWizardFrm& f) {
         f.ArchiveEdit->setText(QString::fromStdString(env.home.W("junk.qvp")));
       },
       "Invalid backup sets file."},
      {4, [&](TWizardFrm& f) { ASSERT_TRUE(f.LoadArchive(archive)); },
       "Please choose some folders and files"},
      {5,
       [](TWizardFrm& f) {
         f.RadioButton5->setChecked(true);
         f.TargetEdit->clear();
       },
       "Please choose a valid directory."},
      {5,
       [this](TWizardFrm& f) {
         f.RadioButton5->setChecked(true);
         f.TargetEdit->setText(QString::fromStdString(env.home.W("no such folder")));
       },
       "Please choose a valid directory."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    w = Open();
    w->ShowPage(c.page);
    c.set(*w);
    Shown();
    Next(*w);
    EXPECT_EQ(Shown(), std::vector<std::string>{c.message});
    EXPECT_EQ(w->PageIndex(), c.page);
    if (c.page == 4) {
      EXPECT_EQ(w->FileItems.Count() + w->FolderItems.Count(), 0);
    }
  }
}

TEST_F(WizardFrmTest, PageOneFillsTheProjectPerDestination) {
  auto w = Open();
  EXPECT_EQ(DefaultWizardArchiveFile(),
            platform::fs::FromPosix(platform::shell::HomeFolder()) + "\\Backup.qvp");
  w->ShowPage(1);
  EXPECT_TRUE(w->RadioButton1->isChecked());
  EXPECT_EQ(w->Edit1->text().toStdString(), DefaultWizardArchiveFile());
  EXPECT_TRUE(w->CheckBox1->isChecked());
  EXPECT_EQ(w->ComboBox1->currentIndex(), 0);  // the first device
  EXPECT_FALSE(w->GB1->isHidden());
  EXPECT_TRUE(w->GB2->isHidden());
  EXPECT_TRUE(w->GB3->isHidden());

  w->NameEdit->setText("Local job");
  w->Edit1->setText(QString::fromStdString(env.home.W("out\\local.qvp")));
  Next(*w);
  ASSERT_EQ(w->PageIndex(), 2);
  EXPECT_EQ(w->Project.Name, "Local job");
  EXPECT_EQ(w->Project.DestinationType, 0);
  EXPECT_EQ(w->Project.DestinationFile, env.home.W("out\\local.qvp"));
  EXPECT_TRUE(w->Project.ProjectFile.empty());

  Back(*w);
  w->RadioButton2->click();
  EXPECT_TRUE(w->GB1->isHidden());
  EXPECT_FALSE(w->GB2->isHidden());
  w->Edit2->setText("ftp.example.test");
  w->Edit3->setText(" 2121 ");
  w->Edit4->setText("ann");
  w->Edit5->setText("secret");
  w->Edit6->setText("/backups");
  w->CheckBox1->setChecked(false);
  Next(*w);
  ASSERT_EQ(w->PageIndex(), 2);
  const TProject& p = w->Project;
  EXPECT_EQ(p.DestinationType, 1);
  EXPECT_EQ(p.FtpHost, "ftp.example.test");
  EXPECT_EQ(p.FtpPort, 2121);
  EXPECT_EQ(p.FtpUser, "ann");
  EXPECT_EQ(p.FtpPassword, "secret");
  EXPECT_EQ(p.DestinationFile, "/backups");
  EXPECT_FALSE(p.FtpPassive);
  // Shown again, the page shows the project: the FTP group filled, the others at their
  // defaults.
  Back(*w);
  EXPECT_TRUE(w->RadioButton2->isChecked());
  EXPECT_EQ(w->Edit2->text(), "ftp.example.test");
  EXPECT_EQ(w->Edit3->text(), "2121");
  EXPECT_TRUE(w->Edit1->text().isEmpty());

  w->RadioButton3->click();
  EXPECT_FALSE(w->GB3->isHidden());
  ASSERT_EQ(w->ComboBox1->count(), 2);
  w->ComboBox1->setCurrentIndex(1);
  w->ComboBox2->setCurrentIndex(3);
  w->CheckBox2->setChecked(true);
  Next(*w);
  ASSERT_EQ(w->PageIndex(), 2);
  EXPECT_EQ(p.DestinationType, 2);
  EXPECT_EQ(p.SpeedIndex, 3);
  EXPECT_TRUE(p.EraseDisc);
  EXPECT_EQ(p.WriterPort, 2);
  EXPECT_EQ(p.WriterTargetID, 3);
  Back(*w);
  EXPECT_EQ(w->ComboBox1->currentIndex(), 1);
  EXPECT_EQ(w->ComboBox2->currentIndex(), 3);
}

TEST_F(WizardFrmTest, WritersAreReadWhenPageOneShowsAndAMissingOneMustBeChosen) {
  writers.clear();
  auto w = Open();
  w->ShowPage(1);
  EXPECT_EQ(w->ComboBox1->count(), 0);
  EXPECT_EQ(w->ComboBox1->placeholderText(), "No CD/DVD writer found");
  // The search finds the writers later; the page reads them when shown again.
  writers = {{"Late Writer", 1, 0, 4, 0}};
  w->Project.DestinationType = 2;
  w->Project.WriterPort = 1;
  w->Project.WriterTargetID = 5;  // not among the writers found
  w->ShowPage(1);
  ASSERT_EQ(w->ComboBox1->count(), 1);
  EXPECT_EQ(w->ComboBox1->currentIndex(), -1);
  EXPECT_EQ(w->ComboBox1->placeholderText(), "The project's writer was not found");
  Shown();
  Next(*w);
  EXPECT_EQ(Shown(), std::vector<std::string>{"CD/DVD writer needed"});
  EXPECT_EQ(w->PageIndex(), 1);
  w->ComboBox1->setCurrentIndex(0);
  Next(*w);
  EXPECT_EQ(w->PageIndex(), 2);
  EXPECT_EQ(w->Project.WriterTargetID, 4);
  // A project's writer that is there is chosen.
  w->ShowPage(1);
  EXPECT_EQ(w->ComboBox1->currentIndex(), 0);
}

TEST_F(WizardFrmTest, SummariesOfPagesThreeAndSix) {
  auto w = Open();
  w->Project.Name = "Summary";
  w->Project.DestinationFile = "Z:\\out\\s.qvp";
  w->Project.Folders.Add("Z:\\data\\", 0);
  w->Project.Files.Add("Z:\\a.txt", 0);
  struct Case {
    int mode;
    bool compress;
    int level;
    const char* modeText;
    const char* compression;
  };
  const Case cases[] = {{0, true, 0, "Full backup", "Normal"},
                        {1, true, 1, "Diff backup", "Maximum compression rate"},
                        {1, true, 2, "Diff backup", "Fast speed"},
                        {0, true, 3, "Full backup", "Super fast speed"},
                        {0, false, 2, "Full backup", "No compression"}};
  for (const Case& c : cases) {
    w->Project.BackupMode = c.mode;
    w->Project.Compress = c.compress;
    w->Project.CompressionLevel = c.level;
    w->ShowPage(3);
    EXPECT_EQ(w->SummaryName->text(), "Summary");
    EXPECT_EQ(w->SummaryDestination->text(), "Z:\\out\\s.qvp");
    EXPECT_EQ(w->SummaryContent->text(), "Including 1 folders, 1 files");
    EXPECT_EQ(w->SummaryMode->text(), c.modeText);
    EXPECT_EQ(w->SummaryCompression->text(), c.compression);
  }

  const std::string archive = Archive("Six", {"a.txt", "b.txt", "sub/c.txt"});
  w->ShowPage(4);
  ASSERT_TRUE(w->LoadArchive(archive));
  TRestoreNode* sub = Node(*w, env.home.W("data\\Six\\sub\\"));
  ASSERT_NE(sub, nullptr);
  w->ArchiveTree().NodeClick(sub);
  w->ArchiveTree().SelectNode(Node(*w, env.home.W("data\\Six\\")));
  w->ArchiveTree().RowClick(w->ArchiveTree().FindRow(env.home.W("data\\Six\\a.txt")));
  Next(*w);
  ASSERT_EQ(w->PageIndex(), 5);
  Next(*w);
  ASSERT_EQ(w->PageIndex(), 6);
  EXPECT_EQ(w->SummaryArchive->text().toStdString(), archive);
  EXPECT_EQ(w->SummaryTarget->text(), "Original folder");
  EXPECT_EQ(w->SummaryRestoreContent->text(), "1 Folders, 1 Files");
  EXPECT_EQ(w->SummaryOverwrite->text(), "Confirm");
  // Restoring to the original folders still keeps the folder text.
  Back(*w);
  w->TargetEdit->setText(QString::fromStdString(env.home.W("out")));
  w->RadioButton8->setChecked(true);
  Next(*w);
  EXPECT_EQ(w->SummaryTarget->text(), "Original folder");
  EXPECT_EQ(w->TargetFolder, env.home.W("out"));
  EXPECT_EQ(w->RestoreToOtherFolder, 0);
  EXPECT_EQ(w->SummaryOverwrite->text(), "Always skip");
  Back(*w);
  w->RadioButton5->setChecked(true);
  w->RadioButton7->setChecked(true);
  Next(*w);
  EXPECT_EQ(w->SummaryTarget->text().toStdString(), env.home.W("out"));
  EXPECT_EQ(w->RestoreToOtherFolder, 1);
  EXPECT_EQ(w->OverwriteMode, 1);
  EXPECT_EQ(w->SummaryOverwrite->text(), "Always overwrite");
}

TEST_F(WizardFrmTest, AdvancedSettingRoundTripThroughTheProjectDialog) {
  auto w = Open();
  QTest::mouseClick(w->BackupWizardBtn, Qt::LeftButton);
  w->NameEdit->setText("Before");
  Next(*w);
  w->AddSourceRow(env.home.W("data\\x\\"), true);
  Next(*w);
  ASSERT_EQ(w->PageIndex(), 3);

  // The real dialog, as the main window lends none here: it shows the wizard's project and
  // gives back what the user changed.
  OnProjectDialog([](TProjectConfigFrm& d) {
    EXPECT_EQ(d.Name->text(), "Before");
    d.Name->setText("After");
    d.RadioButton2->click();
    d.Edit2->setText("ftp.example.test");
    d.Edit3->setText("21");
    d.RadioButton4->setChecked(true);  // full backup
    d.CheckBox5->setChecked(false);
  });
  QTest::mouseClick(w->AdvancedBtn, Qt::LeftButton);
  EXPECT_EQ(w->Project.Name, "After");
  EXPECT_EQ(w->Project.DestinationType, 1);
  EXPECT_TRUE(w->Project.ProjectFile.empty());
  EXPECT_EQ(w->Project.Folders.Count(), 1) << "the sources stay";
  EXPECT_EQ(w->SummaryName->text(), "After");
  EXPECT_EQ(w->SummaryDestination->text(), "ftp:\\\\ftp.example.test");
  EXPECT_EQ(w->SummaryMode->text(), "Full backup");
  EXPECT_EQ(w->SummaryCompression->text(), "No compression");
  EXPECT_EQ(w->NameEdit->text(), "After");
  EXPECT_TRUE(w->RadioButton2->isChecked());
  EXPECT_EQ(w->Edit2->text(), "ftp.example.test");

  // A lent dialog is used instead, and Cancel changes nothing.
  int asked = 0;
  w->ProjectDialog = [&](TProject& p) {
    ++asked;
    EXPECT_EQ(p.Name, "After");
    p.Name = "Cancelled";
    return false;
  };
  QTest::mouseClick(w->AdvancedBtn, Qt::LeftButton);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(w->Project.Name, "After");
}

TEST_F(WizardFrmTest, ProxyAndFtpFolderButtons) {
  auto w = Open();
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
  w->ShowPage(1);
  w->Project.ProxyHost = "proxy.test";
  w->Project.ProxyPort = 3128;
  OnModalDialog<TProxySettingFrm>([](TProxySettingFrm& d) {
    EXPECT_EQ(d.Edit1->text(), "proxy.test");
    EXPECT_EQ(d.Edit2->text(), "3128");
    EXPECT_FALSE(d.Edit1->isEnabled());  // the enable rules applied
    d.CheckBox1->setChecked(true);
    d.Edit2->setText("8080");
    d.ComboBox1->setCurrentIndex(3);
    QTest::mouseClick(d.OKBtn, Qt::LeftButton);
  });
  QTest::mouseClick(w->ProxyBtn, Qt::LeftButton);
  EXPECT_TRUE(w->Project.UseProxy);
  EXPECT_EQ(w->Project.ProxyPort, 8080);
  EXPECT_EQ(w->Project.ProxyType, 3);
  // A proxy port that does not convert stores nothing.
  OnModalDialog<TProxySettingFrm>([](TProxySettingFrm& d) {
    d.Edit2->setText("eighty");
    d.Edit1->setText("changed.test");
    QTest::mouseClick(d.OKBtn, Qt::LeftButton);
  });
  Shown();
  QTest::mouseClick(w->ProxyBtn, Qt::LeftButton);
  EXPECT_EQ(Shown(), std::vector<std::string>{"'eighty' is not a valid integer value"});
  EXPECT_EQ(w->Project.ProxyHost, "proxy.test");
  // The FTP folder chooser is not opened with a port that does not convert.
  w->RadioButton2->click();
  w->Edit3->setText("ftp");
  QTest::mouseClick(w->FtpFolderBtn, Qt::LeftButton);
  EXPECT_EQ(Shown(), std::vector<std::string>{"'ftp' is not a valid integer value"});
}

// "Add Files..." lists every file of a folder: hidden ones, and names without a dot.
TEST_F(WizardFrmTest, AddFilesListsHiddenFilesAndNamesWithoutADot) {
  const std::set<std::string> names = {".hidden.txt", "NOEXT", "a.txt", "b.log"};
  for (const std::string& n : names) WriteFile(env.home.P("data/mixed/" + n), "x");
  auto w = Open();
  w->ShowPage(2);
  // The real file dialog, not a scripted answer.
  struct TShownDialogs {
    explicit TShownDialogs(std::shared_ptr<IUserInterface> back) : back_(std::move(back)) {
      SetUserInterface(std::make_shared<TQtUserInterface>());
    }
    ~TShownDialogs() { SetUserInterface(back_); }
    std::shared_ptr<IUserInterface> back_;
  } shown(env.ui);
  std::set<std::string> listed;
  QString filterShown;
  OnModalDialog<QFileDialog>([&](QFileDialog& d) {
    auto* model = d.findChild<QFileSystemModel*>();
    auto* view = d.findChild<QListView*>("listView");
    auto* name = d.findChild<QLineEdit*>("fileNameEdit");
    if (!model || !view || !name) {
      ADD_FAILURE() << "not the dialog of Qt's own widgets";
      return d.reject();
    }
    QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
    const QString folder = QString::fromStdString(env.home.P("data/mixed"));
    d.setDirectory(folder);
    EXPECT_TRUE(loaded.wait(60000)) << "the folder is never listed";
    QCoreApplication::processEvents();
    const QModelIndex root = view->rootIndex();
    for (int r = 0; r < view->model()->rowCount(root); ++r)
      listed.insert(view->model()->index(r, 0, root).data().toString().toStdString());
    filterShown = d.selectedNameFilter();
    // Typed as a user types it, and opened.
    name->setText(".hidden.txt");
    static_cast<QDialog&>(d).accept();
  });
  w->AddMenu->actions().at(0)->trigger();
  EXPECT_EQ(listed, names);
  EXPECT_EQ(filterShown, "All files (*)");
  const auto rows = w->SourceRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], std::make_pair(env.home.W("data\\mixed\\.hidden.txt"), false));
}

TEST_F(WizardFrmTest, SourcesMenuAddsAndRemovesRows) {
  WriteFile(env.home.P("data/notes.txt"), "n");
  WriteFile(env.home.P("data/found/one.dat"), "1");
  WriteFile(env.home.P("data/found/two.dat"), "2");
  std::filesystem::create_directories(env.home.P("data/folder"));
  auto w = Open();
  w->ShowPage(2);
  auto trigger = [&](const char* item) {
    for (QAction* a : w->AddMenu->actions())
      if (a->text() == item) a->trigger();
  };

  env.ui->ScriptFileAnswers({env.home.W("data\\notes.txt"), std::nullopt});
  trigger("Add Files...");
  trigger("Add Files...");  // cancelled: nothing
  OnModalDialog<TBrowseForFolderDlg>([this](TBrowseForFolderDlg& d) {
    EXPECT_EQ(d.windowTitle(), "Select Folder");
    ASSERT_TRUE(d.SelectFolder(QString::fromStdString(env.home.P("data/folder"))));
    QTest::mouseClick(d.OKBtn, Qt::LeftButton);
  });
  trigger("Add Folders...");
  // The search's checked rows only.
  OnModalDialog<TSearchFrm>([this](TSearchFrm& d) {
    d.MaskEdit->setText("*.dat");
    d.FolderEdit->setText(QString::fromStdString(env.home.W("data\\found")));
    QTest::mouseClick(d.SearchBtn, Qt::LeftButton);
    while (d.Searching() || d.Timer1->isActive())
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ASSERT_EQ(d.LV->topLevelItemCount(), 2);
    for (int i = 0; i < 2; ++i)
      if (d.LV->topLevelItem(i)->text(0).endsWith("two.dat"))
        d.LV->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    QTest::mouseClick(d.AddSelectedBtn, Qt::LeftButton);
  });
  trigger("Search Files...");

  const auto rows = w->SourceRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], std::make_pair(env.home.W("data\\notes.txt"), false));
  EXPECT_EQ(rows[1], std::make_pair(env.home.W("data\\folder\\"), true));
  EXPECT_EQ(rows[2], std::make_pair(env.home.W("data\\found\\one.dat"), false));
  EXPECT_EQ(w->SourcesLV->topLevelItem(0)->text(1), ShellTypeName("notes.txt"));
  EXPECT_FALSE(w->SourcesLV->topLevelItem(1)->text(1).isEmpty());
  EXPECT_FALSE(w->SourcesLV->topLevelItem(0)->icon(0).isNull());

  // Special folders: ticked beforehand when a row has their path; OK adds the ticked ones
  // that have no row and removes the unticked ones that have.
  TSpecialfolderfrm special;
  ASSERT_GE(special.RowCount(), 1) << "App Data is there in every test";
  w->SpecialFolders = &special;
  const std::string first = special.RowPath(0);
  w->AddSourceRow(first, true);
  OnModalDialog<TSpecialfolderfrm>([&](TSpecialfolderfrm& d) {
    EXPECT_TRUE(d.RowTicked(0));
    for (int i = 1; i < d.RowCount(); ++i) EXPECT_FALSE(d.RowTicked(i));
    d.SetRowTicked(0, false);
    if (d.RowCount() > 1) d.SetRowTicked(1, true);
    QTest::mouseClick(d.OKBtn, Qt::LeftButton);
  });
  trigger("Add Special Folders...");
  std::vector<std::string> paths;
  for (const auto& [path, folder] : w->SourceRows()) paths.push_back(path);
  EXPECT_EQ(std::count(paths.begin(), paths.end(), first), 0);
  if (special.RowCount() > 1) {
    EXPECT_EQ(std::count(paths.begin(), paths.end(), special.RowPath(1)), 1);
  }

  // "Remove selected", then "Next >" sorts the rows into the project's lists.
  w->SourcesLV->topLevelItem(0)->setSelected(true);
  QTest::mouseClick(w->RemoveBtn, Qt::LeftButton);
  Next(*w);
  ASSERT_EQ(w->PageIndex(), 3);
  std::vector<std::string> folders, files;
  for (int i = 0; i < w->Project.Folders.Count(); ++i)
    folders.push_back(w->Project.Folders.Get(i)->Name);
  for (int i = 0; i < w->Project.Files.Count(); ++i) files.push_back(w->Project.Files.Get(i)->Name);
  std::vector<std::string> expectedFolders = {env.home.W("data\\folder\\")};
  if (special.RowCount() > 1) expectedFolders.push_back(special.RowPath(1));
  EXPECT_EQ(folders, expectedFolders);
  EXPECT_EQ(files, std::vector<std::string>{env.home.W("data\\found\\one.dat")});
}

TEST_F(WizardFrmTest, ASecondArchiveReplacesTheTreeAndATypedPathIsReadToo) {
  const std::string first = Archive("First", {"a.txt", "sub/b.txt"});
  const std::string second = Archive("Second", {"c.txt"});
  auto w = Open();
  w->ShowPage(4);
  env.ui->ScriptFileAnswers({first, second});
  QTest::mouseClick(w->ArchiveBrowse, Qt::LeftButton);
  EXPECT_EQ(w->ShownArchive(), first);
  EXPECT_EQ(w->ArchiveEdit->text().toStdString(), first);
  ASSERT_NE(Node(*w, env.home.W("data\\First\\sub\\")), nullptr);
  w->ArchiveTree().NodeClick(Node(*w, env.home.W("data\\First\\")));
  EXPECT_GT(w->ArchiveTree().Selection.Count(), 0);

  QTest::mouseClick(w->ArchiveBrowse, Qt::LeftButton);
  EXPECT_EQ(w->ShownArchive(), second);
  EXPECT_EQ(Node(*w, env.home.W("data\\First\\")), nullptr) << "the first archive's tree went";
  ASSERT_NE(Node(*w, env.home.W("data\\Second\\")), nullptr);
  EXPECT_EQ(w->ArchiveTree().Selection.Count(), 0) << "and its marks";
  EXPECT_EQ(w->RTTV->topLevelItemCount(), 1);

  // The first archive's path typed after browsing the second: "Next >" reads it, so the
  // choice is made in the tree of the archive that will be restored.
  w->ArchiveTree().NodeClick(Node(*w, env.home.W("data\\Second\\")));
  w->ArchiveEdit->setText(QString::fromStdString(first));
  Shown();
  Next(*w);
  EXPECT_EQ(Shown(), std::vector<std::string>{"Please choose some folders and files"});
  EXPECT_EQ(w->ShownArchive(), first);
  EXPECT_EQ(w->PageIndex(), 4);
  // A folder checked with its subfolder gives folder items for both.
  w->ArchiveTree().NodeClick(Node(*w, env.home.W("data\\First\\")));
  Next(*w);
  EXPECT_EQ(w->PageIndex(), 5);
  EXPECT_EQ(w->ArchivePath, first);
  std::vector<std::string> folders;
  for (int i = 0; i < w->FolderItems.Count(); ++i) folders.push_back(w->FolderItems.Get(i)->Name);
  // Its parents hold nothing else in this archive, so they are checked as well.
  std::vector<std::string> expected;
  const std::string folder = env.home.W("data\\First\\");
  for (size_t at = folder.find('\\'); at != std::string::npos; at = folder.find('\\', at + 1))
    expected.push_back(folder.substr(0, at + 1));
  expected.push_back(env.home.W("data\\First\\sub\\"));
  EXPECT_EQ(folders, expected);
  EXPECT_EQ(w->FileItems.Count(), 0);

  // An archive that cannot be read leaves the tree as it was.
  WriteFile(env.home.P("junk.qvp"), "junk");
  Back(*w);
  Shown();
  EXPECT_FALSE(w->LoadArchive(env.home.W("junk.qvp")));
  EXPECT_EQ(Shown(), std::vector<std::string>{"Invalid backup sets file."});
  EXPECT_EQ(w->ShownArchive(), first);
  EXPECT_NE(Node(*w, env.home.W("data\\First\\")), nullptr);
}

TEST_F(WizardFrmTest, ArchiveTreeMarksByClick) {
  const std::string archive = Archive("Clicks", {"a.txt", "b.txt"});
  auto w = Open();
  w->resize(700, 520);
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
  w->ShowPage(4);
  ASSERT_TRUE(w->LoadArchive(archive));
  TRestoreNode* folder = Node(*w, env.home.W("data\\Clicks\\"));
  ASSERT_NE(folder, nullptr);
  QTreeWidgetItem* item = w->ItemOf(folder);
  ASSERT_NE(item, nullptr);
  w->RTTV->expandAll();
  w->RTTV->setCurrentItem(item);
  EXPECT_EQ(w->RLV->topLevelItemCount(), 2);
  const QRect r = w->RTTV->visualItemRect(item);
  QTest::mouseClick(w->RTTV->viewport(), Qt::LeftButton, {}, QPoint(r.left() + 6, r.center().y()));
  EXPECT_EQ(folder->State, kStateChecked);
  // A row unchecked by its mark leaves its folder partly checked.
  const QRect row = w->RLV->visualItemRect(w->RLV->topLevelItem(0));
  QTest::mouseClick(w->RLV->viewport(), Qt::LeftButton, {},
                    QPoint(row.left() + 6, row.center().y()));
  EXPECT_EQ(folder->State, kStatePartly);
  Next(*w);
  EXPECT_EQ(w->FolderItems.Count(), 0);
  EXPECT_EQ(w->FileItems.Count(), 1);
}

}  // namespace

namespace {

// Under a display the script sets QUORVA_SCREENSHOT_DIR and gets one picture per page.
TEST_F(WizardFrmTest, Screenshots) {
  const std::string archive = Archive("Pictures", {"2024/beach.jpg", "2024/city.jpg", "notes.txt"});
  auto w = Open();
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
  const char* dir = std::getenv("QUORVA_SCREENSHOT_DIR");
  auto shoot = [&](int page, const char* name) {
    if (w->PageIndex() != page) w->ShowPage(page);
    QCoreApplication::processEvents();
    const QPixmap shot = w->grab();
    EXPECT_FALSE(shot.isNull());
    if (dir) {
      EXPECT_TRUE(
          shot.save(QString(dir) + "/wizard-" + QString::number(page) + "-" + name + ".png"));
    }
  };
  shoot(0, "welcome");
  QTest::mouseClick(w->BackupWizardBtn, Qt::LeftButton);
  w->NameEdit->setText("Pictures");
  w->RadioButton2->click();
  w->Edit2->setText("ftp.example.test");
  w->Edit4->setText("ann");
  w->Edit5->setText("secret");
  w->Edit6->setText("/backups/pictures");
  shoot(1, "ftp");
  w->RadioButton3->click();
  w->ComboBox1->setCurrentIndex(1);
  shoot(1, "disc");
  w->RadioButton1->click();
  w->Edit1->setText(QString::fromStdString(DefaultWizardArchiveFile()));
  shoot(1, "name-and-destination");
  Next(*w);
  w->AddSourceRow(env.home.W("data\\Pictures\\"), true);
  w->AddSourceRow(env.home.W("data\\Pictures\\notes.txt"), false);
  shoot(2, "sources");
  ExpectEveryColumnWhole(w->SourcesLV);
  Next(*w);
  shoot(3, "backup-summary");
  w->ShowPage(4);
  ASSERT_TRUE(w->LoadArchive(archive));
  w->RTTV->expandAll();
  TRestoreNode* folder = Node(*w, env.home.W("data\\Pictures\\"));
  ASSERT_NE(folder, nullptr);
  w->RTTVClick(w->ItemOf(Node(*w, env.home.W("data\\Pictures\\2024\\"))));
  w->RTTV->setCurrentItem(w->ItemOf(folder));
  shoot(4, "archive");
  ASSERT_GT(w->RLV->topLevelItemCount(), 0);
  ExpectEveryColumnWhole(w->RLV);
  Next(*w);
  w->RadioButton5->setChecked(true);
  w->TargetEdit->setText(QString::fromStdString(env.home.W("out")));
  shoot(5, "target");
  Next(*w);
  shoot(6, "restore-summary");
}

}  // namespace
