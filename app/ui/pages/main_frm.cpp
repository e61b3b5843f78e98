#include "app/ui/pages/main_frm.h"

#include <QAbstractEventDispatcher>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <atomic>
#include <optional>
#include <system_error>

#include "app/engine/backup/backup_run.h"
#include "app/engine/log.h"
#include "app/engine/path_routines.h"
#include "app/engine/progress.h"
#include "app/engine/project/project_lock.h"
#include "app/engine/project/stream.h"
#include "app/engine/restore/backup_sets.h"
#include "app/engine/restore/diff_restore_choices.h"
#include "app/engine/restore/diff_restore_run.h"
#include "app/engine/restore/project_recovery.h"
#include "app/engine/restore/restore_selection.h"
#include "app/engine/settings/global_setting.h"
#include "app/ui/about_frm.h"
#include "app/ui/pages/compare_page.h"
#include "app/ui/pages/restore_page.h"
#include "app/ui/pages/selection_tree_view.h"
#include "app/ui/project/after_backup_frm.h"
#include "app/ui/project/extension_frm.h"
#include "app/ui/project/found_writers.h"
#include "app/ui/project/invalid_files_frm.h"
#include "app/ui/project/search_frm.h"
#include "app/ui/project/special_folder_frm.h"
#include "app/ui/project/wizard_frm.h"
#include "app/ui/run/console_frm.h"
#include "app/ui/run/console_log_sink.h"
#include "app/ui/run/progress_frm.h"
#include "app/ui/run/pump_messages.h"
#include "app/ui/run/qt_user_interface.h"
#include "app/ui/schedule/schedule_page.h"
#include "app/ui/settings/global_setting_frm.h"
#include "app/ui/widgets/browse_for_folder.h"
#include "app/ui/widgets/column_widths.h"
#include "app/ui/widgets/last_run_text.h"
#include "platform/fs/fs.h"
#include "platform/shell/job_thread.h"
#include "platform/shell/shell.h"

namespace {

constexpr const char* kTitle = "Quorva Backup";

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string S(const QString& s) {
  return s.toUtf8().toStdString();
}

// A project name becomes a file name in the project folder: it must stay a plain name there.
bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of("\\/:") == std::string_view::npos;
}

// The Backup page's own selection tree.
class TTreeSelection : public IBackupSelectionView {
 public:
  explicit TTreeSelection(TSelectionTreeView& view) : view_(view) {}
  void ResetSelection() override { view_.ResetSelection(); }
  void LoadProjectSelection(const TProject& project) override {
    view_.LoadProjectSelection(project);
  }
  void FlushPendingState() override { view_.SHTVChanging(); }
  int SaveProgressMaximum() override { return view_.Model().NodeCount() + view_.Sets().Count(); }
  void CollectSelection(TItems& folders, TItems& files) override {
    view_.CollectSelection(folders, files, false);
  }

 private:
  TSelectionTreeView& view_;
};

}  // namespace

bool OpenUrlInBrowser(const QString& address) {
  return QDesktopServices::openUrl(QUrl(address));
}

TMainFrm::TMainFrm(TGlobalSetting& settings, TQtUserInterface& ui, bool startedWithArguments,
                   QWidget* parent)
    : QMainWindow(parent),
      settings_(settings),
      ui_(ui),
      startedWithArguments_(startedWithArguments) {
  setObjectName("MainFrm");
  setWindowTitle("Project Manager - Quorva Backup");
  // Room for the lists' columns with their usual rows.
  resize(1024, 640);
  CreateActions();
  CreateMenus();
  setCentralWidget(CreatePages());
  CreateStatusBar();
  WizardTimer = new QTimer(this);
  WizardTimer->setObjectName("WizardTimer");
  WizardTimer->setInterval(500);
  connect(WizardTimer, &QTimer::timeout, this, &TMainFrm::WizardTimerTimer);
  FormCreate();
  // The enabling rules run whenever the GUI thread is about to wait, as after every change.
  if (auto* dispatcher = QAbstractEventDispatcher::instance())
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TMainFrm::ActionListUpdate);
  ActionListUpdate();
}

TMainFrm::~TMainFrm() {
  // Entries after this go where they went before the console existed.
  if (logSink_) SetLogSink(previousSink_);
  ui_.AttachStatusBar(nullptr, {});
  ui_.SetBackupSetHandler(nullptr);
}

void TMainFrm::FormCreate() {
  // Folders the tree adds while the window is made are not processed.
  SelectionTree->SetStartup(true);
  Status("Initializing application ...");
  PumpMessages();

  console_ = std::make_unique<TConsoleFrm>(ui_);
  logSink_ = std::make_shared<TConsoleLogSink>(console_.get());
  previousSink_ = SetLogSink(logSink_);
  LogStatus("Application started.");

  selectionChanged_ = false;
  ui_.AttachStatusBar(StatusProgress, {StatusPanel0, StatusPanel1});
  ui_.SetBackupSetHandler([this](const std::string& path) { ShowBackupSet(path); });

  projectFolder_ = platform::shell::ProgramFolder() + "QVP_JOBS\\";
  if (!platform::fs::CreateDirectories(projectFolder_))
    LogError("Cannot create the project folder " + projectFolder_);
  LogStatus("Searching for projects...");
  Status("Searching for projects...");
  const std::vector<std::string> damaged = projects_.LoadFromFolder(projectFolder_);
  for (int i = 0; i < projects_.Count(); ++i) AddProjectRow(*projects_.Get(i));
  if (!damaged.empty()) {
    std::string text =
        "These project files are damaged and were not loaded; they are left as "
        "they are:";
    for (const std::string& file : damaged) text += "\n" + file;
    ui_.MessageBox(text, kTitle, TMessageButtons::Ok, TMessageKind::Error);
  }

  LogStatus("Loading schedule list...");
  Status("Loading schedule list...");
  SchedulePage->LoadSchedules();
  // The writer search joins here when it is built.
  LogStatus("Querying CD/DVD Writable device...");
  Status("Querying Writable device...");
  SelectionTree->SetStartup(false);
}

