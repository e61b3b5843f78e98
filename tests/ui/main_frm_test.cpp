#include "app/ui/pages/main_frm.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QHeaderView>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <cstdlib>

#include "app/engine/progress.h"
#include "app/engine/project/project_lock.h"
#include "app/engine/project/stream.h"
#include "app/engine/schedule/schedule_record.h"
#include "app/engine/schedule/schedules.h"
#include "app/engine/settings/global_setting.h"
#include "app/ui/pages/selection_tree_view.h"
#include "app/ui/project/invalid_files_frm.h"
#include "app/ui/project/search_frm.h"
#include "app/ui/project/special_folder_frm.h"
#include "app/ui/project/wizard_frm.h"
#include "app/ui/run/console_frm.h"
#include "app/ui/run/progress_frm.h"
#include "platform/fs/fs.h"
#include "platform/registry/registry.h"
#include "platform/shell/shell.h"
#include "tests/support/modal_dialog.h"
#include "tests/support/qt_test_env.h"
#include "tests/support/whole_captions.h"

namespace {

using platform::registry::Hive;
using platform::registry::Key;

// A selection view that hands out fixed marks.
class TFakeSelection : public IBackupSelectionView {
 public:
  void ResetSelection() override { ++resets; }
  void LoadProjectSelection(const TProject& project) override { loaded = project.Name; }
  void FlushPendingState() override { ++flushes; }
  int SaveProgressMaximum() override { return 3; }
  void CollectSelection(TItems& folders, TItems& files) override {
    for (const auto& f : checkedFolders) folders.Add(f, 0);
    for (const auto& f : checkedFiles) files.Add(f, 0);
  }
  std::vector<std::string> checkedFolders, checkedFiles;
  std::string loaded;
  int resets = 0, flushes = 0;
};

class MainFrmTest : public ::testing::Test {
 protected:
  MainFrmTest() {
    settings.SaveOnDestroy = false;
    settings.ShowWizardAtStart = false;
    settings.TempFolder = env.home.W("tmp\\");
    platform::fs::CreateDirectories(settings.TempFolder);
    progress.Timer1->setInterval(1);
  }

  std::string JobFile(const std::string& name) const {
    return env.home.W("QVP_JOBS\\" + name + ".bpj");
  }

  // A project in the project folder that backs up the folder data/<name>.
  void WriteProject(const std::string& name, int runCounter = 0) {
    TProject p;
    p.Name = name;
    p.RunCounter = runCounter;
    p.BackupMode = 0;
    p.DestinationFile = env.home.W("out\\" + name + ".qvp");
    p.Folders.Add(env.home.W("data\\" + name + "\\"), 0);
    WriteFile(env.home.P("data/" + name + "/a.txt"), "alpha");
    WriteFile(env.home.P("data/" + name + "/b.txt"), "beta");
    platform::fs::CreateDirectories(env.home.W("out\\"));
    platform::fs::CreateDirectories(env.home.W("QVP_JOBS\\"));
    ASSERT_TRUE(p.SaveToFile(JobFile(name)));
  }

  std::unique_ptr<TProject> ReadProject(const std::string& name) const {
    auto p = std::make_unique<TProject>();
    platform::fs::File file(JobFile(name), platform::fs::OpenMode::Read);
    TFileStream stream(file);
    EXPECT_TRUE(p->LoadFromStream(stream));
    return p;
  }

  std::unique_ptr<TMainFrm> Open() {
    auto frm = std::make_unique<TMainFrm>(settings, *env.ui);
    frm->SetProgressForm(&progress);
    return frm;
  }

  bool ConsoleHas(const TMainFrm& frm, const std::string& message, int level = -1) const {
    for (const auto& e : frm.Console().Entries())
      if (e.message == message && (level < 0 || e.level == level)) return true;
    return false;
  }

  bool ConsoleHasPrefix(const TMainFrm& frm, const std::string& prefix) const {
    for (const auto& e : frm.Console().Entries())
      if (e.message.rfind(prefix, 0) == 0) return true;
    return false;
  }

  TQtTestEnv env;
  TGlobalSetting settings;
  TProgressFrm progress;
};

QString Caption(const QAction* a) {
  return a->text().remove('&');
}

TEST_F(MainFrmTest, ProjectsOfTheFolderAreListedAndDamagedOnesSkipped) {
  WriteProject("Alpha");
  WriteProject("Beta");
  WriteFile(env.home.P("QVP_JOBS/broken.bpj"), std::string("\x05\x00\x00\x00", 4));
  WriteFile(env.home.P("QVP_JOBS/noise.bpj"), "not a project at all");
  auto frm = Open();
  ASSERT_EQ(frm->PrjLV->rowCount(), 2);
  std::set<QString> names{frm->PrjLV->item(0, 0)->text(), frm->PrjLV->item(1, 0)->text()};
  EXPECT_EQ(names, (std::set<QString>{"Alpha", "Beta"}));
  const int alpha = frm->PrjLV->item(0, 0)->text() == "Alpha" ? 0 : 1;
  const TProject* p = frm->Projects().FindByName("Alpha");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->ProjectFile, JobFile("Alpha"));
  EXPECT_EQ(frm->PrjLV->item(alpha, 1)->text().toStdString(), p->DescribeDestination());
  EXPECT_EQ(frm->PrjLV->item(alpha, 2)->text(), "Not yet");
  EXPECT_EQ(frm->PrjLV->item(alpha, 3)->text().toStdString(), p->DescribeContent());
  EXPECT_TRUE(ConsoleHas(*frm, "Application started.", 0));
  EXPECT_TRUE(ConsoleHas(*frm, "Searching for projects..."));
  EXPECT_TRUE(ConsoleHasPrefix(*frm, "Project file " + env.home.W("QVP_JOBS\\broken.bpj")));
  EXPECT_EQ(ProgressStatus.Get(), "Querying Writable device...");
}

