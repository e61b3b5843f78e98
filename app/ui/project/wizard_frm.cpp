#include "app/ui/project/wizard_frm.h"

#include <QButtonGroup>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMimeDatabase>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "app/engine/path_routines.h"
#include "app/engine/restore/backup_sets.h"
#include "app/engine/restore/restore_selection.h"
#include "app/engine/settings/global_setting.h"
#include "app/engine/user_interface.h"
#include "app/ui/project/ftp_folder_frm.h"
#include "app/ui/project/project_proxy.h"
#include "app/ui/project/search_frm.h"
#include "app/ui/project/special_folder_frm.h"
#include "app/ui/run/qt_user_interface.h"
#include "app/ui/widgets/browse_folder_into_edit.h"
#include "app/ui/widgets/browse_for_folder.h"
#include "app/ui/widgets/column_widths.h"
#include "app/ui/widgets/named_widgets.h"
#include "app/ui/widgets/port_text.h"
#include "app/ui/widgets/restore_mark_events.h"
#include "app/ui/widgets/restore_tree_items.h"
#include "platform/fs/fs.h"
#include "platform/shell/user_folders.h"

namespace {

constexpr int kFolderRole = Qt::UserRole + 2;

const char* const kCaptions[TWizardFrm::kPageCount] = {
    "Quorva Backup Wizard",
    "Step 1: choose backup name and location.",
    "Step 2: choose folders and files.",
    "Step 3: Advanced setting",
    "Step 1: Choose backup sets file.",
    "Step 2: choose folders and files.",
    "Step 3: Start to restore.",
};

const char* const kOverwriteTexts[] = {"Confirm", "Always overwrite", "Always skip"};

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string S(const QString& s) {
  return s.toUtf8().toStdString();
}

void Message(std::string_view text) {
  UserInterface()->MessageBox(text, "Quorva Backup", TMessageButtons::Ok,
                              TMessageKind::Information);
}

QLabel* MakeLabel(QWidget* parent, const QString& text, const char* name = nullptr) {
  auto* label = new QLabel(text, parent);
  if (name) label->setObjectName(name);
  label->setWordWrap(true);
  return label;
}

QLabel* MakeHeading(QWidget* parent, const QString& text) {
  QLabel* label = MakeLabel(parent, text);
  QFont font = label->font();
  font.setBold(true);
  font.setPointSizeF(font.pointSizeF() * 1.3);
  label->setFont(font);
  return label;
}

QString CompressionText(const TProject& p) {
  if (!p.Compress) return "No compression";
  static const char* const kLevels[] = {"Normal", "Maximum compression rate", "Fast speed",
                                        "Super fast speed"};
  return p.CompressionLevel >= 0 && p.CompressionLevel < 4 ? kLevels[p.CompressionLevel] : "";
}

QString FolderTypeName() {
  static const QMimeDatabase mime;
  return mime.mimeTypeForName("inode/directory").comment();
}

}  // namespace

std::string DefaultWizardArchiveFile() {
  const std::string home = platform::shell::HomeFolder();
  return AddTrailingBackslash(platform::fs::FromPosix(home.empty() ? "/" : home)) + "Backup.qvp";
}

TWizardFrm::TWizardFrm(TGlobalSetting& settings, QWidget* parent)
    : QDialog(parent), settings_(settings), icons_(std::make_unique<QFileIconProvider>()) {
  setObjectName("WizardFrm");
  // Not saved yet: the main window offers to keep it after the backup.
  Project.ProjectFile.clear();
  Project.DestinationFile = DefaultWizardArchiveFile();

  Pages = new QStackedWidget(this);
  Pages->setObjectName("Pages");
  Pages->addWidget(CreatePage0());
  Pages->addWidget(CreatePage1());
  Pages->addWidget(CreatePage2());
  Pages->addWidget(CreatePage3());
  Pages->addWidget(CreatePage4());
  Pages->addWidget(CreatePage5());
  Pages->addWidget(CreatePage6());

  BackBtn = MakeNoDefaultButton(this, "BackBtn", "< Back");
  NextBtn = MakeNoDefaultButton(this, "NextBtn", "Next >");
  NextBtn->setDefault(true);
  CancelBtn = MakeNoDefaultButton(this, "CancelBtn", "Cancel");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(BackBtn);
  buttons->addWidget(NextBtn);
  buttons->addSpacing(12);
  buttons->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Pages, 1);
  layout->addLayout(buttons);
  // Room for the archive list's columns beside the archive tree.
  resize(760, 520);

  connect(BackBtn, &QPushButton::clicked, this, &TWizardFrm::BackBtnClick);
  connect(NextBtn, &QPushButton::clicked, this, &TWizardFrm::NextBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &TWizardFrm::CancelBtnClick);
  ShowPage(0);
}