void TMainFrm::CreateActions() {
  auto make = [this](QAction*& action, const char* name, const char* text, const char* hint,
                     const char* shortcut) {
    action = new QAction(text, this);
    action->setObjectName(name);
    // Tool buttons show the caption as it stands ("Validate..." keeps its dots).
    action->setIconText(QString(text).remove('&'));
    if (*hint) action->setToolTip(hint);
    if (*shortcut) action->setShortcut(QKeySequence(shortcut));
  };
  make(CreateNewProject, "CreateNewProject", "&Create new project", "Create new project", "Ctrl+N");
  make(SaveProject, "SaveProject", "&Save project", "Save selected project", "Ctrl+S");
  make(RemoveProject, "RemoveProject", "&Delete project", "Delete selected project", "");
  make(Configure, "Configure", "C&onfigure", "Project configuration", "");
  make(ExtractBPJfromQVP, "ExtractBPJfromQVP", "&Recover from backup sets...",
       "Recover project file from QVP files", "Ctrl+Q");
  make(ShowConsole, "ShowConsole", "S&how console window", "Show Console window", "");
  make(GlobalSetting, "GlobalSetting", "&Global settings", "Global settings...", "");
  make(Quit, "Quit", "&Quit", "Close and Quit", "");
  make(RunBackup, "RunBackup", "S&tart to Backup", "Start to Backup", "Ctrl+B");
  make(RunRestore, "RunRestore", "St&art to Restore", "Start to Restore", "Ctrl+R");
  make(CompareProject, "CompareProject", "&Compare", "Compare projects", "");
  make(AddProjectToCompare, "AddProjectToCompare", "&Add backup sets...",
       "Add Project files or Backup sets", "Ctrl+A");
  make(ResetCompare, "ResetCompare", "&Reset", "Reset compare list", "");
  make(AnalyzeBKFile, "AnalyzeBKFile", "&Validate...", "Analyze current selections", "");
  make(SearchFile, "SearchFile", "&Search files", "Search Files", "Ctrl+F");
  make(SearchSpecialFolder, "SearchSpecialFolder", "Add s&pecial folder", "", "");
  make(ToWizard, "ToWizard", "S&how Wizard", "", "Ctrl+W");
  make(AddSchedule, "AddSchedule", "&Add to schedule", "Add project to schedule list", "");
  make(AddKnownSchedule, "AddKnownSchedule", "From project manager",
       "Add project from project manager", "");
  make(AddLocalProject, "AddLocalProject", "From other project ...", "Add project from qvp files",
       "");
  make(RemoveSchedule, "RemoveSchedule", "&Remove schedule", "Remove project from schedule list",
       "");
  make(EnableSchedule, "EnableSchedule", "&Enable schedule", "Enable Schedule", "");
  make(DisableSchedule, "DisableSchedule", "&Disable schedule", "Disable Schedule", "");
  make(ConfigSchedule, "ConfigSchedule", "&Configure schedule", "configure schedule setting", "");
  make(Help, "Help", "&Help content", "Help Content", "");
  make(Website, "Website", "&Visit web site", "", "");
  make(About, "About", "&About", "About Quorva Backup", "");

  connect(CreateNewProject, &QAction::triggered, this, &TMainFrm::CreateNewProjectExecute);
  connect(SaveProject, &QAction::triggered, this, &TMainFrm::SaveProjectExecute);
  connect(RemoveProject, &QAction::triggered, this, &TMainFrm::RemoveProjectExecute);
  connect(Configure, &QAction::triggered, this, &TMainFrm::ConfigureExecute);
  connect(ShowConsole, &QAction::triggered, this, &TMainFrm::ShowConsoleExecute);
  connect(ExtractBPJfromQVP, &QAction::triggered, this, &TMainFrm::ExtractBPJfromQVPExecute);
  connect(RunRestore, &QAction::triggered, this, &TMainFrm::RunRestoreExecute);
  connect(CompareProject, &QAction::triggered, this, &TMainFrm::CompareProjectExecute);
  connect(AddProjectToCompare, &QAction::triggered, this, &TMainFrm::AddProjectToCompareExecute);
  connect(ResetCompare, &QAction::triggered, this, &TMainFrm::ResetCompareExecute);
  connect(Quit, &QAction::triggered, this, &QWidget::close);
  connect(RunBackup, &QAction::triggered, this, &TMainFrm::RunBackupExecute);
  connect(ToWizard, &QAction::triggered, this, &TMainFrm::ToWizardExecute);
  connect(Help, &QAction::triggered, this, &TMainFrm::HelpExecute);
  connect(Website, &QAction::triggered, this, &TMainFrm::WebsiteExecute);
  connect(About, &QAction::triggered, this, &TMainFrm::AboutExecute);
  connect(AnalyzeBKFile, &QAction::triggered, this, &TMainFrm::AnalyzeBKFileExecute);
  connect(GlobalSetting, &QAction::triggered, this, &TMainFrm::GlobalSettingExecute);
  connect(AddSchedule, &QAction::triggered, this,
          [this] { SchedulePage->AddKnownScheduleExecute(); });
  connect(AddKnownSchedule, &QAction::triggered, this,
          [this] { SchedulePage->AddKnownScheduleExecute(); });
  connect(AddLocalProject, &QAction::triggered, this,
          [this] { SchedulePage->AddLocalProjectExecute(); });
  // The others act only while the Schedule page is shown.
  connect(RemoveSchedule, &QAction::triggered, this, [this] {
    if (shownPage_ == 4) SchedulePage->RemoveScheduleExecute();
  });
  connect(EnableSchedule, &QAction::triggered, this, [this] {
    if (shownPage_ == 4) SchedulePage->EnableScheduleExecute();
  });
  connect(DisableSchedule, &QAction::triggered, this, [this] {
    if (shownPage_ == 4) SchedulePage->DisableScheduleExecute();
  });
  connect(ConfigSchedule, &QAction::triggered, this, [this] {
    if (shownPage_ == 4) SchedulePage->ConfigScheduleExecute();
  });
  connect(SearchFile, &QAction::triggered, this, &TMainFrm::SearchFileExecute);
  connect(SearchSpecialFolder, &QAction::triggered, this, &TMainFrm::SearchSpecialFolderExecute);
}