// A project file cut inside its folder list is not listed but named in a message; nothing the
// window does saves over it, not even a new project of that name.
TEST_F(MainFrmTest, ProjectCutInsideAListIsNamedAndNeverSavedOver) {
  WriteProject("Alpha");
  WriteProject("Gamma");
  TProject gamma;
  gamma.Name = "Gamma";
  gamma.Folders.Add(env.home.W("data\\Gamma\\"), 0);
  gamma.Folders.Add(env.home.W("data\\Gamma2\\"), 0);
  ASSERT_TRUE(gamma.SaveToFile(JobFile("Gamma")));
  const std::string whole = ReadFile(env.home.P("QVP_JOBS/Gamma.bpj"));
  // Into the second folder item: the excluded lists and the snapshot (16 bytes) follow it.
  const std::string cut = whole.substr(0, whole.size() - 16 - 5);
  WriteFile(env.home.P("QVP_JOBS/Gamma.bpj"), cut);
  {
    auto frm = Open();
    ASSERT_EQ(frm->PrjLV->rowCount(), 1);
    EXPECT_EQ(frm->PrjLV->item(0, 0)->text(), "Alpha");
    const auto asked = env.ui->AskedMessages();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].kind, TMessageKind::Error);
    EXPECT_EQ(asked[0].text,
              "These project files are damaged and were not loaded; they are left as they are:\n" +
                  JobFile("Gamma"));
    EXPECT_TRUE(
        ConsoleHasPrefix(*frm, "Project file " + JobFile("Gamma") + " skipped: it is damaged"));
    TProject again;
    again.Name = "Gamma";
    EXPECT_FALSE(frm->AddNewProject(again));
    frm->SelectProject("Alpha");
    frm->RunBackupExecute();
  }
  EXPECT_EQ(ReadFile(env.home.P("QVP_JOBS/Gamma.bpj")), cut);
}

TEST_F(MainFrmTest, MissingProjectFolderIsCreatedEmpty) {
  auto frm = Open();
  EXPECT_EQ(frm->PrjLV->rowCount(), 0);
  EXPECT_TRUE(platform::fs::IsDirectory(env.home.W("QVP_JOBS\\")));
  EXPECT_EQ(frm->ProjectFolder(), env.home.W("QVP_JOBS\\"));
}