TWizardFrm::~TWizardFrm() = default;

QWidget* TWizardFrm::CreatePage0() {
  auto* page = new QWidget;
  page->setObjectName("Page0");
  WelcomeLabel = MakeHeading(page, "Welcome to Quorva Backup Utility Wizard");
  WelcomeLabel->setObjectName("WelcomeLabel");
  BackupWizardBtn = MakeNoDefaultButton(page, "BackupWizardBtn", "Backup Wizard ");
  RestoreWizardBtn = MakeNoDefaultButton(page, "RestoreWizardBtn", "Restore Wizard");
  auto* grid = new QGridLayout;
  grid->addWidget(BackupWizardBtn, 0, 0);
  grid->addWidget(MakeLabel(page, "Back up folders and files into a backup file."), 0, 1);
  grid->addWidget(RestoreWizardBtn, 1, 0);
  grid->addWidget(MakeLabel(page, "Restore folders and files from a backup file."), 1, 1);
  grid->setColumnStretch(1, 1);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(WelcomeLabel);
  layout->addSpacing(24);
  layout->addLayout(grid);
  layout->addStretch();
  connect(BackupWizardBtn, &QPushButton::clicked, this, &TWizardFrm::BackupWizardBtnClick);
  connect(RestoreWizardBtn, &QPushButton::clicked, this, &TWizardFrm::RestoreWizardBtnClick);
  return page;
}

QWidget* TWizardFrm::CreatePage1() {
  auto* page = new QWidget;
  page->setObjectName("Page1");
  NameEdit = MakeEdit(page, "NameEdit");
  NameEdit->setText("Backup");
  RadioButton1 = MakeRadio(page, "RadioButton1", "to Local / LAN");
  RadioButton1->setChecked(true);
  RadioButton2 = MakeRadio(page, "RadioButton2", "to remote FTP server");
  RadioButton3 = MakeRadio(page, "RadioButton3", "to CD/DVD");

  GB1 = new QGroupBox("select a file name on the local drive or LAN", page);
  GB1->setObjectName("GB1");
  Edit1 = MakeEdit(GB1, "Edit1");
  Edit1->setText(Q(DefaultWizardArchiveFile()));
  Edit1Browse = MakeNoDefaultButton(GB1, "Edit1Browse", "...");
  auto* gb1 = new QHBoxLayout(GB1);
  gb1->addWidget(new QLabel("Save to", GB1));
  gb1->addWidget(Edit1, 1);
  gb1->addWidget(Edit1Browse);

  GB2 = new QGroupBox("select FTP server and provide an account to access", page);
  GB2->setObjectName("GB2");
  Edit2 = MakeEdit(GB2, "Edit2");
  Edit3 = MakeEdit(GB2, "Edit3");
  Edit3->setText("21");
  Edit4 = MakeEdit(GB2, "Edit4");
  Edit5 = MakeEdit(GB2, "Edit5");
  Edit5->setEchoMode(QLineEdit::Password);
  Edit6 = MakeEdit(GB2, "Edit6");
  FtpFolderBtn = MakeNoDefaultButton(GB2, "FtpFolderBtn", "...");
  CheckBox1 = new QCheckBox("Passive mode", GB2);
  CheckBox1->setObjectName("CheckBox1");
  CheckBox1->setChecked(true);
  ProxyBtn = MakeNoDefaultButton(GB2, "ProxyBtn", "proxy");
  auto* gb2 = new QFormLayout(GB2);
  gb2->addRow("Host", Edit2);
  gb2->addRow("Port", Edit3);
  gb2->addRow("User", Edit4);
  gb2->addRow("Password", Edit5);
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(Edit6, 1);
  folderRow->addWidget(FtpFolderBtn);
  gb2->addRow("Folder", folderRow);
  auto* ftpRow = new QHBoxLayout;
  ftpRow->addWidget(CheckBox1);
  ftpRow->addStretch();
  ftpRow->addWidget(ProxyBtn);
  gb2->addRow(ftpRow);

  GB3 = new QGroupBox("Select CD/DVD device. speed, etc", page);
  GB3->setObjectName("GB3");
  ComboBox1 = new QComboBox(GB3);
  ComboBox1->setObjectName("ComboBox1");
  ComboBox2 = new QComboBox(GB3);
  ComboBox2->setObjectName("ComboBox2");
  ComboBox2->addItems({"AutoDetect", "1x", "2x", "2.2x", "3x", "4x", "8x", "16x"});
  CheckBox2 = new QCheckBox("Erase disc before recording", GB3);
  CheckBox2->setObjectName("CheckBox2");
  auto* gb3 = new QFormLayout(GB3);
  gb3->addRow("Device", ComboBox1);
  gb3->addRow("Speed", ComboBox2);
  gb3->addRow(CheckBox2);
  gb3->addRow(MakeLabel(GB3,
                        "It's highly recommanded that you enable auto-splitting feature to fit "
                        "your CD/DVD disc. Please click 'Advacned setting' in last step"));

  auto* choices = new QHBoxLayout;
  choices->addWidget(RadioButton1);
  choices->addWidget(RadioButton2);
  choices->addWidget(RadioButton3);
  choices->addStretch();
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(MakeLabel(page, "Type a name for this backup"));
  layout->addWidget(NameEdit);
  layout->addWidget(MakeLabel(page, "Select destination for this project."));
  layout->addLayout(choices);
  layout->addWidget(GB1);
  layout->addWidget(GB2);
  layout->addWidget(GB3);
  layout->addStretch();

  for (QRadioButton* b : {RadioButton1, RadioButton2, RadioButton3})
    connect(b, &QRadioButton::toggled, this, &TWizardFrm::ApplyDestinationChoice);
  connect(Edit1Browse, &QPushButton::clicked, this, &TWizardFrm::Edit1BrowseClick);
  connect(FtpFolderBtn, &QPushButton::clicked, this, &TWizardFrm::FtpFolderBtnClick);
  connect(ProxyBtn, &QPushButton::clicked, this, &TWizardFrm::ProxyBtnClick);
  ApplyDestinationChoice();
  return page;
}