void TMainFrm::CreateMenus() {
  QMenu* projects = menuBar()->addMenu("&Projects");
  projects->addActions({CreateNewProject, SaveProject, RemoveProject});
  projects->addSeparator();
  projects->addActions({ExtractBPJfromQVP, ShowConsole, GlobalSetting});
  projects->addSeparator();
  projects->addAction(Quit);

  QMenu* action = menuBar()->addMenu("&Action");
  action->addActions({RunBackup, RunRestore});
  QMenu* differential = action->addMenu("&Differential Restore");
  differential->addActions({CompareProject, AddProjectToCompare, ResetCompare});
  action->addActions({Configure, AnalyzeBKFile});
  action->addSeparator();
  action->addActions({SearchFile, SearchSpecialFolder});
  action->addSeparator();
  action->addAction(ToWizard);

  QMenu* schedule = menuBar()->addMenu("&Schedule");
  schedule->addActions({AddSchedule, RemoveSchedule, EnableSchedule, DisableSchedule});
  schedule->addSeparator();
  schedule->addAction(ConfigSchedule);

  QMenu* help = menuBar()->addMenu("&Help");
  help->addActions({Help, Website});
  help->addSeparator();
  help->addAction(About);
}

QWidget* TMainFrm::CreatePages() {
  auto page = [](const char* name, const char* toolbar, std::initializer_list<QAction*> buttons,
                 QWidget* content, QToolBar** made = nullptr) {
    auto* widget = new QWidget;
    widget->setObjectName(name);
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* bar = new QToolBar(toolbar);
    bar->setObjectName(toolbar);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    for (QAction* b : buttons) {
      if (b)
        bar->addAction(b);
      else
        bar->addSeparator();
    }
    layout->addWidget(bar);
    layout->addWidget(content, 1);
    if (made) *made = bar;
    return widget;
  };

  PC = new QTabWidget;
  PC->setObjectName("PC");
  PC->setTabPosition(QTabWidget::South);

  PrjLV = new QTableWidget(0, 4);
  PrjLV->setObjectName("PrjLV");
  PrjLV->setHorizontalHeaderLabels({"Name", "Save data to", "Last run time", "Content"});
  FitColumns(PrjLV, {160, 250, 100, 100}, 1);
  PrjLV->verticalHeader()->hide();
  PrjLV->setShowGrid(true);
  PrjLV->setEditTriggers(QAbstractItemView::NoEditTriggers);
  PrjLV->setSelectionBehavior(QAbstractItemView::SelectRows);
  PrjLV->setSelectionMode(QAbstractItemView::SingleSelection);
  PrjLV->setWordWrap(false);
  PrjLV->horizontalHeader()->setHighlightSections(false);
  connect(PrjLV, &QTableWidget::itemSelectionChanged, this, &TMainFrm::PrjLVChange);
  connect(PrjLV, &QTableWidget::itemDoubleClicked, this, &TMainFrm::PrjLVDblClick);
  PrjLV->setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* compareFromList = new QAction("Differential restore from multi files", this);
  compareFromList->setObjectName("PrjLVCompare");
  connect(compareFromList, &QAction::triggered, CompareProject, &QAction::trigger);
  PrjLV->addActions(
      {CreateNewProject, Configure, RemoveProject, RunBackup, RunRestore, compareFromList});
  PC->addTab(page("ProjectsPage", "ProjectsToolBar",
                  {CreateNewProject, RunBackup, RunRestore, RemoveProject, Configure, nullptr,
                   GlobalSetting},
                  PrjLV),
             "Projects");

  auto* backupContent = new QWidget;
  auto* backupLayout = new QVBoxLayout(backupContent);
  backupLayout->setContentsMargins(0, 0, 0, 0);
  SelectionTree = new TSelectionTreeView;
  SelectionTree->setObjectName("SelectionTree");
  SHTV = SelectionTree->SHTV;
  BLV = SelectionTree->BLV;
  connect(SelectionTree, &TSelectionTreeView::CheckMarksChanged, this,
          [this] { selectionChanged_ = true; });
  treeSelection_ = std::make_unique<TTreeSelection>(*SelectionTree);
  selectionView_ = treeSelection_.get();
  BKMsg = new QLabel;
  BKMsg->setObjectName("BKMsg");
  backupLayout->addWidget(SelectionTree, 1);
  backupLayout->addWidget(BKMsg);
  BackupPage = page("BackupPage", "BackupToolBar",
                    {RunBackup, Configure, SaveProject, nullptr, SearchFile, SearchSpecialFolder,
                     nullptr, AnalyzeBKFile},
                    backupContent);
  PC->addTab(BackupPage, "Backup");

  RestorePage = new TRestorePageView(ui_);
  Combo_BackupSets = RestorePage->Combo_BackupSets;
  RTTV = RestorePage->RTTV;
  RLV = RestorePage->RLV;
  PC->addTab(page("RestorePage", "RestoreToolBar", {RunRestore}, RestorePage), "Restore");

  ComparePage = new TComparePageView(ui_);
  CPTV = ComparePage->CPTV;
  CLV = ComparePage->CLV;
  PC->addTab(page("DiffRestorePage", "DiffRestoreToolBar",
                  {AddProjectToCompare, ResetCompare, nullptr, RunRestore}, ComparePage),
             "Differential-Restore");

  SchedulePage = new TSchedulePageView(projects_);
  ScheduleLV = SchedulePage->ScheduleLV;
  QToolBar* scheduleBar = nullptr;
  PC->addTab(page("SchedulePage", "ScheduleToolBar",
                  {AddSchedule, RemoveSchedule, nullptr, EnableSchedule, DisableSchedule, nullptr,
                   ConfigSchedule},
                  SchedulePage, &scheduleBar),
             "Schedule");
  if (auto* button = qobject_cast<QToolButton*>(scheduleBar->widgetForAction(AddSchedule))) {
    auto* menu = new QMenu(button);
    menu->addActions({AddKnownSchedule, AddLocalProject});
    button->setMenu(menu);
    button->setPopupMode(QToolButton::MenuButtonPopup);
  }

  connect(PC, &QTabWidget::currentChanged, this, &TMainFrm::SetShownPage);
  return PC;
}