TEST_F(MainFrmTest, PagesAndTheirCaptions) {
  WriteProject("Alpha");
  auto frm = Open();
  ASSERT_EQ(frm->PC->count(), 5);
  const char* tabs[] = {"Projects", "Backup", "Restore", "Differential-Restore", "Schedule"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(frm->PC->tabText(i), tabs[i]);
  EXPECT_EQ(frm->PC->tabPosition(), QTabWidget::South);
  EXPECT_EQ(frm->PC->currentIndex(), 0);
  EXPECT_EQ(frm->windowTitle(), "Project Manager - Quorva Backup");

  const char* withProject[] = {
      "Alpha - Quorva Backup", "Backup Alpha - Quorva Backup", "Restore Alpha - Quorva Backup",
      "Differential Restore Alpha - Quorva Backup", "Schedule Alpha - Quorva Backup"};
  const char* without[] = {"Project Manager - Quorva Backup", "Backup  - Quorva Backup",
                           "Restore  - Quorva Backup", "Differential Restore  - Quorva Backup",
                           "Schedule  - Quorva Backup"};
  frm->SelectProject("Alpha");
  EXPECT_EQ(frm->windowTitle(), "Alpha - Quorva Backup");
  for (int page : {1, 2, 3, 4, 0}) {
    frm->PC->setCurrentIndex(page);
    EXPECT_EQ(frm->windowTitle(), withProject[page]) << page;
  }
  frm->SelectProject("");
  EXPECT_EQ(frm->windowTitle(), "Project Manager - Quorva Backup");
  for (int page : {1, 2, 3, 4, 0}) {
    frm->PC->setCurrentIndex(page);
    EXPECT_EQ(frm->windowTitle(), without[page]) << page;
  }
}

TEST_F(MainFrmTest, ListsShowTheirHeadersWhole) {
  auto frm = Open();
  for (QHeaderView* header :
       {frm->PrjLV->horizontalHeader(), frm->BLV->header(), frm->RLV->header(), frm->CLV->header(),
        frm->ScheduleLV->horizontalHeader()})
    ExpectEveryHeaderWhole(header);
}

TEST_F(MainFrmTest, DoubleClickOpensTheBackupPage) {
  WriteProject("Alpha");
  auto frm = Open();
  frm->SelectProject("Alpha");
  frm->PrjLVDblClick();
  EXPECT_EQ(frm->PC->currentIndex(), 1);
}

TEST_F(MainFrmTest, ActionEnablingRules) {
  WriteProject("Alpha");
  auto frm = Open();
  QAction* const projectActions[] = {frm->RemoveProject, frm->Configure, frm->RunBackup};
  for (bool selected : {false, true}) {
    frm->SelectProject(selected ? "Alpha" : "");
    for (int page = 0; page < 5; ++page) {
      SCOPED_TRACE(testing::Message() << "page " << page << " selected " << selected);
      frm->PC->setCurrentIndex(page);
      frm->ActionListUpdate();
      EXPECT_EQ(frm->SaveProject->isEnabled(), selected && page == 1);
      EXPECT_EQ(frm->AnalyzeBKFile->isEnabled(), selected && page == 1);
      EXPECT_EQ(frm->SearchFile->isEnabled(), page == 1);
      EXPECT_EQ(frm->SearchSpecialFolder->isEnabled(), page == 1);
      for (QAction* a : projectActions)
        EXPECT_EQ(a->isEnabled(), selected) << Caption(a).toStdString();
      // Restore: a selected project on page 0, the trees' nodes on pages 2 and 3 (empty here).
      EXPECT_EQ(frm->RunRestore->isEnabled(), selected && page == 0);
      for (QAction* a :
           {frm->CreateNewProject, frm->ExtractBPJfromQVP, frm->ShowConsole, frm->GlobalSetting,
            frm->Quit, frm->CompareProject, frm->AddProjectToCompare, frm->ResetCompare,
            frm->ToWizard, frm->AddSchedule, frm->Help, frm->About})
        EXPECT_TRUE(a->isEnabled()) << Caption(a).toStdString();
      for (QAction* a : {frm->EnableSchedule, frm->DisableSchedule, frm->ConfigSchedule})
        EXPECT_FALSE(a->isEnabled()) << Caption(a).toStdString();
    }
  }
  // Nodes in the restore and comparison trees enable restoring on their pages only.
  new QTreeWidgetItem(frm->RTTV, {"Z:"});
  new QTreeWidgetItem(frm->CPTV, {"Z:"});
  for (int page = 0; page < 5; ++page) {
    frm->PC->setCurrentIndex(page);
    frm->ActionListUpdate();
    EXPECT_EQ(frm->RunRestore->isEnabled(), page == 0 || page == 2 || page == 3) << page;
  }
  // A selected schedule row: enabled rows offer Disable, disabled ones Enable. A subkey without
  // a record is an enabled schedule; the other's record says disabled.
  const std::string store(kScheduleStoreKeyPath);
  ASSERT_TRUE(Key::Open(Hive::CurrentUser, store + "\\{on}", true));
  TSchedule off("{off}");
  off.Enabled = 0;
  const auto record = WriteScheduleRecord(off, {});
  ASSERT_TRUE(Key::Open(Hive::CurrentUser, store + "\\{off}", true)
                  ->WriteBinary("userdata", record.data(), record.size()));
  frm.reset();
  frm = Open();
  frm->PC->setCurrentIndex(4);
  frm->ScheduleLV->selectRow(0);
  frm->ActionListUpdate();
  EXPECT_TRUE(frm->DisableSchedule->isEnabled());
  EXPECT_FALSE(frm->EnableSchedule->isEnabled());
  EXPECT_TRUE(frm->ConfigSchedule->isEnabled());
  frm->ScheduleLV->selectRow(1);
  frm->ActionListUpdate();
  EXPECT_FALSE(frm->DisableSchedule->isEnabled());
  EXPECT_TRUE(frm->EnableSchedule->isEnabled());
}

TEST_F(MainFrmTest, ActionCaptionsShortcutsAndMenus) {
  auto frm = Open();
  struct Row {
    QAction* action;
    const char* caption;
    const char* shortcut;
    const char* hint;
  };
  const Row rows[] = {
      {frm->CreateNewProject, "Create new project", "Ctrl+N", "Create new project"},
      {frm->SaveProject, "Save project", "Ctrl+S", "Save selected project"},
      {frm->RemoveProject, "Delete project", "", "Delete selected project"},
      {frm->ExtractBPJfromQVP, "Recover from backup sets...", "Ctrl+Q",
       "Recover project file from QVP files"},
      {frm->RunBackup, "Start to Backup", "Ctrl+B", "Start to Backup"},
      {frm->RunRestore, "Start to Restore", "Ctrl+R", "Start to Restore"},
      {frm->AddProjectToCompare, "Add backup sets...", "Ctrl+A",
       "Add Project files or Backup sets"},
      {frm->SearchFile, "Search files", "Ctrl+F", "Search Files"},
      {frm->ToWizard, "Show Wizard", "Ctrl+W", ""},
      {frm->AddLocalProject, "From other project ...", "", "Add project from qvp files"},
      {frm->ConfigSchedule, "Configure schedule", "", "configure schedule setting"},
      {frm->About, "About", "", "About Quorva Backup"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(Caption(r.action), r.caption);
    EXPECT_EQ(r.action->shortcut().toString(), r.shortcut) << r.caption;
    if (*r.hint) {
      EXPECT_EQ(r.action->toolTip(), r.hint) << r.caption;
    }
  }
  QStringList menus;
  for (QAction* m : frm->menuBar()->actions()) menus << m->text();
  EXPECT_EQ(menus, (QStringList{"&Projects", "&Action", "&Schedule", "&Help"}));
  QStringList projectItems;
  for (QAction* a : frm->menuBar()->actions()[0]->menu()->actions())
    projectItems << (a->isSeparator() ? "-" : a->text());
  EXPECT_EQ(projectItems, (QStringList{"&Create new project", "&Save project", "&Delete project",
                                       "-", "&Recover from backup sets...", "S&how console window",
                                       "&Global settings", "-", "&Quit"}));
  auto* bar = frm->findChild<QToolBar*>("BackupToolBar");
  ASSERT_NE(bar, nullptr);
  QStringList buttons;
  for (QAction* a : bar->actions()) buttons << (a->isSeparator() ? "-" : Caption(a));
  EXPECT_EQ(buttons, (QStringList{"Start to Backup", "Configure", "Save project", "-",
                                  "Search files", "Add special folder", "-", "Validate..."}));
  QStringList context;
  for (QAction* a : frm->PrjLV->actions()) context << Caption(a);
  EXPECT_EQ(context,
            (QStringList{"Create new project", "Configure", "Delete project", "Start to Backup",
                         "Start to Restore", "Differential restore from multi files"}));
}

TEST_F(MainFrmTest, ActionsOfLaterWorkSayTheyAreNotAvailable) {
  auto frm = Open();
  for (QAction* a : {frm->CreateNewProject}) {
    env.ui->ClearAskedMessages();
    a->setEnabled(true);
    a->trigger();
    const auto asked = env.ui->AskedMessages();
    ASSERT_EQ(asked.size(), 1u) << Caption(a).toStdString();
    EXPECT_NE(asked[0].text.find("is not available yet."), std::string::npos) << asked[0].text;
  }
}

class ApplyChangesTest : public MainFrmTest {
 protected:
  void SetUp() override {
    WriteProject("Alpha");
    frm = Open();
    selection.checkedFolders = {env.home.W("data\\Alpha\\")};
    selection.checkedFiles = {env.home.W("data\\extra.txt")};
    frm->SetBackupSelectionView(&selection);
    frm->SelectProject("Alpha");
    EXPECT_EQ(selection.loaded, "Alpha");
    frm->PC->setCurrentIndex(1);
    frm->SetSelectionChanged(true);
    env.ui->ClearAskedMessages();
  }

  int StoredFileItems() { return ReadProject("Alpha")->Files.Count(); }

  TFakeSelection selection;
  std::unique_ptr<TMainFrm> frm;
};

TEST_F(ApplyChangesTest, LeavingTheBackupPageAsksAndCancelStays) {
  env.ui->ScriptMessageAnswers({TModalResult::Cancel});
  frm->PC->setCurrentIndex(0);
  EXPECT_EQ(frm->PC->currentIndex(), 1);
  EXPECT_EQ(frm->windowTitle(), "Backup Alpha - Quorva Backup");
  EXPECT_TRUE(frm->SelectionChanged());
  EXPECT_EQ(StoredFileItems(), 0);
  const auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].title, "Apply changes?");
  EXPECT_EQ(asked[0].buttons, TMessageButtons::YesNoCancel);
  EXPECT_EQ(asked[0].text,
            "Project's setting has been changed. Save it?\nPress YES to apply the changes\n"
            "Press NO to discard the changes\nPress CANCEL to stay in this page");
}