QWidget* TWizardFrm::CreatePage2() {
  auto* page = new QWidget;
  page->setObjectName("Page2");
  SourcesLV = new QTreeWidget(page);
  SourcesLV->setObjectName("SourcesLV");
  SourcesLV->setRootIsDecorated(false);
  SourcesLV->setSelectionMode(QAbstractItemView::ExtendedSelection);
  SourcesLV->setHeaderLabels({"Name", "Description"});
  FitColumns(SourcesLV, {250, 100}, 0);
  AddBtn = MakeNoDefaultButton(page, "AddBtn", "Add ...");
  RemoveBtn = MakeNoDefaultButton(page, "RemoveBtn", "Remove selected");
  AddMenu = new QMenu(AddBtn);
  AddMenu->setObjectName("AddMenu");
  connect(AddMenu->addAction("Add Files..."), &QAction::triggered, this,
          &TWizardFrm::AddFilesClick);
  connect(AddMenu->addAction("Add Folders..."), &QAction::triggered, this,
          &TWizardFrm::AddFoldersClick);
  connect(AddMenu->addAction("Search Files..."), &QAction::triggered, this,
          &TWizardFrm::SearchFilesClick);
  connect(AddMenu->addAction("Add Special Folders..."), &QAction::triggered, this,
          &TWizardFrm::AddSpecialFoldersClick);
  // The menu drops down below the button.
  connect(AddBtn, &QPushButton::clicked, this,
          [this] { AddMenu->exec(AddBtn->mapToGlobal(QPoint(0, AddBtn->height()))); });
  connect(RemoveBtn, &QPushButton::clicked, this, &TWizardFrm::RemoveSelectedClick);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(AddBtn);
  buttons->addWidget(RemoveBtn);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(MakeHeading(page, "Add folders and files to backup file list"));
  layout->addWidget(SourcesLV, 1);
  layout->addLayout(buttons);
  return page;
}

QWidget* TWizardFrm::CreatePage3() {
  auto* page = new QWidget;
  page->setObjectName("Page3");
  SummaryName = MakeLabel(page, "", "SummaryName");
  SummaryDestination = MakeLabel(page, "", "SummaryDestination");
  SummaryContent = MakeLabel(page, "", "SummaryContent");
  SummaryMode = MakeLabel(page, "", "SummaryMode");
  SummaryCompression = MakeLabel(page, "", "SummaryCompression");
  AdvancedBtn = MakeNoDefaultButton(page, "AdvancedBtn", "Advanced setting");
  auto* form = new QFormLayout;
  form->addRow("Name:", SummaryName);
  form->addRow("Destination:", SummaryDestination);
  form->addRow("Content:", SummaryContent);
  form->addRow("Backup mode:", SummaryMode);
  form->addRow("Compression:", SummaryCompression);
  auto* advanced = new QHBoxLayout;
  advanced->addStretch();
  advanced->addWidget(AdvancedBtn);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(MakeHeading(page, "Complete the Backup Wizard"));
  layout->addLayout(form);
  layout->addLayout(advanced);
  layout->addStretch();
  layout->addWidget(
      MakeLabel(page, "To close this wizard and proceed with the backup, click Finish"));
  connect(AdvancedBtn, &QPushButton::clicked, this, &TWizardFrm::AdvancedBtnClick);
  return page;
}