void TMainFrm::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("StatusBar1");
  bar->setSizeGripEnabled(false);
  StatusPanel0 = new QLabel;
  StatusPanel0->setObjectName("StatusPanel0");
  StatusPanel0->setFixedWidth(400);
  StatusPanel1 = new QLabel;
  StatusPanel1->setObjectName("StatusPanel1");
  StatusPanel1->setMinimumWidth(50);
  bar->addWidget(StatusPanel0);
  bar->addWidget(StatusPanel1, 1);
  // Lies over the first panel; hidden except while the window itself works.
  StatusProgress = new QProgressBar(bar);
  StatusProgress->setObjectName("StatusProgress");
  StatusProgress->setRange(0, 100);
  StatusProgress->setTextVisible(false);
  StatusProgress->setGeometry(0, 3, 400, bar->height() - 6);
  StatusProgress->hide();
  bar->installEventFilter(this);
}

bool TMainFrm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == statusBar() && event->type() == QEvent::Resize)
    StatusProgress->setGeometry(StatusPanel0->x(), 2, StatusPanel0->width(),
                                statusBar()->height() - 2);
  return QMainWindow::eventFilter(watched, event);
}

void TMainFrm::Status(const std::string& text) {
  ProgressStatus = text;
}

void TMainFrm::SetProgressForm(TProgressFrm* progress) {
  progress_ = progress;
}

void TMainFrm::AdoptSplash(std::unique_ptr<QWidget> splash) {
  splash_ = std::move(splash);
}

void TMainFrm::SetProjectDialog(TProjectDialog dialog) {
  projectDialog_ = std::move(dialog);
}

void TMainFrm::SetBackupSelectionView(IBackupSelectionView* view) {
  selectionView_ = view;
}

void TMainFrm::AddProjectRow(const TProject& project) {
  const int row = PrjLV->rowCount();
  PrjLV->insertRow(row);
  for (int c = 0; c < 4; ++c) PrjLV->setItem(row, c, new QTableWidgetItem);  // owned by the list
  RefreshProjectRow(row, project);
}

void TMainFrm::RefreshProjectRow(int row, const TProject& project) {
  if (row < 0 || row >= PrjLV->rowCount()) return;
  PrjLV->item(row, 0)->setText(Q(project.Name));
  PrjLV->item(row, 1)->setText(Q(project.DescribeDestination()));
  PrjLV->item(row, 2)->setText(Q(LastRunText(project.LastRun)));
  PrjLV->item(row, 3)->setText(Q(project.DescribeContent()));
}

int TMainFrm::FindProjectRow(const QString& name) const {
  for (int row = 0; row < PrjLV->rowCount(); ++row)
    if (PrjLV->item(row, 0)->text().compare(name, Qt::CaseInsensitive) == 0) return row;
  return -1;
}

QString TMainFrm::SelectedProjectName() const {
  const auto rows = PrjLV->selectionModel()->selectedRows();
  if (rows.isEmpty()) return {};
  return PrjLV->item(rows.front().row(), 0)->text();
}

TProject* TMainFrm::SelectedProject() const {
  const auto rows = PrjLV->selectionModel()->selectedRows();
  if (rows.isEmpty()) return nullptr;
  return projects_.FindByName(S(PrjLV->item(rows.front().row(), 0)->text()));
}

void TMainFrm::SelectProject(const QString& name) {
  const int row = FindProjectRow(name);
  if (row < 0)
    PrjLV->clearSelection();
  else
    PrjLV->selectRow(row);
}

void TMainFrm::ActionListUpdate() {
  const bool selected = PrjLV->selectionModel()->hasSelection();
  const int page = shownPage_;
  SaveProject->setEnabled(selected && page == 1);
  RemoveProject->setEnabled(selected);
  Configure->setEnabled(selected);
  RunBackup->setEnabled(selected);
  bool restore = false;
  if (page == 0) restore = selected;
  if (page == 2) restore = RTTV->topLevelItemCount() > 0;
  if (page == 3) restore = CPTV->topLevelItemCount() > 0;
  RunRestore->setEnabled(restore);
  AnalyzeBKFile->setEnabled(selected && page == 1);
  SearchFile->setEnabled(page == 1);
  SearchSpecialFolder->setEnabled(page == 1);
  const bool scheduleSelected = SchedulePage->HasSelection();
  const bool scheduleEnabled = SchedulePage->SelectedRowShowsEnabled();
  EnableSchedule->setEnabled(scheduleSelected && !scheduleEnabled);
  DisableSchedule->setEnabled(scheduleEnabled);
  ConfigSchedule->setEnabled(scheduleSelected);
}

void TMainFrm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shownOnce_) {
    shownOnce_ = true;
    FormShow();
  }
}

void TMainFrm::FormShow() {
  WizardTimer->start();
}

void TMainFrm::WizardTimerTimer() {
  WizardTimer->stop();
  if (splash_) {
    splash_->close();
    splash_.reset();
  }
  if (settings_.AutoShowConsole) {
    console_->show();
    if (settings_.ConsoleOnTop && !console_->OnTopState()) console_->OnTopExecute();
  }
  if (!startedWithArguments_ && settings_.ShowWizardAtStart) ToWizardExecute();
}