TEST_F(ApplyChangesTest, NoDiscardsTheMarkAndKeepsTheStoredSelection) {
  env.ui->ScriptMessageAnswers({TModalResult::No});
  frm->PC->setCurrentIndex(2);
  EXPECT_EQ(frm->PC->currentIndex(), 2);
  EXPECT_FALSE(frm->SelectionChanged());
  EXPECT_EQ(StoredFileItems(), 0);
  // Leaving again asks nothing, and other pages never ask.
  env.ui->ClearAskedMessages();
  frm->PC->setCurrentIndex(1);
  frm->PC->setCurrentIndex(0);
  frm->SetSelectionChanged(true);
  frm->PC->setCurrentIndex(3);
  EXPECT_TRUE(env.ui->AskedMessages().empty());
}

TEST_F(ApplyChangesTest, YesSavesTheSelectionIntoTheProjectFile) {
  env.ui->ScriptMessageAnswers({TModalResult::Yes});
  frm->PC->setCurrentIndex(0);
  EXPECT_EQ(frm->PC->currentIndex(), 0);
  EXPECT_FALSE(frm->SelectionChanged());
  EXPECT_EQ(selection.flushes, 1);
  auto stored = ReadProject("Alpha");
  ASSERT_EQ(stored->Files.Count(), 1);
  EXPECT_EQ(stored->Files.Get(0)->Name, env.home.W("data\\extra.txt"));
  ASSERT_EQ(stored->Folders.Count(), 1);
  EXPECT_EQ(frm->BKMsg->text(), "select 1 directories and 1 Files");
  EXPECT_TRUE(ConsoleHas(*frm, "Project Alpha saved"));
  EXPECT_TRUE(frm->isEnabled());
  EXPECT_TRUE(frm->StatusProgress->isHidden());
}

TEST_F(ApplyChangesTest, BackupAsksFirstAndCancelStartsNothing) {
  env.ui->ScriptMessageAnswers({TModalResult::Cancel});
  frm->RunBackupExecute();
  const auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text,
            "Project's setting has been changed. Save it before start to backup?\n"
            "Press YES to apply the changes\nPress NO to discard the changes\n"
            "Press CANCEL to stay in this page");
  EXPECT_TRUE(frm->SelectionChanged());
  EXPECT_FALSE(platform::fs::Exists(env.home.W("out\\Alpha.qvp")));
  EXPECT_EQ(ReadProject("Alpha")->RunCounter, 0);
}

TEST_F(ApplyChangesTest, BackupAfterYesRunsWithTheSavedSelection) {
  WriteFile(env.home.P("data/extra.txt"), "extra");
  env.ui->ScriptMessageAnswers({TModalResult::Yes});
  frm->RunBackupExecute();
  EXPECT_FALSE(frm->SelectionChanged());
  auto stored = ReadProject("Alpha");
  EXPECT_EQ(stored->RunCounter, 1);
  EXPECT_EQ(stored->Files.Count(), 1);
  EXPECT_EQ(stored->Snapshot.Count(), 3);  // a.txt, b.txt and the extra file
  EXPECT_TRUE(platform::fs::Exists(env.home.W("out\\Alpha.qvp")));
}

TEST_F(MainFrmTest, SaveStartsFromTheFileNotFromAStaleCopy) {
  WriteProject("Alpha");
  auto frm = Open();
  WriteProject("Alpha", 41);  // another run saved it meanwhile
  frm->SelectProject("Alpha");
  frm->PC->setCurrentIndex(1);
  frm->SaveProjectExecute();
  EXPECT_EQ(ReadProject("Alpha")->RunCounter, 41);
  EXPECT_EQ(frm->Projects().FindByName("Alpha")->RunCounter, 41);
}