QWidget* TWizardFrm::CreatePage4() {
  auto* page = new QWidget;
  page->setObjectName("Page4");
  ArchiveEdit = MakeEdit(page, "ArchiveEdit");
  ArchiveBrowse = MakeNoDefaultButton(page, "ArchiveBrowse", "Browse");
  RTTV = MakeRestoreTree("RTTV");
  RLV = MakeRestoreList("RLV", {"Name", "Modified time", "Local modified", "Version"});
  FitColumns(RLV, {130, 70, 80, 60});
  for (QTreeWidget* view : {RTTV, RLV}) {
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
  }

  auto* pathRow = new QHBoxLayout;
  pathRow->addWidget(ArchiveEdit, 1);
  pathRow->addWidget(ArchiveBrowse);
  auto* split = new QSplitter(page);
  split->addWidget(RTTV);
  split->addWidget(RLV);
  split->setStretchFactor(1, 2);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(MakeLabel(page, "Choose a backup file to restore "));
  layout->addLayout(pathRow);
  layout->addWidget(MakeLabel(page,
                              "Double click an item , then select the check box to any drive, "
                              "folder , or file that you want to restore"));
  layout->addWidget(split, 1);

  connect(ArchiveBrowse, &QPushButton::clicked, this, &TWizardFrm::ArchiveBrowseClick);
  connect(RTTV, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem*) { RTTVChange(current); });
  return page;
}

QWidget* TWizardFrm::CreatePage5() {
  auto* page = new QWidget;
  page->setObjectName("Page5");
  RadioButton4 = MakeRadio(page, "RadioButton4", "Restore to original folder");
  RadioButton5 = MakeRadio(page, "RadioButton5", "Restore to other folder");
  TargetEdit = MakeEdit(page, "TargetEdit");
  TargetBrowse = MakeNoDefaultButton(page, "TargetBrowse", "Browse");
  RadioButton6 = MakeRadio(page, "RadioButton6", kOverwriteTexts[0]);
  RadioButton7 = MakeRadio(page, "RadioButton7", kOverwriteTexts[1]);
  RadioButton8 = MakeRadio(page, "RadioButton8", kOverwriteTexts[2]);
  // Two choices on one page: each group of buttons excludes only its own.
  auto* where = new QButtonGroup(page);
  where->addButton(RadioButton4);
  where->addButton(RadioButton5);
  auto* overwrite = new QButtonGroup(page);
  overwrite->addButton(RadioButton6, 0);
  overwrite->addButton(RadioButton7, 1);
  overwrite->addButton(RadioButton8, 2);
  RadioButton4->setChecked(true);
  RadioButton6->setChecked(true);

  auto* targetRow = new QHBoxLayout;
  targetRow->addSpacing(20);
  targetRow->addWidget(TargetEdit, 1);
  targetRow->addWidget(TargetBrowse);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(MakeHeading(page, "Choose location to restore to"));
  layout->addWidget(RadioButton4);
  layout->addWidget(RadioButton5);
  layout->addLayout(targetRow);
  layout->addSpacing(16);
  layout->addWidget(MakeLabel(
      page, "Choose overwrite mode when file with the same name exists in destination folder"));
  layout->addWidget(RadioButton6);
  layout->addWidget(RadioButton7);
  layout->addWidget(RadioButton8);
  layout->addStretch();

  for (QRadioButton* b : {RadioButton4, RadioButton5})
    connect(b, &QRadioButton::toggled, this, &TWizardFrm::ApplyRestoreTargetChoice);
  connect(TargetBrowse, &QPushButton::clicked, this, &TWizardFrm::TargetBrowseClick);
  ApplyRestoreTargetChoice();
  return page;
}