void TMainFrm::PrjLVChange() {
  const QString name = SelectedProjectName();
  setWindowTitle(name.isEmpty() ? "Project Manager - Quorva Backup" : name + " - Quorva Backup");
  selectionView_->ResetSelection();
  RestorePage->Reset();
  if (const TProject* project = SelectedProject()) {
    StatusProgress->show();
    selectionView_->LoadProjectSelection(*project);
    RestorePage->FindBackupSets(projects_, project->Name);
    StatusProgress->hide();
  }
  ActionListUpdate();
}

void TMainFrm::PrjLVDblClick() {
  if (SelectedProject()) PC->setCurrentIndex(1);
}

void TMainFrm::SetShownPage(int index) {
  if (index == shownPage_) return;
  if (shownPage_ == 1 && !PCChanging()) {
    const QSignalBlocker block(PC);
    PC->setCurrentIndex(1);
    return;
  }
  shownPage_ = index;
  PCChange();
  ActionListUpdate();
}

bool TMainFrm::PCChanging() {
  if (shownPage_ != 1 || !selectionChanged_) return true;
  switch (
      ui_.MessageBox("Project's setting has been changed. Save it?\n"
                     "Press YES to apply the changes\n"
                     "Press NO to discard the changes\n"
                     "Press CANCEL to stay in this page",
                     "Apply changes?", TMessageButtons::YesNoCancel, TMessageKind::Question)) {
    case TModalResult::Yes:
      SaveProjectExecute();
      return true;
    case TModalResult::No:
      selectionChanged_ = false;
      return true;
    default:
      return false;
  }
}

void TMainFrm::PCChange() {
  const QString name = SelectedProjectName();
  switch (shownPage_) {
    case 0:
      setWindowTitle(name.isEmpty() ? "Project Manager - Quorva Backup"
                                    : name + " - Quorva Backup");
      break;
    case 1:
      setWindowTitle("Backup " + name + " - Quorva Backup");
      break;
    case 2:
      setWindowTitle("Restore " + name + " - Quorva Backup");
      break;
    case 3:
      setWindowTitle("Differential Restore " + name + " - Quorva Backup");
      break;
    case 4:
      setWindowTitle("Schedule " + name + " - Quorva Backup");
      break;
  }
}

void TMainFrm::NotAvailable(const QString& what) {
  ui_.MessageBox("\"" + S(what) + "\" is not available yet.", kTitle, TMessageButtons::Ok,
                 TMessageKind::Information);
}

bool TMainFrm::ReloadFromFile(TProject& project) {
  // A project not saved yet has only the listed copy.
  if (!platform::fs::Exists(project.ProjectFile)) return true;
  try {
    platform::fs::File file(project.ProjectFile, platform::fs::OpenMode::Read,
                            platform::fs::Share::ReadOnly);
    TFileStream stream(file);
    TProject stored;
    stored.Name.clear();
    if (!stored.LoadFromStream(stream) || stored.Name.empty()) {
      LogError("The project file " + project.ProjectFile +
               " is damaged; the project is used as it was listed.");
      return true;
    }
    // Runs write only these; the settings edited in this window stay as they are.
    if (stored.RunCounter >= project.RunCounter) {
      project.RunCounter = stored.RunCounter;
      project.LastRun = stored.LastRun;
      project.Snapshot = std::move(stored.Snapshot);
    }
    return true;
  } catch (const std::exception& e) {
    const std::string text =
        "Cannot read the project file " + project.ProjectFile + ": " + e.what();
    LogError(text);
    ui_.MessageBox(text, kTitle, TMessageButtons::Ok, TMessageKind::Error);
    return false;
  }
}

bool TMainFrm::AddNewProject(const TProject& fromDialog) {
  if (!IsPlainFileName(fromDialog.Name)) {
    LogError("The project name \"" + fromDialog.Name + "\" cannot be a file name.");
    ui_.MessageBox("Create new project failed! ", kTitle, TMessageButtons::Ok, TMessageKind::Error);
    return false;
  }
  std::unique_ptr<TProject> project;
  try {
    project = projects_.New(fromDialog.Name);
  } catch (const EProjectExists&) {
    ui_.MessageBox("Create new project failed! ", kTitle, TMessageButtons::Ok, TMessageKind::Error);
    return false;
  }
  fromDialog.AssignTo(*project);
  project->ProjectFile = projectFolder_ + project->Name + ".bpj";
  // A file of that name that is not listed (damaged, or named in another case) belongs to
  // someone else: it is never overwritten.
  if (platform::fs::Exists(project->ProjectFile)) {
    LogError("The project file " + project->ProjectFile + " exists already.");
    ui_.MessageBox("Create new project failed! ", kTitle, TMessageButtons::Ok, TMessageKind::Error);
    return false;
  }
  if (!project->SaveToFile(project->ProjectFile)) {
    const std::string text = "The project could not be saved to " + project->ProjectFile;
    LogError(text);
    ui_.MessageBox(text, kTitle, TMessageButtons::Ok, TMessageKind::Error);
  }
  const TProject& added = *project;
  projects_.Add(std::move(project));
  AddProjectRow(added);
  LogStatus("New project " + added.Name + " created");
  PrjLV->selectRow(PrjLV->rowCount() - 1);
  PC->setCurrentIndex(1);
  return true;
}

void TMainFrm::CreateNewProjectExecute() {
  if (!projectDialog_) return NotAvailable("The project dialog");
  TProject project;
  if (projectDialog_(project)) AddNewProject(project);
}