TEST_F(MainFrmTest, SelectionTreeOfTheBackupPageRoundTrips) {
  WriteProject("Alpha");
  WriteFile(env.home.P("data/other.txt"), "not selected");  // keeps data\ partly checked
  auto frm = Open();
  ASSERT_NE(frm->SelectionTree, nullptr);
  EXPECT_EQ(frm->SHTV->objectName(), "SHTV");
  frm->SelectProject("Alpha");
  frm->PC->setCurrentIndex(1);
  frm->SaveProjectExecute();
  auto stored = ReadProject("Alpha");
  ASSERT_EQ(stored->Folders.Count(), 1);
  EXPECT_EQ(stored->Folders.Get(0)->Name, env.home.W("data\\Alpha\\"));
  // A changed mark in the tree is what the page-change prompt asks about.
  EXPECT_FALSE(frm->SelectionChanged());
  emit frm->SelectionTree->CheckMarksChanged();
  EXPECT_TRUE(frm->SelectionChanged());
}

TEST_F(MainFrmTest, FoundFilesAreCheckedAndTheirFoldersPartlyChecked) {
  WriteProject("Alpha");
  WriteFile(env.home.P("data/extra/x.txt"), "x");
  WriteFile(env.home.P("data/extra/y.txt"), "y");
  WriteFile(env.home.P("data/extra/z.dat"), "z");
  auto frm = Open();
  frm->SelectProject("Alpha");
  // Only on the Backup page.
  frm->SearchFileExecute();
  frm->PC->setCurrentIndex(1);
  EXPECT_FALSE(frm->SelectionChanged());
  OnModalDialog<TSearchFrm>([this](TSearchFrm& d) {
    d.MaskEdit->setText("*.txt");
    d.FolderEdit->setText(QString::fromStdString(env.home.W("data\\extra")));
    QTest::mouseClick(d.SearchBtn, Qt::LeftButton);
    while (d.Searching() || d.Timer1->isActive())
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ASSERT_EQ(d.LV->topLevelItemCount(), 2);
    for (int i = 0; i < 2; ++i)
      if (d.LV->topLevelItem(i)->text(0).endsWith("y.txt"))
        d.LV->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    QTest::mouseClick(d.AddSelectedBtn, Qt::LeftButton);
  });
  frm->SearchFile->trigger();
  TSelectionTreeView& view = *frm->SelectionTree;
  EXPECT_EQ(view.Sets().GetState(env.home.W("data\\extra\\x.txt")), 1);
  EXPECT_NE(view.Sets().GetState(env.home.W("data\\extra\\y.txt")), 1) << "unchecked row";
  EXPECT_EQ(view.Model().FindNodeByPath(env.home.W("data\\extra"))->State, 4);
  EXPECT_EQ(view.Model().FindNodeByPath(env.home.W("data"))->State, 4);
  EXPECT_EQ(frm->StatusPanel1->text(), "Add files...");
  EXPECT_TRUE(frm->StatusProgress->isHidden());
  EXPECT_TRUE(frm->SelectionChanged());
  frm->SaveProjectExecute();
  auto stored = ReadProject("Alpha");
  ASSERT_EQ(stored->Files.Count(), 1);
  EXPECT_EQ(stored->Files.Get(0)->Name, env.home.W("data\\extra\\x.txt"));
  EXPECT_EQ(stored->Folders.Count(), 1);
}

TEST_F(MainFrmTest, SpecialFoldersAreTickedBeforehandAndApplied) {
  WriteProject("Alpha");
  auto frm = Open();
  TSpecialfolderfrm special;
  frm->SetSpecialFolderForm(&special);
  int appData = -1;
  for (int i = 0; i < special.RowCount(); ++i)
    if (special.LV->topLevelItem(i)->text(0) == "App Data") appData = i;
  ASSERT_GE(appData, 0);
  const std::string path = special.RowPath(appData);
  EXPECT_EQ(path, env.config.Win());
  frm->SelectProject("Alpha");
  frm->PC->setCurrentIndex(1);
  TSelectionTreeView& view = *frm->SelectionTree;
  auto node = [&] { return view.Model().FindNodeByPath(path.substr(0, path.size() - 1)); };

  OnModalDialog<TSpecialfolderfrm>([appData](TSpecialfolderfrm& d) {
    for (int i = 0; i < d.RowCount(); ++i) EXPECT_FALSE(d.RowTicked(i)) << i;
    d.SetRowTicked(appData, true);
    QTest::mouseClick(d.OKBtn, Qt::LeftButton);
  });
  frm->SearchSpecialFolder->trigger();
  EXPECT_TRUE(view.Model().IsSpecialFolderChecked(path));
  ASSERT_NE(node(), nullptr);
  EXPECT_EQ(node()->State, 2);
  EXPECT_TRUE(ConsoleHas(*frm, "Adding special folders " + path));
  EXPECT_EQ(frm->StatusPanel1->text(), "Adding special folders...");
  EXPECT_TRUE(frm->SelectionChanged());

  // Shown again, the row is ticked; Cancel applies nothing, unticking and OK unchecks it.
  OnModalDialog<TSpecialfolderfrm>([appData](TSpecialfolderfrm& d) {
    EXPECT_TRUE(d.RowTicked(appData));
    d.SetRowTicked(appData, false);
    QTest::mouseClick(d.CancelBtn, Qt::LeftButton);
  });
  frm->SearchSpecialFolder->trigger();
  EXPECT_EQ(node()->State, 2);
  OnModalDialog<TSpecialfolderfrm>([appData](TSpecialfolderfrm& d) {
    EXPECT_TRUE(d.RowTicked(appData));
    d.SetRowTicked(appData, false);
    QTest::mouseClick(d.OKBtn, Qt::LeftButton);
  });
  frm->SearchSpecialFolder->trigger();
  EXPECT_EQ(node()->State, 1);
  EXPECT_FALSE(view.Model().IsSpecialFolderChecked(path));
}

