// The main window: the project list and the five pages, the program's actions and their
// enabling rules, the status bar, and the backup and restore jobs under the modal progress window.
#pragma once

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/engine/log.h"
#include "app/engine/project/items.h"
#include "app/engine/project/projects.h"
#include "app/engine/restore/restore_run.h"
#include "app/ui/project/extension_frm.h"
#include "app/ui/project/project_config_frm.h"

class TComparePageView;
class TConsoleFrm;
class TConsoleLogSink;
class TGlobalSetting;
class TProgressFrm;
class TQtUserInterface;
class TRestorePageView;
class TSchedulePageView;
class TSelectionTreeView;
class TSpecialfolderfrm;

// What the Backup page's selection gives the main window: the page's own selection tree, or a
// stand-in that tests attach.
class IBackupSelectionView {
 public:
  virtual ~IBackupSelectionView() = default;
  // Every mark cleared and the selection set emptied (another project was selected).
  virtual void ResetSelection() = 0;
  virtual void LoadProjectSelection(const TProject& project) = 0;
  // Commits the list's pending marks into the selection set.
  virtual void FlushPendingState() = 0;
  // Steps of collecting: the tree's node count plus the selection set's checked count.
  virtual int SaveProgressMaximum() = 0;
  // The checked folders and files.
  virtual void CollectSelection(TItems& folders, TItems& files) = 0;
};

// Shows the project dialog on `project`; true when it ended with OK (1).
using TProjectDialog = std::function<bool(TProject& project)>;

class TMainFrm : public QMainWindow {
  Q_OBJECT

 public:
  // Loads the projects of "QVP_JOBS\" under the program folder and opens the console.
  TMainFrm(TGlobalSetting& settings, TQtUserInterface& ui, bool startedWithArguments = false,
           QWidget* parent = nullptr);
  ~TMainFrm() override;

  // Forms created after the main window (start-up order) and the dialogs of later work.
  void SetProgressForm(TProgressFrm* progress);
  // The program's one extension chooser, lent to every project dialog.
  void SetExtensionChooser(TAddExtFrm* chooser) { extensionChooser_ = chooser; }
  void AdoptSplash(std::unique_ptr<QWidget> splash);
  void SetProjectDialog(TProjectDialog dialog);
  // The project dialog is the configuration dialog, offering the writers of `writers`.
  void UseProjectConfigDialog(std::function<std::vector<TWriterEntry>()> writers = {});
  // The special-folder dialog made at start-up (without one the window makes its own).
  void SetSpecialFolderForm(TSpecialfolderfrm* form);
  TSpecialfolderfrm& SpecialFolderForm();
  // Replaces the page's selection tree as the source of the marks (null: the tree again).
  void SetBackupSelectionView(IBackupSelectionView* view);

  TConsoleFrm& Console() const { return *console_; }
  TGlobalSetting& Settings() const { return settings_; }
  TProjects& Projects() { return projects_; }
  const std::string& ProjectFolder() const { return projectFolder_; }
  bool SelectionChanged() const { return selectionChanged_; }
  void SetSelectionChanged(bool changed) { selectionChanged_ = changed; }
  // The project of the selected row, when it names a loaded one.
  TProject* SelectedProject() const;
  QString SelectedProjectName() const;
  void SelectProject(const QString& name);

  // Steps 2-4 of creating a project, for the dialog's result: false when the name is taken.
  bool AddNewProject(const TProject& fromDialog);

  void FormShow();
  void WizardTimerTimer();
  void PrjLVChange();
  void PrjLVDblClick();
  void PCChange();
  // Before the page changes: false keeps the Backup page.
  bool PCChanging();
  void ActionListUpdate();
  void Combo_BackupSetsChange();

  void CreateNewProjectExecute();
  void SaveProjectExecute();
  void RemoveProjectExecute();
  void ConfigureExecute();
  void GlobalSettingExecute();
  void RunBackupExecute();
  void ShowConsoleExecute();
  void ExtractBPJfromQVPExecute();
  void RunRestoreExecute();
  void CompareProjectExecute();
  void AddProjectToCompareExecute();
  void ResetCompareExecute();
  // "Validate...": the Backup page's selection walked and every file tried.
  void AnalyzeBKFileExecute();
  void SearchFileExecute();
  void SearchSpecialFolderExecute();
  void ToWizardExecute();
  void HelpExecute();
  void WebsiteExecute();
  void AboutExecute();