void TMainFrm::ConfigureExecute() {
  TProject* project = SelectedProject();
  if (!project) return;
  if (!projectDialog_) return NotAvailable("The project dialog");
  TProject edited;
  project->AssignTo(edited);
  if (!projectDialog_(edited)) return;

  const int row = FindProjectRow(SelectedProjectName());
  const bool renamed = edited.Name != project->Name;
  const std::string oldFile = project->ProjectFile;
  const std::string newFile = renamed ? projectFolder_ + edited.Name + ".bpj" : oldFile;
  if (renamed) {
    // Another project's name or file is never taken over.
    const TProject* other = projects_.FindByName(edited.Name);
    if (!IsPlainFileName(edited.Name) || (other && other != project) ||
        (newFile != oldFile && platform::fs::Exists(newFile))) {
      ui_.MessageBox("Create new project failed! ", kTitle, TMessageButtons::Ok,
                     TMessageKind::Error);
      return;
    }
  }
  std::optional<TProjectLock> lock;
  try {
    lock.emplace(oldFile);
  } catch (const std::exception& e) {
    LogError(e.what());
    ui_.MessageBox(e.what(), kTitle, TMessageButtons::Ok, TMessageKind::Error);
    return;
  }
  edited.AssignTo(*project);
  // A run may have saved a newer run counter and snapshot meanwhile.
  if (!ReloadFromFile(*project)) return;
  if (!project->SaveToFile(newFile)) {
    const std::string text = "The project could not be saved to " + newFile;
    LogError(text);
    ui_.MessageBox(text, kTitle, TMessageButtons::Ok, TMessageKind::Error);
  } else {
    project->ProjectFile = newFile;
    if (newFile != oldFile && !platform::fs::DeleteFile(oldFile) && platform::fs::Exists(oldFile))
      LogError("Cannot delete the project file " + oldFile);
  }
  RefreshProjectRow(row, *project);
}

void TMainFrm::GlobalSettingExecute() {
  TGlobalSettingFrm dialog(settings_, this);
  dialog.exec();
}

void TMainFrm::UseProjectConfigDialog(std::function<std::vector<TWriterEntry>()> writers) {
  writerList_ = writers;
  SetProjectDialog([this, writers = std::move(writers)](TProject& project) {
    TProjectConfigFrm dialog(settings_, writers ? writers() : std::vector<TWriterEntry>{}, this);
    dialog.ShowConsole = [this] { ShowConsoleExecute(); };
    dialog.SetExtensionChooser(extensionChooser_);
    project.AssignTo(dialog.Project);
    dialog.ProjectToForm();
    if (dialog.exec() != 1) return false;
    dialog.Project.AssignTo(project);
    return true;
  });
}

void TMainFrm::SaveProjectExecute() {
  if (shownPage_ != 1) return;
  TProject* project = SelectedProject();
  if (!project) return;
  const int row = FindProjectRow(SelectedProjectName());

  // A run of the same project would write its own copy back over this save.
  std::optional<TProjectLock> lock;
  try {
    lock.emplace(project->ProjectFile);
  } catch (const std::exception& e) {
    LogError(e.what());
    ui_.MessageBox(e.what(), kTitle, TMessageButtons::Ok, TMessageKind::Error);
    return;
  }
  if (!ReloadFromFile(*project)) return;

  selectionView_->FlushPendingState();
  setEnabled(false);
  StatusProgress->setRange(0, selectionView_->SaveProgressMaximum());
  StatusProgress->setValue(0);
  StatusProgress->show();
  TItems folders(TItemCompare::Exact);
  TItems files(TItemCompare::Exact);
  selectionView_->CollectSelection(folders, files);
  BKMsg->setText("select " + QString::number(folders.Count()) + " directories and " +
                 QString::number(files.Count()) + " Files");
  StatusProgress->setValue(StatusProgress->maximum());

  folders.AssignTo(project->Folders);
  files.AssignTo(project->Files);
  const bool saved = project->SaveToFile(project->ProjectFile);
  setEnabled(true);
  if (saved) {
    selectionChanged_ = false;
    LogStatus("Project " + project->Name + " saved");
  } else {
    const std::string text = "The project could not be saved to " + project->ProjectFile;
    LogError(text);
    ui_.MessageBox(text, kTitle, TMessageButtons::Ok, TMessageKind::Error);
  }
  RefreshProjectRow(row, *project);
  StatusProgress->hide();
}

void TMainFrm::RemoveProjectExecute() {
  const QString name = SelectedProjectName();
  if (name.isEmpty()) return;
  if (ui_.MessageBox("Do you really want to delete project named with " + S(name) + "\n" +
                         "Click Yes to confirm, click No to cancel",
                     "Please confirm", TMessageButtons::YesNo,
                     TMessageKind::Question) != TModalResult::Yes)
    return;
  const std::unique_ptr<TProject> project = projects_.Extract(S(name));
  if (!project) return;
  PrjLV->removeRow(FindProjectRow(name));
  LogStatus("Deleting project " + project->ProjectFile);
  if (!platform::fs::DeleteFile(project->ProjectFile) && platform::fs::Exists(project->ProjectFile))
    LogError("Cannot delete the project file " + project->ProjectFile);
}

void TMainFrm::RunBackupExecute() {
  if (shownPage_ == 1 && selectionChanged_) {
    switch (
        ui_.MessageBox("Project's setting has been changed. Save it before start to backup?\n"
                       "Press YES to apply the changes\n"
                       "Press NO to discard the changes\n"
                       "Press CANCEL to stay in this page",
                       "Apply changes?", TMessageButtons::YesNoCancel, TMessageKind::Question)) {
      case TModalResult::Yes:
        SaveProjectExecute();
        break;
      case TModalResult::No:
        selectionChanged_ = false;
        break;
      default:
        return;
    }
    if (selectionChanged_) return;
  }
  TProject* project = SelectedProject();
  if (!project || !progress_) return;

  // Held for the whole run: a second run of the project fails here at once.
  std::optional<TProjectLock> lock;
  try {
    lock.emplace(project->ProjectFile);
  } catch (const std::exception& e) {
    LogError(e.what());
    ui_.MessageBox(e.what(), kTitle, TMessageButtons::Ok, TMessageKind::Error);
    return;
  }
  // The file may be newer than the list (another run saved it): its run counter and
  // snapshot are the ones to go on from.
  if (!ReloadFromFile(*project)) return;

  if (!RunJob("backup", [&] { BackupThreadProc(*project, settings_); })) return;
  if (ProgressCancelled) LogError("User break!");
  RestorePage->RemoveNoBackupSetsItem();
  RefreshProjectRow(FindProjectRow(Q(project->Name)), *project);
}