TEST_F(MainFrmTest, AboutShowsTheAboutWindow) {
  auto frm = Open();
  QString title;
  QTimer::singleShot(0, [&] {
    QWidget* about = QApplication::activeModalWidget();
    ASSERT_NE(about, nullptr);
    title = about->windowTitle();
    about->close();
  });
  frm->About->trigger();
  EXPECT_EQ(title, "About");
  EXPECT_TRUE(env.ui->AskedMessages().empty()) << "only the about window is shown";
}

// "Validate..." walks the Backup page's selection under the progress window and offers the
// files it cannot open in a dialog the user can still use while the main window is disabled.
TEST_F(MainFrmTest, ValidateFindsFilesThatCannotBeOpenedAndUnselectsThem) {
  WriteProject("Alpha");
  WriteFile(env.home.P("data/extra.txt"), "gone soon");
  {
    auto p = ReadProject("Alpha");
    p->Files.Add(env.home.W("data\\extra.txt"), 0);
    ASSERT_TRUE(p->SaveToFile(JobFile("Alpha")));
  }
  auto frm = Open();
  frm->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
  frm->SelectProject("Alpha");
  frm->PC->setCurrentIndex(1);
  ASSERT_TRUE(frm->AnalyzeBKFile->isEnabled());
  ASSERT_EQ(unlink(env.home.P("data/extra.txt").c_str()), 0);
  env.ui->ClearAskedMessages();
  QStringList listed;
  bool dialogEnabled = false, mainEnabled = true, progressShown = false;
  OnModalDialog<TInvalidFileFrm>([&](TInvalidFileFrm& d) {
    for (int i = 0; i < d.LV->topLevelItemCount(); ++i) listed << d.LV->topLevelItem(i)->text(0);
    dialogEnabled = d.isEnabled();
    mainEnabled = frm->isEnabled();
    QTest::mouseClick(d.UnselectBtn, Qt::LeftButton);
  });
  QMetaObject::Connection shown =
      QObject::connect(&progress, &QDialog::finished, [&] { progressShown = true; });
  frm->AnalyzeBKFile->trigger();
  QObject::disconnect(shown);
  EXPECT_TRUE(env.ui->AskedMessages().empty());
  EXPECT_EQ(listed, QStringList{QString::fromStdString(env.home.W("data\\extra.txt"))});
  EXPECT_TRUE(dialogEnabled);
  EXPECT_FALSE(mainEnabled);
  EXPECT_TRUE(progressShown);
  EXPECT_FALSE(progress.isVisible());
  EXPECT_TRUE(frm->isEnabled());
  EXPECT_TRUE(ConsoleHas(*frm, "Validating backup content..."));
  EXPECT_TRUE(ConsoleHas(*frm, "Can not open " + env.home.W("data\\extra.txt")));
  EXPECT_TRUE(frm->BKMsg->text().startsWith("Select 1 directories and 1 Files Total size: "))
      << frm->BKMsg->text().toStdString();
  EXPECT_EQ(frm->SelectionTree->Sets().GetState(env.home.W("data\\extra.txt")), 0);
  EXPECT_TRUE(frm->SelectionChanged());
}

TEST_F(MainFrmTest, SaveOutsideTheBackupPageDoesNothing) {
  WriteProject("Alpha");
  auto frm = Open();
  frm->SelectProject("Alpha");
  platform::fs::DeleteFile(JobFile("Alpha"));
  frm->SaveProjectExecute();
  EXPECT_FALSE(platform::fs::Exists(JobFile("Alpha")));
}

TEST_F(MainFrmTest, RemoveAsksAndDeletesTheFile) {
  WriteProject("Alpha");
  WriteProject("Beta");
  auto frm = Open();
  frm->SelectProject("Beta");
  env.ui->ScriptMessageAnswers({TModalResult::No, TModalResult::Yes});
  frm->RemoveProject->trigger();
  EXPECT_EQ(frm->PrjLV->rowCount(), 2);
  EXPECT_TRUE(platform::fs::Exists(JobFile("Beta")));
  frm->RemoveProject->trigger();
  const auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[1].title, "Please confirm");
  EXPECT_EQ(asked[1].text,
            "Do you really want to delete project named with Beta\n"
            "Click Yes to confirm, click No to cancel");
  EXPECT_EQ(asked[1].buttons, TMessageButtons::YesNo);
  ASSERT_EQ(frm->PrjLV->rowCount(), 1);
  EXPECT_EQ(frm->PrjLV->item(0, 0)->text(), "Alpha");
  EXPECT_EQ(frm->Projects().FindByName("Beta"), nullptr);
  EXPECT_FALSE(platform::fs::Exists(JobFile("Beta")));
  EXPECT_TRUE(platform::fs::Exists(JobFile("Alpha")));
  EXPECT_TRUE(ConsoleHas(*frm, "Deleting project " + JobFile("Beta")));
}