  // Pages.
  QTabWidget* PC = nullptr;
  QTableWidget* PrjLV = nullptr;
  QWidget* BackupPage = nullptr;
  TSelectionTreeView* SelectionTree = nullptr;
  QTreeWidget* SHTV = nullptr;
  QTreeWidget* BLV = nullptr;
  QLabel* BKMsg = nullptr;
  TRestorePageView* RestorePage = nullptr;
  QComboBox* Combo_BackupSets = nullptr;
  QTreeWidget* RTTV = nullptr;
  QTreeWidget* RLV = nullptr;
  TComparePageView* ComparePage = nullptr;
  QTreeWidget* CPTV = nullptr;
  QTreeWidget* CLV = nullptr;
  TSchedulePageView* SchedulePage = nullptr;
  QTableWidget* ScheduleLV = nullptr;
  QLabel* StatusPanel0 = nullptr;
  QLabel* StatusPanel1 = nullptr;
  QProgressBar* StatusProgress = nullptr;
  QTimer* WizardTimer = nullptr;

  // Actions.
  QAction* CreateNewProject = nullptr;
  QAction* SaveProject = nullptr;
  QAction* RemoveProject = nullptr;
  QAction* Configure = nullptr;
  QAction* ExtractBPJfromQVP = nullptr;
  QAction* ShowConsole = nullptr;
  QAction* GlobalSetting = nullptr;
  QAction* Quit = nullptr;
  QAction* RunBackup = nullptr;
  QAction* RunRestore = nullptr;
  QAction* CompareProject = nullptr;
  QAction* AddProjectToCompare = nullptr;
  QAction* ResetCompare = nullptr;
  QAction* AnalyzeBKFile = nullptr;
  QAction* SearchFile = nullptr;
  QAction* SearchSpecialFolder = nullptr;
  QAction* ToWizard = nullptr;
  QAction* AddSchedule = nullptr;
  QAction* AddKnownSchedule = nullptr;
  QAction* AddLocalProject = nullptr;
  QAction* RemoveSchedule = nullptr;
  QAction* EnableSchedule = nullptr;
  QAction* DisableSchedule = nullptr;
  QAction* ConfigSchedule = nullptr;
  QAction* Help = nullptr;
  QAction* Website = nullptr;
  QAction* About = nullptr;

  // The parameters of the last restore job; the pages hold their selection sets and the
  // differential restore's comparison.
  TRestoreJob RestoreJob;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  void CreateActions();
  void CreateMenus();
  QWidget* CreatePages();
  void CreateStatusBar();
  void AddProjectRow(const TProject& project);
  void RefreshProjectRow(int row, const TProject& project);
  int FindProjectRow(const QString& name) const;
  void SetShownPage(int index);
  void ShowBackupSet(const std::string& archivePath);
  // Takes the run counter, last run and snapshot from the project's file when another run
  // saved newer ones; false (reported) when the file exists but cannot be read.
  bool ReloadFromFile(TProject& project);
  void NotAvailable(const QString& what);
  // Runs a restore job on a worker thread under the modal progress window; afterwards
  // "User break!" is logged when it was cancelled and the status-bar progress bar hidden.
  // Runs a job on a worker thread under the modal progress window; false when it could not
  // be started (shown and logged).
  bool RunJob(const std::string& what, const std::function<void()>& body);
  void RunRestoreJob(const std::function<void()>& body);
  void Status(const std::string& text);
  // What becomes of a wizard project after its backup, completed or failed: the after-backup
  // dialog's choices.
  void KeepWizardProject(TProject& project, bool completed);
  void SaveWizardProjectElsewhere(TProject& project);
  void SaveWizardProjectToList(TProject& project);
  // Asks for another name while `taken` says the project's name cannot be used; false when
  // the user cancelled.
  bool RenameUntilFree(TProject& project, const std::function<bool(const std::string&)>& taken);

  TGlobalSetting& settings_;
  TQtUserInterface& ui_;
  bool startedWithArguments_;
  std::unique_ptr<TConsoleFrm> console_;
  std::shared_ptr<TConsoleLogSink> logSink_;
  std::shared_ptr<ILogSink> previousSink_;
  TProjects projects_;
  std::string projectFolder_;
  std::vector<std::string> writers_;
  bool selectionChanged_ = false;
  bool shownOnce_ = false;
  int shownPage_ = 0;
  QPointer<TProgressFrm> progress_;
  QPointer<TAddExtFrm> extensionChooser_;
  std::unique_ptr<QWidget> splash_;
  TProjectDialog projectDialog_;
  std::function<std::vector<TWriterEntry>()> writerList_;
  QPointer<TSpecialfolderfrm> specialFolders_;
  std::unique_ptr<TSpecialfolderfrm> ownSpecialFolders_;
  std::unique_ptr<IBackupSelectionView> treeSelection_;
  IBackupSelectionView* selectionView_ = nullptr;
};

// Starts the system's web browser with the address.
bool OpenUrlInBrowser(const QString& address);