void TMainFrm::AnalyzeBKFileExecute() {
  const TProject* project = SelectedProject();
  if (!project || shownPage_ != 1) return;
  TValidateHooks hooks;
  hooks.ShowProgress = [this] {
    if (progress_) progress_->ShowNonModal();
  };
  hooks.Pump = [] { PumpMessages(); };
  hooks.EnableMainWindow = [this](bool enabled) { setEnabled(enabled); };
  hooks.CloseProgress = [this] {
    if (progress_) progress_->Finish();
  };
  hooks.SetMessage = [this](const std::string& text) { BKMsg->setText(Q(text)); };
  // Shown while the main window is still disabled: a window of its own, not a child of it.
  hooks.AskInvalidFiles = [](const std::vector<std::string>& files) {
    TInvalidFileFrm frm;
    frm.SetFiles(files);
    return frm.exec();
  };
  SelectionTree->Validate(*project, hooks);
}

void TMainFrm::ShowBackupSet(const std::string& archivePath) {
  RestorePage->ShowBackupSet(archivePath);
}

void TMainFrm::Combo_BackupSetsChange() {
  RestorePage->Combo_BackupSetsChange();
}

bool TMainFrm::RunJob(const std::string& what, const std::function<void()>& body) {
  if (!progress_) return false;
  ResetProgressForJob();
  std::atomic<bool> finished{false};
  try {
    platform::shell::JobThread worker([&] {
      try {
        body();
      } catch (const std::exception& e) {
        LogError("The " + what + " stopped: " + e.what());
        // The runs set it on every way out; setting it again after the window has taken it
        // would leave it set for the next job.
        ProgressDone = true;
      }
      finished = true;
      QMetaObject::invokeMethod(
          this, [] {}, Qt::QueuedConnection);  // wakes the wait below
    });
    std::string refused;
    if (!worker.SetPriority(settings_.PriorityIndex, &refused)) LogError(refused);
    worker.Resume();
    progress_->ShowModal();
    while (!finished) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    worker.Join();
  } catch (const std::system_error& e) {
    const std::string text = "Cannot start the " + what + ": " + e.what();
    LogError(text);
    ui_.MessageBox(text, kTitle, TMessageButtons::Ok, TMessageKind::Error);
    return false;
  }
  return true;
}

void TMainFrm::RunRestoreJob(const std::function<void()>& body) {
  RunJob("restore", body);
  FinishRestoreJob();
}

void TMainFrm::RunRestoreExecute() {
  switch (shownPage_) {
    case 0:
      if (SelectedProject()) PC->setCurrentIndex(2);
      return;
    case 2: {
      const TRestorePage& model = RestorePage->Model();
      if (!PrepareRestoreJob(model.BackupSets.Text(), RestorePage->Target(), model.Tree,
                             RestoreJob))
        return;
      RunRestoreJob([this] { RestoreThreadProc(RestoreJob); });
      return;
    }
    case 3: {
      TDiffRestorePage& model = ComparePage->Model();
      if (!BuildCompareChoices(model, ComparePage->Target(), RestoreJob)) return;
      RunRestoreJob([this, &model] { DiffRestoreThreadProc(model, RestoreJob); });
      return;
    }
    default:
      return;
  }
}

void TMainFrm::ExtractBPJfromQVPExecute() {
  // RT_OD
  const auto chosen = ui_.ChooseFile("Open", "", "Quorva Backup File (*.qvp)|*.qvp");
  if (!chosen) return;
  const TProject* project = ::ExtractBPJfromQVPExecute(*chosen, projects_);
  if (!project) return;
  const auto texts = RecoveredProjectRow(*project);
  const int row = PrjLV->rowCount();
  PrjLV->insertRow(row);
  for (int c = 0; c < 4; ++c)
    PrjLV->setItem(row, c, new QTableWidgetItem(Q(texts[static_cast<size_t>(c)])));
}

void TMainFrm::CompareProjectExecute() {
  PC->setCurrentIndex(3);
}

void TMainFrm::AddProjectToCompareExecute() {
  if (shownPage_ != 3) PC->setCurrentIndex(3);
  ComparePage->ChooseCompareSources();
}

void TMainFrm::ResetCompareExecute() {
  ComparePage->ResetCompareExecute();
}

void TMainFrm::ShowConsoleExecute() {
  console_->show();
  console_->raise();
  console_->activateWindow();
}

void TMainFrm::SetSpecialFolderForm(TSpecialfolderfrm* form) {
  specialFolders_ = form;
}

TSpecialfolderfrm& TMainFrm::SpecialFolderForm() {
  if (specialFolders_) return *specialFolders_;
  if (!ownSpecialFolders_) ownSpecialFolders_ = std::make_unique<TSpecialfolderfrm>(this);
  return *ownSpecialFolders_;
}

void TMainFrm::SearchFileExecute() {
  if (shownPage_ != 1) return;
  TSearchFrm search(settings_.PriorityIndex, this);
  if (search.exec() != 1) return;
  const std::vector<std::string> files = search.SelectedFiles();
  if (files.empty()) return;
  SelectionTree->AddFoundFiles(files);
  // Marks changed by the dialog are asked about on leaving the page, as clicked ones are.
  selectionChanged_ = true;
}

void TMainFrm::SearchSpecialFolderExecute() {
  if (shownPage_ != 1) return;
  TSpecialfolderfrm& dialog = SpecialFolderForm();
  for (int i = 0; i < dialog.RowCount(); ++i)
    dialog.SetRowTicked(i, SelectionTree->Model().IsSpecialFolderChecked(dialog.RowPath(i)));
  if (dialog.exec() != 1) return;
  SelectionTree->AddSpecialFolders(dialog.Choices());
  selectionChanged_ = true;
}