TEST_F(MainFrmTest, NewProjectIsSavedListedAndShown) {
  WriteProject("Alpha");
  auto frm = Open();
  TProject fromDialog;
  fromDialog.Name = "Gamma";
  fromDialog.DestinationFile = env.home.W("out\\gamma.qvp");
  ASSERT_TRUE(frm->AddNewProject(fromDialog));
  EXPECT_EQ(frm->PrjLV->rowCount(), 2);
  EXPECT_EQ(frm->SelectedProjectName(), "Gamma");
  EXPECT_EQ(frm->PC->currentIndex(), 1);
  EXPECT_EQ(ReadProject("Gamma")->DestinationFile, env.home.W("out\\gamma.qvp"));
  EXPECT_EQ(frm->PrjLV->item(1, 2)->text(), "Not yet");
  EXPECT_TRUE(ConsoleHas(*frm, "New project Gamma created"));

  // A taken name (in any case) and a name that is no plain file name create nothing.
  for (const char* name : {"alpha", "..", "sub\\dir", "a/b", ""}) {
    env.ui->ClearAskedMessages();
    TProject clash;
    clash.Name = name;
    EXPECT_FALSE(frm->AddNewProject(clash)) << name;
    const auto asked = env.ui->AskedMessages();
    ASSERT_EQ(asked.size(), 1u) << name;
    EXPECT_EQ(asked[0].text, "Create new project failed! ");
  }
  EXPECT_EQ(frm->PrjLV->rowCount(), 2);
  EXPECT_FALSE(platform::fs::Exists(env.home.W("QVP_JOBS\\sub")));
}

TEST_F(MainFrmTest, ProjectDialogHookCreatesAndConfigures) {
  WriteProject("Alpha");
  auto frm = Open();
  const std::string changed = env.home.W("out\\changed.qvp");
  frm->SetProjectDialog([&](TProject& p) {
    if (p.Name == "Alpha") {
      p.Name = "Alpha renamed";
      p.DestinationFile = changed;
      return true;
    }
    p.Name = "Delta";
    return true;
  });
  frm->CreateNewProject->trigger();
  EXPECT_NE(frm->Projects().FindByName("Delta"), nullptr);
  EXPECT_TRUE(platform::fs::Exists(JobFile("Delta")));
  frm->PC->setCurrentIndex(0);
  frm->SelectProject("Alpha");
  frm->ConfigureExecute();
  EXPECT_NE(frm->Projects().FindByName("Alpha renamed"), nullptr);
  EXPECT_EQ(frm->SelectedProjectName(), "Alpha renamed");
  // A confirmed dialog saves the project under its new name.
  EXPECT_FALSE(platform::fs::Exists(JobFile("Alpha")));
  auto stored = ReadProject("Alpha renamed");
  EXPECT_EQ(stored->DestinationFile, changed);
  EXPECT_EQ(stored->Name, "Alpha renamed");
}

TEST_F(MainFrmTest, BackupRunsUnderTheProgressWindow) {
  WriteProject("Alpha");
  auto frm = Open();
  frm->SelectProject("Alpha");
  bool progressShown = false;
  std::vector<QString> panels;
  QObject::connect(env.ui.get(), &TQtUserInterface::statusPanelChanged,
                   [&](int index, const QString& text) {
                     if (index == 1) panels.push_back(text);
                     progressShown = progressShown || progress.isVisible();
                   });
  frm->RunBackup->trigger();
  EXPECT_TRUE(progressShown);
  EXPECT_FALSE(progress.isVisible());
  EXPECT_FALSE(ProgressDone);  // taken by the window
  EXPECT_TRUE(platform::fs::Exists(env.home.W("out\\Alpha.qvp")));
  EXPECT_EQ(ReadProject("Alpha")->RunCounter, 1);
  EXPECT_EQ(ReadProject("Alpha")->Snapshot.Count(), 2);
  EXPECT_EQ(frm->StatusPanel1->text(), "Backup complete.");
  EXPECT_TRUE(frm->StatusProgress->isHidden());
  ASSERT_GE(frm->Combo_BackupSets->count(), 1);
  EXPECT_EQ(frm->Combo_BackupSets->currentText().toStdString(), env.home.W("out\\Alpha.qvp"));
  EXPECT_FALSE(ConsoleHas(*frm, "User break!"));
  EXPECT_TRUE(ConsoleHas(*frm, "Backup complete."));
  EXPECT_EQ(panels.front(), "Searching Files...");

  // The second run of the same window adds no second entry for the same archive.
  frm->Combo_BackupSets->insertItem(0, "No backup sets found!");
  frm->RunBackupExecute();
  EXPECT_EQ(ReadProject("Alpha")->RunCounter, 2);
  EXPECT_EQ(frm->Combo_BackupSets->findText("No backup sets found!"), -1);
  EXPECT_EQ(frm->Combo_BackupSets->count(), 1);
}

TEST_F(MainFrmTest, CancelInTheProgressWindowStopsTheBackup) {
  WriteProject("Alpha");
  auto frm = Open();
  frm->SelectProject("Alpha");
  // The worker waits for the GUI thread while it sets the panel: Cancel is pressed right then,
  // before the file scan.
  QObject::connect(env.ui.get(), &TQtUserInterface::statusPanelChanged,
                   [&](int, const QString& text) {
                     if (text == "Searching Files..." && progress.isVisible())
                       QTest::mouseClick(progress.SpeedButton1, Qt::LeftButton);
                   });
  frm->RunBackupExecute();
  EXPECT_TRUE(ProgressCancelled);
  EXPECT_FALSE(progress.isVisible());
  EXPECT_TRUE(ConsoleHas(*frm, "User break!", 1));
  EXPECT_FALSE(platform::fs::Exists(env.home.W("out\\Alpha.qvp")));
  EXPECT_EQ(ReadProject("Alpha")->RunCounter, 0);
}