QWidget* TWizardFrm::CreatePage6() {
  auto* page = new QWidget;
  page->setObjectName("Page6");
  SummaryArchive = MakeLabel(page, "", "SummaryArchive");
  SummaryTarget = MakeLabel(page, "", "SummaryTarget");
  SummaryRestoreContent = MakeLabel(page, "", "SummaryRestoreContent");
  SummaryOverwrite = MakeLabel(page, "", "SummaryOverwrite");
  auto* form = new QFormLayout;
  form->addRow("Archive file:", SummaryArchive);
  form->addRow("Restore to:", SummaryTarget);
  form->addRow("Content:", SummaryRestoreContent);
  form->addRow("Overwrite mode:", SummaryOverwrite);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(MakeHeading(page, "Complete the Restore Wizard"));
  layout->addLayout(form);
  layout->addStretch();
  layout->addWidget(
      MakeLabel(page, "To close this wizard and proceed with the backup, click Finish"));
  return page;
}

// ---- navigation -------------------------------------------------------------------------

void TWizardFrm::ShowPage(int index) {
  if (index < 0 || index >= kPageCount) return;
  pageIndex_ = index;
  Pages->setCurrentIndex(index);
  setWindowTitle(kCaptions[index]);
  if (index == 1) FillPage1();
  if (index == 3) FillPage3();
  if (index == 6) FillPage6();
  UpdateButtons();
}

void TWizardFrm::UpdateButtons() {
  const bool last = pageIndex_ == 3 || pageIndex_ == 6;
  NextBtn->setText(last ? "Finish" : "Next >");
  BackBtn->setEnabled(pageIndex_ != 0);
  NextBtn->setEnabled(pageIndex_ != 0);
}

void TWizardFrm::BackupWizardBtnClick() {
  ShowPage(1);
}

void TWizardFrm::RestoreWizardBtnClick() {
  ShowPage(4);
}

void TWizardFrm::NextBtnClick() {
  if (pageIndex_ == 0 || !CheckPage()) return;
  if (pageIndex_ == 3 || pageIndex_ == 6) {
    done(pageIndex_ + 1);
    return;
  }
  ShowPage(pageIndex_ + 1);
}

void TWizardFrm::BackBtnClick() {
  if (pageIndex_ == 0) return;
  ShowPage(pageIndex_ == 4 ? 0 : pageIndex_ - 1);
}

void TWizardFrm::CancelBtnClick() {
  done(2);
}

bool TWizardFrm::CheckPage() {
  switch (pageIndex_) {
    case 1:
      return CheckPage1();
    case 2:
      return CheckPage2();
    case 4:
      return CheckPage4();
    case 5:
      return CheckPage5();
    default:
      return true;
  }
}

// ---- page 1: name and destination --------------------------------------------------------

std::vector<TWriterEntry> TWizardFrm::CurrentWriters() const {
  return Writers ? Writers() : std::vector<TWriterEntry>{};
}

void TWizardFrm::FillDevices() {
  // Read now: the device search may still have been running when the wizard was made.
  writers_ = CurrentWriters();
  const TProject& p = Project;
  int device = writers_.empty() ? -1 : 0;
  bool missing = false;
  if (p.DestinationType == 2) {
    // Only a writer that was found is the project's; another one is never taken silently.
    device = -1;
    for (size_t i = 0; i < writers_.size(); ++i) {
      const TWriterEntry& w = writers_[i];
      if (w.Port == p.WriterPort && w.Bus == p.WriterBus && w.TargetID == p.WriterTargetID &&
          w.LUN == p.WriterLUN) {
        device = static_cast<int>(i);
        break;
      }
    }
    missing = device < 0;
  }
  ComboBox1->clear();
  for (const TWriterEntry& w : writers_) ComboBox1->addItem(Q(w.Name));
  ComboBox1->setPlaceholderText(writers_.empty() ? "No CD/DVD writer found"
                                : missing        ? "The project's writer was not found"
                                                 : "");
  ComboBox1->setCurrentIndex(device);
}

void TWizardFrm::FillPage1() {
  const TProject& p = Project;
  const bool local = p.DestinationType == 0;
  const bool ftp = p.DestinationType == 1;
  const bool disc = p.DestinationType == 2;
  RadioButton1->setChecked(local || (!ftp && !disc));
  RadioButton2->setChecked(ftp);
  RadioButton3->setChecked(disc);
  Edit1->setText(local ? Q(p.DestinationFile) : QString());
  Edit2->setText(ftp ? Q(p.FtpHost) : QString());
  Edit3->setText(ftp ? QString::number(p.FtpPort) : QStringLiteral("21"));
  Edit4->setText(ftp ? Q(p.FtpUser) : QString());
  Edit5->setText(ftp ? Q(p.FtpPassword) : QString());
  Edit6->setText(ftp ? Q(p.DestinationFile) : QString());
  CheckBox1->setChecked(ftp ? p.FtpPassive : true);
  const int speed = disc ? p.SpeedIndex : 0;
  ComboBox2->setCurrentIndex(speed >= 0 && speed < ComboBox2->count() ? speed : 0);
  CheckBox2->setChecked(disc && p.EraseDisc);
  FillDevices();
  ApplyDestinationChoice();
}