void TMainFrm::ToWizardExecute() {
  TWizardFrm wizard(settings_, this);
  wizard.Writers = writerList_ ? writerList_ : FoundWriters;
  wizard.ProjectDialog = projectDialog_;
  wizard.SpecialFolders = &SpecialFolderForm();
  const int result = wizard.exec();
  if (result == TWizardFrm::kRestoreResult) {
    RestoreJob.RestoreArchivePath = wizard.ArchivePath;
    RestoreJob.RestoreTargetFolder = wizard.TargetFolder;
    RestoreJob.RestoreOverwriteIndex = wizard.OverwriteMode;
    wizard.FolderItems.AssignTo(RestoreJob.RestoreFolderItems);
    wizard.FileItems.AssignTo(RestoreJob.RestoreFileItems);
    RestoreJob.RestoreToOtherFolder = wizard.RestoreToOtherFolder;
    RunRestoreJob([this] { RestoreThreadProc(RestoreJob); });
    return;
  }
  if (result != TWizardFrm::kBackupResult) return;
  TProject& project = wizard.Project;
  // A run that stopped on an exception failed.
  TBackupOutcome outcome = TBackupOutcome::Failed;
  if (!RunJob("backup", [&] { outcome = BackupThreadProc(project, settings_); })) return;
  if (ProgressCancelled || outcome == TBackupOutcome::Cancelled) {
    LogError("User break!");
    return;
  }
  if (project.ProjectFile.empty()) KeepWizardProject(project, outcome == TBackupOutcome::Complete);
}

void TMainFrm::KeepWizardProject(TProject& project, bool completed) {
  TAfterBackupWizardFrm choice(this);
  // The error the run showed stands: a failed run is never called completed.
  if (!completed) choice.ShowFailedRun();
  switch (choice.exec()) {
    case 1:
      SaveWizardProjectElsewhere(project);
      return;
    case 11:
      SaveWizardProjectToList(project);
      return;
    default:
      return;  // "Discard"
  }
}

bool TMainFrm::RenameUntilFree(TProject& project,
                               const std::function<bool(const std::string&)>& taken) {
  while (taken(project.Name)) {
    const auto name = ui_.ChangeProjectName(project.Name);
    if (!name) return false;
    project.Name = *name;
  }
  return true;
}

void TMainFrm::SaveWizardProjectElsewhere(TProject& project) {
  TBrowseForFolder browser(this);
  browser.Caption = "Select Folder";
  browser.StatusText = "Please select folder";
  if (!browser.Execute()) return;
  // The name becomes the file's name: it must stay a plain name in the chosen folder.
  if (!RenameUntilFree(project, [](const std::string& name) { return !IsPlainFileName(name); }))
    return;
  const std::string file = AddTrailingBackslash(browser.FolderName) + project.Name + ".bpj";
  if (platform::fs::Exists(file) &&
      ui_.MessageBox("There is a project file with the same name, overwrite?", "Confirm",
                     TMessageButtons::YesNo, TMessageKind::Question) != TModalResult::Yes)
    return;
  project.ProjectFile = file;
  if (!project.SaveToFile(file)) {
    const std::string text = "The project could not be saved to " + file;
    LogError(text);
    ui_.MessageBox(text, kTitle, TMessageButtons::Ok, TMessageKind::Error);
  }
}

void TMainFrm::SaveWizardProjectToList(TProject& project) {
  // As for a new project: a listed name, a name that is no plain file name and a file of
  // that name that is not listed (someone else's) are never taken.
  const auto taken = [this](const std::string& name) {
    if (projects_.FindByName(name)) return true;
    if (!IsPlainFileName(name)) {
      LogError("The project name \"" + name + "\" cannot be a file name.");
      return true;
    }
    if (platform::fs::Exists(projectFolder_ + name + ".bpj")) {
      LogError("The project file " + projectFolder_ + name + ".bpj exists already.");
      return true;
    }
    return false;
  };
  if (!RenameUntilFree(project, taken)) return;
  std::unique_ptr<TProject> listed;
  try {
    listed = projects_.New(project.Name);
  } catch (const EProjectExists&) {
    ui_.MessageBox("Create new project failed! ", kTitle, TMessageButtons::Ok, TMessageKind::Error);
    return;
  }
  const std::string file = projectFolder_ + project.Name + ".bpj";
  project.ProjectFile = file;
  // The file holds the snapshot the backup merged, so the next run goes on from it.
  if (!project.SaveToFile(file)) {
    const std::string text = "The project could not be saved to " + file;
    LogError(text);
    ui_.MessageBox(text, kTitle, TMessageButtons::Ok, TMessageKind::Error);
    project.ProjectFile.clear();
    return;
  }
  project.AssignTo(*listed);
  project.Snapshot.CopyTo(listed->Snapshot);
  listed->ProjectFile = file;
  const TProject& added = *listed;
  projects_.Add(std::move(listed));
  AddProjectRow(added);
}

void TMainFrm::HelpExecute() {
  const std::string help = platform::shell::ProgramFolder() + "qb.chm";
  const auto posix = platform::fs::ToPosix(help);
  if (!posix || !platform::fs::Exists(help) ||
      !QDesktopServices::openUrl(QUrl::fromLocalFile(Q(*posix))))
    ui_.MessageBox("The help file " + help + " cannot be opened.", kTitle, TMessageButtons::Ok,
                   TMessageKind::Warning);
}

void TMainFrm::WebsiteExecute() {
  OpenUrlInBrowser(TAboutFrm::kMakerUrl);
}

void TMainFrm::AboutExecute() {
  TAboutFrm about(this);
  about.exec();
}

void TMainFrm::closeEvent(QCloseEvent* event) {
  RestorePage->Reset();
  ComparePage->ResetCompareExecute();
  SchedulePage->FreeSchedules();
  QMainWindow::closeEvent(event);
  // Closing the main window ends the program, whatever other window is still open.
  console_->close();
  QCoreApplication::quit();
}