TEST_F(MainFrmTest, ASecondRunOfTheSameProjectFailsAtOnce) {
  WriteProject("Alpha");
  auto frm = Open();
  frm->SelectProject("Alpha");
  TProjectLock otherRun(JobFile("Alpha"));
  ProgressDone = false;
  frm->RunBackupExecute();
  const auto asked = env.ui->AskedMessages();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_NE(asked[0].text.find("is being backed up by another run"), std::string::npos);
  EXPECT_EQ(asked[0].kind, TMessageKind::Error);
  EXPECT_FALSE(progress.isVisible());
  EXPECT_FALSE(platform::fs::Exists(env.home.W("out\\Alpha.qvp")));
  EXPECT_EQ(ReadProject("Alpha")->RunCounter, 0);

  // Saving the selection waits for the run too.
  frm->PC->setCurrentIndex(1);
  frm->SaveProjectExecute();
  EXPECT_EQ(env.ui->AskedMessages().size(), 2u);
}

TEST_F(MainFrmTest, RunContinuesFromTheRunCounterInTheFile) {
  WriteProject("Alpha");
  auto frm = Open();
  frm->SelectProject("Alpha");
  WriteProject("Alpha", 5);  // a command-line run saved it after the window loaded it
  frm->RunBackupExecute();
  EXPECT_EQ(ReadProject("Alpha")->RunCounter, 6);
}

TEST_F(MainFrmTest, DamagedFileAtRunTimeKeepsTheListedProject) {
  WriteProject("Alpha");
  auto frm = Open();
  frm->SelectProject("Alpha");
  WriteFile(env.home.P("QVP_JOBS/Alpha.bpj"), std::string("\x05\x00\x00\x00", 4));
  frm->RunBackupExecute();
  EXPECT_TRUE(ConsoleHasPrefix(*frm, "The project file " + JobFile("Alpha") + " is damaged"));
  EXPECT_EQ(ReadProject("Alpha")->RunCounter, 1);  // written back whole by the run
}

TEST_F(MainFrmTest, StartupTimerShowsTheConsoleAndFreesTheSplash) {
  settings.AutoShowConsole = true;
  settings.ConsoleOnTop = true;
  settings.ShowWizardAtStart = true;
  auto frm = Open();
  auto splash = std::make_unique<QWidget>();
  QPointer<QWidget> watch = splash.get();
  splash->show();
  frm->AdoptSplash(std::move(splash));
  frm->show();
  EXPECT_TRUE(frm->WizardTimer->isActive());
  EXPECT_EQ(frm->WizardTimer->interval(), 500);
  QString wizardTitle;
  auto closeWizard = [&wizardTitle](TWizardFrm& w) {
    wizardTitle = w.windowTitle();
    QTest::mouseClick(w.CancelBtn, Qt::LeftButton);
  };
  OnModalDialog<TWizardFrm>(closeWizard);
  frm->WizardTimerTimer();
  EXPECT_FALSE(frm->WizardTimer->isActive());
  EXPECT_FALSE(watch);
  EXPECT_TRUE(frm->Console().isVisible());
  EXPECT_TRUE(frm->Console().OnTopState());
  EXPECT_EQ(wizardTitle, "Quorva Backup Wizard");
  EXPECT_TRUE(env.ui->AskedMessages().empty());
  // Started with arguments: no wizard.
  TMainFrm withArguments(settings, *env.ui, true);
  wizardTitle.clear();
  withArguments.WizardTimerTimer();
  QCoreApplication::processEvents();
  EXPECT_TRUE(wizardTitle.isEmpty());
  EXPECT_TRUE(env.ui->AskedMessages().empty());
}

TEST_F(MainFrmTest, StatusBarPanelsAndProgressBar) {
  auto frm = Open();
  frm->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
  EXPECT_EQ(frm->StatusPanel0->width(), 400);
  EXPECT_TRUE(frm->StatusProgress->isHidden());
  frm->resize(900, 600);
  QCoreApplication::processEvents();
  EXPECT_EQ(frm->StatusProgress->x(), frm->StatusPanel0->x());
  EXPECT_EQ(frm->StatusProgress->width(), 400);
  EXPECT_EQ(frm->StatusProgress->height(), frm->statusBar()->height() - 2);
}

// Under a display the script sets QUORVA_SCREENSHOT_DIR and gets one picture per page, at the
// window's default size; the project list's and the Backup page's columns show their captions
// and rows whole.
TEST_F(MainFrmTest, Screenshots) {
  WriteProject("Documents");
  WriteProject("Photos");
  {
    auto ran = ReadProject("Photos");
    ran->LastRun = platform::shell::DateTimeFromUnix(1700000000);
    ran->Files.Add(env.home.W("data\\Photos\\a.txt"), 0);
    ASSERT_TRUE(ran->SaveToFile(JobFile("Photos")));
  }
  auto frm = Open();
  frm->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
  frm->SelectProject("Documents");
  const char* dir = std::getenv("QUORVA_SCREENSHOT_DIR");
  const char* names[] = {"projects", "backup", "restore", "differential-restore", "schedule"};
  for (int page = 0; page < 5; ++page) {
    frm->PC->setCurrentIndex(page);
    QCoreApplication::processEvents();
    if (page == 0) ExpectEveryColumnWhole(frm->PrjLV);
    if (page == 1) {
      ASSERT_GT(frm->BLV->topLevelItemCount(), 0);
      ExpectEveryColumnWhole(frm->BLV);
    }
    const QPixmap shot = frm->grab();
    EXPECT_FALSE(shot.isNull());
    if (dir) {
      EXPECT_TRUE(
          shot.save(QString(dir) + "/main-" + QString::number(page) + "-" + names[page] + ".png"));
    }
  }
}

}  // namespace