void TWizardFrm::ApplyDestinationChoice() {
  GB1->setVisible(RadioButton1->isChecked());
  GB2->setVisible(RadioButton2->isChecked());
  GB3->setVisible(RadioButton3->isChecked());
}

bool TWizardFrm::CheckPage1() {
  if (NameEdit->text().isEmpty()) {
    Message("Please type a backup name");
    return false;
  }
  if (RadioButton1->isChecked() && Edit1->text().isEmpty()) {
    Message("Please choose a file name");
    return false;
  }
  std::int32_t port = Project.FtpPort;
  if (RadioButton2->isChecked() && !ParsePort(Edit3->text(), port)) {
    ShowNotAValidInteger(Edit3->text());
    return false;
  }
  const int device = ComboBox1->currentIndex();
  if (RadioButton3->isChecked() && (device < 0 || device >= static_cast<int>(writers_.size()))) {
    Message("CD/DVD writer needed");
    return false;
  }
  TProject& p = Project;
  p.Name = S(NameEdit->text());
  p.DestinationType = RadioButton2->isChecked() ? 1 : RadioButton3->isChecked() ? 2 : 0;
  if (p.DestinationType == 0) {
    p.DestinationFile = S(Edit1->text());
  } else if (p.DestinationType == 1) {
    p.FtpHost = S(Edit2->text());
    p.FtpPort = port;
    p.FtpUser = S(Edit4->text());
    p.FtpPassword = S(Edit5->text());
    p.DestinationFile = S(Edit6->text());
    p.FtpPassive = CheckBox1->isChecked();
  } else {
    p.SpeedIndex = ComboBox2->currentIndex();
    p.EraseDisc = CheckBox2->isChecked();
    const TWriterEntry& w = writers_[static_cast<size_t>(device)];
    p.WriterPort = w.Port;
    p.WriterBus = w.Bus;
    p.WriterTargetID = w.TargetID;
    p.WriterLUN = w.LUN;
  }
  return true;
}

void TWizardFrm::Edit1BrowseClick() {
  auto* ui = dynamic_cast<TQtUserInterface*>(UserInterface().get());
  if (!ui) return;
  const auto file = ui->ChooseSaveFile("Save to", "Quorva Backup File(*.qvp)|*.qvp", "qvp");
  if (file) Edit1->setText(Q(*file));
}

void TWizardFrm::FtpFolderBtnClick() {
  std::int32_t port = 0;
  if (!ParsePort(Edit3->text(), port)) return ShowNotAValidInteger(Edit3->text());
  TFTPFolderFrm chooser(settings_, this);
  chooser.Host = S(Edit2->text());
  chooser.Port = port;
  chooser.User = S(Edit4->text());
  chooser.Password = S(Edit5->text());
  chooser.Passive = CheckBox1->isChecked();
  UseProjectProxy(chooser, Project);
  if (chooser.exec() == 1) Edit6->setText(chooser.CurFolder->text());
}

void TWizardFrm::ProxyBtnClick() {
  EditProjectProxy(Project, this);
}

// ---- page 2: sources ----------------------------------------------------------------------

void TWizardFrm::AddSourceRow(const std::string& path, bool folder) {
  auto* row = new QTreeWidgetItem(SourcesLV);  // owned by the list
  row->setText(0, Q(path));
  row->setData(0, kFolderRole, folder);
  if (folder) {
    row->setIcon(0, icons_->icon(QFileIconProvider::Folder));
    row->setText(1, FolderTypeName());
  } else {
    const auto posix = platform::fs::ToPosix(path);
    row->setIcon(
        0, posix ? icons_->icon(QFileInfo(Q(*posix))) : icons_->icon(QFileIconProvider::File));
    row->setText(1, ShellTypeName(Q(platform::fs::FileNamePart(path))));
  }
}

std::vector<std::pair<std::string, bool>> TWizardFrm::SourceRows() const {
  std::vector<std::pair<std::string, bool>> rows;
  for (int i = 0; i < SourcesLV->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* row = SourcesLV->topLevelItem(i);
    rows.emplace_back(S(row->text(0)), row->data(0, kFolderRole).toBool());
  }
  return rows;
}

void TWizardFrm::AddFilesClick() {
  auto* ui = dynamic_cast<TQtUserInterface*>(UserInterface().get());
  if (!ui) return;
  const auto file = ui->ChooseSourceFile("Open", "All files (*.*)|*.*");
  if (file) AddSourceRow(*file, false);
}

void TWizardFrm::AddFoldersClick() {
  TBrowseForFolder browser(this);
  browser.Caption = "Select Folder";
  browser.StatusText = "Please select folder";
  if (browser.Execute()) AddSourceRow(AddTrailingBackslash(browser.FolderName), true);
}

void TWizardFrm::SearchFilesClick() {
  TSearchFrm search(settings_.PriorityIndex, this);
  if (search.exec() != 1) return;
  for (const std::string& file : search.SelectedFiles()) AddSourceRow(file, false);
}

TSpecialfolderfrm& TWizardFrm::SpecialFolderForm() {
  if (SpecialFolders) return *SpecialFolders;
  if (!ownSpecialFolders_) ownSpecialFolders_ = std::make_unique<TSpecialfolderfrm>(this);
  return *ownSpecialFolders_;
}

void TWizardFrm::AddSpecialFoldersClick() {
  TSpecialfolderfrm& dialog = SpecialFolderForm();
  auto rowOf = [this](const std::string& path) {
    for (int i = 0; i < SourcesLV->topLevelItemCount(); ++i)
      if (S(SourcesLV->topLevelItem(i)->text(0)) == path) return i;
    return -1;
  };
  for (int i = 0; i < dialog.RowCount(); ++i) dialog.SetRowTicked(i, rowOf(dialog.RowPath(i)) >= 0);
  if (dialog.exec() != 1) return;
  for (const TSpecialFolderChoice& choice : dialog.Choices()) {
    if (choice.Ticked) {
      if (rowOf(choice.Path) < 0) AddSourceRow(choice.Path, true);
    } else {
      for (int row = rowOf(choice.Path); row >= 0; row = rowOf(choice.Path))
        delete SourcesLV->takeTopLevelItem(row);
    }
  }
}

void TWizardFrm::RemoveSelectedClick() {
  qDeleteAll(SourcesLV->selectedItems());
}

bool TWizardFrm::CheckPage2() {
  if (SourcesLV->topLevelItemCount() == 0) {
    Message("Please choose some folders and files");
    return false;
  }
  Project.Files.Clear();
  Project.Folders.Clear();
  for (const auto& [path, folder] : SourceRows())
    (folder ? Project.Folders : Project.Files).Add(path, 0);
  return true;
}

// ---- page 3: summary ----------------------------------------------------------------------

void TWizardFrm::FillPage3() {
  SummaryName->setText(Q(Project.Name));
  SummaryDestination->setText(Q(Project.DescribeDestination()));
  SummaryContent->setText(Q(Project.DescribeContent()));
  SummaryMode->setText(Project.BackupMode == 0 ? "Full backup" : "Diff backup");
  SummaryCompression->setText(CompressionText(Project));
}

bool TWizardFrm::RunProjectDialog(TProject& project) {
  if (ProjectDialog) return ProjectDialog(project);
  TProjectConfigFrm dialog(settings_, CurrentWriters(), this);
  project.AssignTo(dialog.Project);
  dialog.ProjectToForm();
  if (dialog.exec() != 1) return false;
  dialog.Project.AssignTo(project);
  return true;
}

void TWizardFrm::AdvancedBtnClick() {
  TProject edited;
  Project.AssignTo(edited);
  if (!RunProjectDialog(edited)) return;
  edited.AssignTo(Project);  // the project file stays empty
  FillPage3();
  NameEdit->setText(Q(Project.Name));
  FillPage1();
}

// ---- page 4: the archive's files -----------------------------------------------------------

void TWizardFrm::ArchiveBrowseClick() {
  const auto chosen = UserInterface()->ChooseFile("Open", "", "Quorva Backup file (*.qvp)|*.qvp");
  if (chosen) LoadArchive(*chosen);
}

bool TWizardFrm::LoadArchive(const std::string& path) {
  const std::unique_ptr<TProject> stored = ReadProjectFromArchive(path);
  if (!stored) {
    Message("Invalid backup sets file.");
    return false;
  }
  // The tree and the marks are those of this archive alone: a restore reads only the archive
  // it shows.
  tree_.Clear();
  tree_.Selection.Clear();
  for (const auto& entry : stored->Snapshot.Files()) tree_.BuildRestoreTree(*entry);
  shownArchive_ = path;
  ArchiveEdit->setText(Q(path));
  RefreshTree();
  return true;
}

QTreeWidgetItem* TWizardFrm::ItemOf(const TRestoreNode* node) const {
  return RestoreItemOf(items_, node);
}

void TWizardFrm::RefreshTree() {
  const QSignalBlocker block(RTTV);
  QIcon folder = style()->standardIcon(QStyle::SP_DirIcon);
  folder.addPixmap(style()->standardIcon(QStyle::SP_DirOpenIcon).pixmap(16), QIcon::Selected);
  FillRestoreTree(RTTV, tree_, folder, items_);
  if (QTreeWidgetItem* selected = ItemOf(tree_.Selected())) RTTV->setCurrentItem(selected);
  RefreshMarks();
  RefreshList();
}

void TWizardFrm::RefreshList() {
  FillRestoreList(RLV, tree_.Rows(), style()->standardIcon(QStyle::SP_DirIcon),
                  style()->standardIcon(QStyle::SP_FileIcon));
}

void TWizardFrm::RefreshMarks() {
  ShowRestoreMarks(items_, RLV, tree_.Rows());
}

TRestoreNode* TWizardFrm::NodeOf(const QTreeWidgetItem* item) const {
  return RestoreNodeOf(item);
}

void TWizardFrm::RTTVChange(QTreeWidgetItem* current) {
  tree_.SelectNode(NodeOf(current));
  RefreshList();
}

void TWizardFrm::RTTVClick(QTreeWidgetItem* item) {
  TRestoreNode* node = NodeOf(item);
  if (!node) return;
  tree_.NodeClick(node);
  RefreshMarks();
}

void TWizardFrm::RLVClick(int row) {
  if (row < 0 || row >= static_cast<int>(tree_.Rows().size())) return;
  tree_.RowClick(row);
  RefreshMarks();
}

bool TWizardFrm::eventFilter(QObject* watched, QEvent* event) {
  if (TakeRestoreMarkEvent(
          watched, event, RTTV, RLV, [this](QTreeWidgetItem* item) { RTTVClick(item); },
          [this](int row) { RLVClick(row); }))
    return true;
  return QDialog::eventFilter(watched, event);
}

bool TWizardFrm::CheckPage4() {
  const std::string path = S(ArchiveEdit->text());
  if (path.empty() || !platform::fs::IsRegularFile(path)) {
    Message("Please choose valid backup sets file.");
    return false;
  }
  // A path typed after browsing is read as a browsed one: the choice is made in its tree.
  if (path != shownArchive_ && !LoadArchive(path)) return false;
  ArchivePath = path;
  FileItems.Clear();
  FolderItems.Clear();
  for (const auto& top : tree_.Nodes()) {
    if (top->State == kStateChecked && top->Data)
      FolderItems.Add(AddTrailingBackslash(top->Path()), 0);
    CollectCheckedRestoreFolders(top.get(), FolderItems);
  }
  CollectCheckedRestoreFiles(tree_.Selection, FolderItems, FileItems);
  if (FolderItems.Count() == 0 && FileItems.Count() == 0) {
    FileItems.Clear();
    FolderItems.Clear();
    Message("Please choose some folders and files");
    return false;
  }
  return true;
}

// ---- page 5: where to and how ---------------------------------------------------------------

void TWizardFrm::ApplyRestoreTargetChoice() {
  const bool other = RadioButton5->isChecked();
  TargetEdit->setEnabled(other);
  TargetBrowse->setEnabled(other);
}

void TWizardFrm::TargetBrowseClick() {
  BrowseFolderIntoEdit(this, TargetEdit);
}

bool TWizardFrm::CheckPage5() {
  TRestoreTargetChoice target;
  target.OtherFolder = RadioButton5->isChecked();
  target.Folder = S(TargetEdit->text());
  target.OverwriteIndex = RadioButton7->isChecked() ? 1 : RadioButton8->isChecked() ? 2 : 0;
  if (!CheckRestoreTarget(target)) return false;
  TargetFolder = target.Folder;
  RestoreToOtherFolder = target.OtherFolder ? 1 : 0;
  OverwriteMode = target.OverwriteIndex;
  return true;
}

// ---- page 6: summary -------------------------------------------------------------------------

void TWizardFrm::FillPage6() {
  SummaryArchive->setText(Q(ArchivePath));
  SummaryTarget->setText(RestoreToOtherFolder ? Q(TargetFolder)
                                              : QStringLiteral("Original folder"));
  SummaryRestoreContent->setText(QString::number(FolderItems.Count()) + " Folders, " +
                                 QString::number(FileItems.Count()) + " Files");
  SummaryOverwrite->setText(OverwriteMode >= 0 && OverwriteMode < 3 ? kOverwriteTexts[OverwriteMode]
                                                                    : "");
}
