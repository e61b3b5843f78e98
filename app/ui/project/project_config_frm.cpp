#include "app/ui/project/project_config_frm.h"

#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QMimeDatabase>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "app/engine/log.h"
#include "app/engine/progress.h"
#include "app/engine/settings/global_setting.h"
#include "app/engine/user_interface.h"
#include "app/ui/project/extension_frm.h"
#include "app/ui/project/ftp_folder_frm.h"
#include "app/ui/project/project_proxy.h"
#include "app/ui/run/pump_messages.h"
#include "app/ui/run/qt_user_interface.h"
#include "app/ui/settings/global_setting_frm.h"
#include "app/ui/widgets/browse_for_folder.h"
#include "app/ui/widgets/column_widths.h"
#include "app/ui/widgets/fit_captions.h"
#include "app/ui/widgets/named_widgets.h"
#include "app/ui/widgets/port_text.h"
#include "app/ui/widgets/project_mail_account.h"
#include "platform/fs/fs.h"

namespace {

constexpr const char* kTitle = "Quorva Backup";

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string S(const QString& s) {
  return s.toUtf8().toStdString();
}

TModalResult Ask(const std::string& text, const std::string& title, TMessageButtons buttons,
                 TMessageKind kind) {
  return UserInterface()->MessageBox(text, title, buttons, kind);
}

TQtUserInterface* QtUi() {
  return dynamic_cast<TQtUserInterface*>(UserInterface().get());
}

void SetIndex(QComboBox* combo, int index) {
  combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

}  // namespace

QString ShellTypeName(const QString& fileName) {
  static const QMimeDatabase mime;  // thread-safe: QMimeDatabase guards its own data
  const QMimeType type = mime.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
  if (type.isValid() && !type.isDefault() && !type.comment().isEmpty()) return type.comment();
  const QString suffix = QFileInfo(fileName).suffix();
  return suffix.isEmpty() || suffix.contains('*') || suffix.contains('?')
             ? QStringLiteral("File")
             : suffix.toUpper() + " File";
}

TProjectConfigFrm::TProjectConfigFrm(TGlobalSetting& settings, std::vector<TWriterEntry> writers,
                                     QWidget* parent)
    : QDialog(parent), settings_(settings), writers_(std::move(writers)) {
  FormCreate();
}

void TProjectConfigFrm::FormCreate() {
  setObjectName("ProjectConfigFrm");
  setWindowTitle("Project Configuration");
  PageControl = new QTabWidget(this);
  PageControl->setObjectName("PageControl");

  // General information.
  auto* general = new QWidget;
  Name = MakeEdit(general, "Name");
  RadioButton1 = MakeRadio(general, "RadioButton1", "to Local / LAN");
  RadioButton2 = MakeRadio(general, "RadioButton2", "to remote FTP server");
  RadioButton3 = MakeRadio(general, "RadioButton3", "to CD/DVD");
  GB1 = new QGroupBox("Save to", general);
  GB1->setObjectName("GB1");
  Edit1 = MakeEdit(GB1, "Edit1");
  Edit1Browse = MakeButton(GB1, "Edit1Browse", "...");
  auto* gb1Layout = new QHBoxLayout(GB1);
  gb1Layout->addWidget(Edit1);
  gb1Layout->addWidget(Edit1Browse);

  GB2 = new QGroupBox(general);
  GB2->setObjectName("GB2");
  Edit2 = MakeEdit(GB2, "Edit2");
  Edit3 = MakeEdit(GB2, "Edit3");
  Edit3->setText("21");
  Edit4 = MakeEdit(GB2, "Edit4");
  Edit5 = MakeEdit(GB2, "Edit5");
  Edit5->setEchoMode(QLineEdit::Password);
  Edit6 = MakeEdit(GB2, "Edit6");
  CheckBox1 = MakeCheck(GB2, "CheckBox1", "Passive mode");
  CheckBox1->setChecked(true);
  BitBtn1 = MakeButton(GB2, "BitBtn1", "proxy");
  FtpFolderBtn = MakeButton(GB2, "FtpFolderBtn", "...");
  auto* gb2Layout = new QFormLayout(GB2);
  auto* hostRow = new QHBoxLayout;
  hostRow->addWidget(Edit2);
  hostRow->addWidget(FtpFolderBtn);
  gb2Layout->addRow("Host", hostRow);
  gb2Layout->addRow("Port", Edit3);
  gb2Layout->addRow("User", Edit4);
  gb2Layout->addRow("Password", Edit5);
  gb2Layout->addRow("Folder", Edit6);
  auto* ftpRow = new QHBoxLayout;
  ftpRow->addWidget(CheckBox1);
  ftpRow->addWidget(BitBtn1);
  gb2Layout->addRow(ftpRow);

  GB3 = new QGroupBox(general);
  GB3->setObjectName("GB3");
  ComboBox1 = MakeCombo(GB3, "ComboBox1", {});
  ComboBox2 =
      MakeCombo(GB3, "ComboBox2", {"AutoDetect", "1x", "2x", "2.2x", "3x", "4x", "8x", "16x"});
  CheckBox2 = MakeCheck(GB3, "CheckBox2", "Erase disc before recording");
  auto* gb3Layout = new QFormLayout(GB3);
  gb3Layout->addRow("Device", ComboBox1);
  gb3Layout->addRow("Speed", ComboBox2);
  gb3Layout->addRow(CheckBox2);
  auto* note = new QLabel(
      "It's highly recommanded that you enable auto-splitting feature to fit your CD/DVD disc. "
      "Please change to Properties page.",
      GB3);
  note->setWordWrap(true);
  gb3Layout->addRow(note);

  auto* generalLayout = new QVBoxLayout(general);
  generalLayout->addWidget(new QLabel("Enter name for this backup project", general));
  generalLayout->addWidget(Name);
  auto* destRow = new QHBoxLayout;
  destRow->addWidget(RadioButton1);
  destRow->addWidget(RadioButton2);
  destRow->addWidget(RadioButton3);
  destRow->addStretch();  // each button as wide as its caption, so a click on it hits it
  generalLayout->addLayout(destRow);
  generalLayout->addWidget(GB1);
  generalLayout->addWidget(GB2);
  generalLayout->addWidget(GB3);
  generalLayout->addStretch();
  PageControl->addTab(general, "General information");

  // Excluded files and folders.
  auto* excluded = new QWidget;
  ExLV = new QTreeWidget(excluded);
  ExLV->setObjectName("ExLV");
  ExLV->setHeaderLabels({"File & Extension", "Description", "Type"});
  ExLV->setRootIsDecorated(false);
  ExLV->setSelectionMode(QAbstractItemView::ExtendedSelection);
  FitColumns(ExLV, {160, 120, 70}, 0);
  AddBtn = MakeButton(excluded, "AddBtn", "Add");
  RemoveBtn = MakeButton(excluded, "RemoveBtn", "Remove");
  ClearBtn = MakeButton(excluded, "ClearBtn", "Clear");
  auto* addMenu = new QMenu(AddBtn);
  addMenu->setObjectName("AddMenu");
  connect(addMenu->addAction("Add Extension"), &QAction::triggered, this,
          &TProjectConfigFrm::AddExtensionClick);
  connect(addMenu->addAction("Add Files"), &QAction::triggered, this,
          &TProjectConfigFrm::AddFilesClick);
  QMenu* presets = addMenu->addMenu("Add Presets...");
  connect(presets->addAction("Temporary files  (*.tmp)"), &QAction::triggered, this,
          &TProjectConfigFrm::AddTempPresetClick);
  connect(presets->addAction("Quorva backup files (*.qvp)"), &QAction::triggered, this,
          &TProjectConfigFrm::AddQvpPresetClick);
  connect(presets->addAction("Memory page file  (pagefile.sys)"), &QAction::triggered, this,
          [this] { AddDriveFilePresetClick("pagefile.sys"); });
  connect(presets->addAction("Power management  (hiberfil.sys)"), &QAction::triggered, this,
          [this] { AddDriveFilePresetClick("hiberfil.sys"); });
  connect(addMenu->addAction("Add Folders"), &QAction::triggered, this,
          &TProjectConfigFrm::AddFoldersClick);
  AddBtn->setMenu(addMenu);
  auto* exButtons = new QHBoxLayout;
  exButtons->addWidget(AddBtn);
  exButtons->addWidget(RemoveBtn);
  exButtons->addWidget(ClearBtn);
  exButtons->addStretch();
  auto* exLayout = new QVBoxLayout(excluded);
  exLayout->addWidget(ExLV);
  exLayout->addLayout(exButtons);
  PageControl->addTab(excluded, "Excluded Files && Folders");

  // Properties.
  auto* properties = new QWidget;
  RadioButton4 = MakeRadio(properties, "RadioButton4", "Full backup");
  RadioButton5 = MakeRadio(properties, "RadioButton5", "Differential backup");
  CheckBox5 = MakeCheck(properties, "CheckBox5", "Enable Compression");
  ComboBox4 = MakeCombo(properties, "ComboBox4",
                        {"Normal", "Maximun compression rate", "Fast speed", "Super fast speed"});
  CheckBox6 = MakeCheck(properties, "CheckBox6", "Enable auto-splitting by");
  ComboBox5 =
      MakeCombo(properties, "ComboBox5",
                {"Floppy disk (1.44Mb)", "CD-R (650Mb)", "CD-R (700Mb)", "DVD+/-R (4.5Gb)"});
  CheckBox4 = MakeCheck(properties, "CheckBox4", "Delete source file after backed up");
  ComboBox6 = MakeCombo(properties, "ComboBox6", {"Confirm", "Always overwrite", "Always skip"});
  auto* propLayout = new QFormLayout(properties);
  auto* modeRow = new QHBoxLayout;
  modeRow->addWidget(RadioButton4);
  modeRow->addWidget(RadioButton5);
  propLayout->addRow(modeRow);
  propLayout->addRow(CheckBox5, ComboBox4);
  propLayout->addRow(CheckBox6, ComboBox5);
  propLayout->addRow(CheckBox4);
  propLayout->addRow("Overwrite", ComboBox6);
  PageControl->addTab(properties, "Properties");

  // Security.
  auto* security = new QWidget;
  CheckBox7 = MakeCheck(security, "CheckBox7", "Protect Backup data with password");
  Edit7 = MakeEdit(security, "Edit7");
  Edit7->setEchoMode(QLineEdit::Password);
  Edit8 = MakeEdit(security, "Edit8");
  Edit8->setEchoMode(QLineEdit::Password);
  auto* secLayout = new QFormLayout(security);
  secLayout->addRow(CheckBox7);
  secLayout->addRow("Enter password", Edit7);
  secLayout->addRow("Re-enter Password", Edit8);
  PageControl->addTab(security, "Security");

  // Action.
  auto* action = new QWidget;
  CheckBox11 = MakeCheck(action, "CheckBox11", "Run program");
  Edit9 = MakeEdit(action, "Edit9");
  Edit9Browse = MakeButton(action, "Edit9Browse", "...");
  CheckBox8 = MakeCheck(action, "CheckBox8", "wait for the program till it stopped.");
  CheckBox12 = MakeCheck(action, "CheckBox12", "Run program");
  Edit10 = MakeEdit(action, "Edit10");
  Edit10Browse = MakeButton(action, "Edit10Browse", "...");
  CheckBox9 = MakeCheck(action, "CheckBox9", "wait for the program till it stopped.");
  CheckBox10 = MakeCheck(action, "CheckBox10", "Enable Email notification");
  RadioButton6 = MakeRadio(action, "RadioButton6", "when backup finished with success.");
  RadioButton7 = MakeRadio(action, "RadioButton7", "when backup finished with error");
  ComboBox7 = MakeCombo(action, "ComboBox7", {});
  AccountBtn = MakeButton(action, "AccountBtn", ">");
  auto* actLayout = new QVBoxLayout(action);
  auto* beforeBox = new QGroupBox("Before backup", action);
  auto* beforeLayout = new QGridLayout(beforeBox);
  beforeLayout->addWidget(CheckBox11, 0, 0);
  beforeLayout->addWidget(Edit9, 0, 1);
  beforeLayout->addWidget(Edit9Browse, 0, 2);
  beforeLayout->addWidget(CheckBox8, 1, 1);
  auto* afterBox = new QGroupBox("After backup", action);
  auto* afterLayout = new QGridLayout(afterBox);
  afterLayout->addWidget(CheckBox12, 0, 0);
  afterLayout->addWidget(Edit10, 0, 1);
  afterLayout->addWidget(Edit10Browse, 0, 2);
  afterLayout->addWidget(CheckBox9, 1, 1);
  actLayout->addWidget(beforeBox);
  actLayout->addWidget(afterBox);
  auto* hint = new QLabel(
      "The program should be specified like this : \"C:\\Program "
      "Files\\QuorvaSoft\\runprogram.exe\" -l -s",
      action);
  hint->setWordWrap(true);
  actLayout->addWidget(hint);
  actLayout->addWidget(CheckBox10);
  actLayout->addWidget(RadioButton6);
  actLayout->addWidget(RadioButton7);
  auto* accountRow = new QHBoxLayout;
  accountRow->addWidget(ComboBox7, 1);
  accountRow->addWidget(AccountBtn);
  actLayout->addLayout(accountRow);
  actLayout->addStretch();
  PageControl->addTab(action, "Action");

  ResetBtn = MakeButton(this, "ResetBtn", "Reset");
  OKBtn = MakeButton(this, "OKBtn", "OK");
  OKBtn->setDefault(true);
  CancelBtn = MakeButton(this, "CancelBtn", "Cancel");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ResetBtn);
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(PageControl);
  layout->addLayout(buttons);
  ShowEveryTab(PageControl);
  // Room for an excluded folder's path beside its description and type.
  resize(std::max(sizeHint().width(), 720), sizeHint().height());

  for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{
           RadioButton1, RadioButton2, RadioButton3, CheckBox5, CheckBox6, CheckBox7, CheckBox11,
           CheckBox12, CheckBox10})
    connect(b, &QAbstractButton::toggled, this, &TProjectConfigFrm::ApplyEnableRules);
  connect(ExLV, &QTreeWidget::itemSelectionChanged, this, &TProjectConfigFrm::ApplyEnableRules);
  // Only the user's click asks; showing a project with the option set does not.
  connect(CheckBox4, &QCheckBox::clicked, this, &TProjectConfigFrm::CheckBox4Click);
  connect(RemoveBtn, &QPushButton::clicked, this, &TProjectConfigFrm::RemoveBtnClick);
  connect(ClearBtn, &QPushButton::clicked, this, &TProjectConfigFrm::ClearBtnClick);
  connect(BitBtn1, &QPushButton::clicked, this, &TProjectConfigFrm::BitBtn1Click);
  connect(FtpFolderBtn, &QPushButton::clicked, this, &TProjectConfigFrm::FtpFolderBtnClick);
  connect(AccountBtn, &QPushButton::clicked, this, &TProjectConfigFrm::AccountBtnClick);
  connect(Edit1Browse, &QPushButton::clicked, this, &TProjectConfigFrm::Edit1BrowseClick);
  connect(Edit9Browse, &QPushButton::clicked, this, &TProjectConfigFrm::Edit9BrowseClick);
  connect(Edit10Browse, &QPushButton::clicked, this, &TProjectConfigFrm::Edit10BrowseClick);
  connect(ResetBtn, &QPushButton::clicked, this, &TProjectConfigFrm::ResetProject);
  connect(OKBtn, &QPushButton::clicked, this, &TProjectConfigFrm::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &TProjectConfigFrm::CancelBtnClick);

  ResetProject();
  ProgressStatus = "Loading email accounts...";
  PumpMessages();
  LoadEmailAccounts();
  CheckBox4->setStyleSheet("color: red");
}

void TProjectConfigFrm::showEvent(QShowEvent* event) {
  CheckBox4->setStyleSheet("color: red");
  QDialog::showEvent(event);
}

void TProjectConfigFrm::ResetProject() {
  Project.Reset();
  ProjectToForm();
}

void TProjectConfigFrm::LoadEmailAccounts() {
  ComboBox7->clear();
  for (const auto& account : settings_.Accounts) ComboBox7->addItem(Q(account->Caption));
}

void TProjectConfigFrm::FillWriterCombo(int selected, bool missing) {
  ComboBox1->clear();
  for (const TWriterEntry& w : writers_) ComboBox1->addItem(Q(w.Name));
  // A project's writer that is gone must be chosen anew: taking another one silently could
  // erase a disc in the wrong drive.
  ComboBox1->setPlaceholderText(writers_.empty() ? "No CD/DVD writer found"
                                : missing        ? "The project's writer was not found"
                                                 : "");
  SetIndex(ComboBox1, selected);
}

void TProjectConfigFrm::ProjectToForm() {
  const TProject& p = Project;
  Name->setText(Q(p.Name));
  RadioButton1->setChecked(p.DestinationType == 0);
  RadioButton2->setChecked(p.DestinationType == 1);
  RadioButton3->setChecked(p.DestinationType == 2);
  const bool ftp = p.DestinationType == 1;
  const bool disc = p.DestinationType == 2;
  Edit1->setText(p.DestinationType == 0 ? Q(p.DestinationFile) : QString());
  Edit2->setText(ftp ? Q(p.FtpHost) : QString());
  Edit3->setText(ftp ? QString::number(p.FtpPort) : QStringLiteral("21"));
  Edit4->setText(ftp ? Q(p.FtpUser) : QString());
  Edit5->setText(ftp ? Q(p.FtpPassword) : QString());
  Edit6->setText(ftp ? Q(p.DestinationFile) : QString());
  CheckBox1->setChecked(ftp ? p.FtpPassive : true);
  SetIndex(ComboBox2, disc ? p.SpeedIndex : 0);
  CheckBox2->setChecked(disc && p.EraseDisc);
  int device = -1;
  if (disc) {
    for (size_t i = 0; i < writers_.size(); ++i) {
      const TWriterEntry& w = writers_[i];
      if (w.Port == p.WriterPort && w.Bus == p.WriterBus && w.TargetID == p.WriterTargetID &&
          w.LUN == p.WriterLUN) {
        device = static_cast<int>(i);
        break;
      }
    }
  } else if (!writers_.empty()) {
    device = 0;
  }
  FillWriterCombo(device, disc && device < 0);

  RadioButton4->setChecked(p.BackupMode == 0);
  RadioButton5->setChecked(p.BackupMode != 0);
  CheckBox5->setChecked(p.Compress);
  SetIndex(ComboBox4, p.CompressionLevel);
  CheckBox6->setChecked(p.Split);
  SetIndex(ComboBox5, p.SplitSizeIndex);
  CheckBox4->setChecked(p.DeleteAfterBackup);
  SetIndex(ComboBox6, p.OverwriteMode);
  CheckBox7->setChecked(p.UsePassword);
  Edit7->setText(Q(p.Password));
  Edit8->setText(Q(p.Password));
  CheckBox11->setChecked(p.RunBefore);
  Edit9->setText(Q(p.RunBeforeCmd));
  CheckBox8->setChecked(p.RunBeforeWait);
  CheckBox12->setChecked(p.RunAfter);
  Edit10->setText(Q(p.RunAfterCmd));
  CheckBox9->setChecked(p.RunAfterWait);
  CheckBox10->setChecked(p.SendMail);
  RadioButton6->setChecked(p.MailCondition == 0);
  RadioButton7->setChecked(p.MailCondition != 0);
  SetIndex(ComboBox7, p.MailAccountIndex);

  ExLV->clear();
  for (int i = 0; i < p.ExcludedPatterns.Count(); ++i) {
    const QString text = Q(p.ExcludedPatterns.Get(i)->Name);
    const bool wild = text.contains('*') || text.contains('?');
    AddExclusion(text, wild ? ekExtension : ekFile);
  }
  for (int i = 0; i < p.ExcludedFolders.Count(); ++i)
    AddExclusionWithDescription(Q(p.ExcludedFolders.Get(i)->Name), "Folders", ekFolder);
  ApplyEnableRules();
}

bool TProjectConfigFrm::FormToProject() {
  std::int32_t ftpPort = Project.FtpPort;
  if (RadioButton2->isChecked() && !ParsePort(Edit3->text(), ftpPort)) {
    ShowNumberError(Edit3->text());
    return false;
  }
  TProject& p = Project;
  p.Name = S(Name->text());
  p.DestinationType = RadioButton2->isChecked() ? 1 : RadioButton3->isChecked() ? 2 : 0;
  if (p.DestinationType == 0) {
    p.DestinationFile = S(Edit1->text());
  } else if (p.DestinationType == 1) {
    p.FtpHost = S(Edit2->text());
    p.FtpPort = ftpPort;
    p.FtpUser = S(Edit4->text());
    p.FtpPassword = S(Edit5->text());
    p.DestinationFile = S(Edit6->text());
    p.FtpPassive = CheckBox1->isChecked();
  } else {
    p.SpeedIndex = ComboBox2->currentIndex();
    p.EraseDisc = CheckBox2->isChecked();
    const int device = ComboBox1->currentIndex();
    if (device >= 0 && device < static_cast<int>(writers_.size())) {
      const TWriterEntry& w = writers_[static_cast<size_t>(device)];
      p.WriterPort = w.Port;
      p.WriterBus = w.Bus;
      p.WriterTargetID = w.TargetID;
      p.WriterLUN = w.LUN;
    }
  }
  p.BackupMode = RadioButton4->isChecked() ? 0 : 1;
  p.Compress = CheckBox5->isChecked();
  p.CompressionLevel = ComboBox4->currentIndex();
  p.Split = CheckBox6->isChecked();
  p.SplitSizeIndex = ComboBox5->currentIndex();
  p.DeleteAfterBackup = CheckBox4->isChecked();
  p.OverwriteMode = ComboBox6->currentIndex();
  p.UsePassword = CheckBox7->isChecked();
  p.Password = S(Edit7->text());
  p.RunBefore = CheckBox11->isChecked();
  p.RunBeforeCmd = S(Edit9->text());
  p.RunBeforeWait = CheckBox8->isChecked();
  p.RunAfter = CheckBox12->isChecked();
  p.RunAfterCmd = S(Edit10->text());
  p.RunAfterWait = CheckBox9->isChecked();
  p.SendMail = CheckBox10->isChecked();
  p.MailCondition = RadioButton7->isChecked() ? 1 : 0;
  p.MailAccountIndex = ComboBox7->currentIndex();
  if (p.MailAccountIndex >= 0 && p.MailAccountIndex < static_cast<int>(settings_.Accounts.size())) {
    CopyMailAccount(*settings_.Accounts[static_cast<size_t>(p.MailAccountIndex)], p);
  }
  p.ExcludedPatterns.Clear();
  p.ExcludedFolders.Clear();
  for (int i = 0; i < ExLV->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* row = ExLV->topLevelItem(i);
    TItems& list =
        row->data(0, Qt::UserRole).toInt() == ekFolder ? p.ExcludedFolders : p.ExcludedPatterns;
    list.Add(S(row->text(0)), 0);
  }
  return true;
}

void TProjectConfigFrm::ShowNumberError(const QString& text) {
  ShowNotAValidInteger(text);
}

void TProjectConfigFrm::AddExclusion(const QString& text, int kind) {
  AddExclusionWithDescription(text, ShellTypeName(text), kind);
}

void TProjectConfigFrm::AddExclusionWithDescription(const QString& text, const QString& description,
                                                    int kind) {
  static const char* const kKinds[] = {"Extension", "File", "Folder"};
  auto* row = new QTreeWidgetItem(ExLV);  // owned by the list
  row->setText(0, text);
  row->setText(1, description);
  row->setText(2, kKinds[kind >= 0 && kind <= 2 ? kind : 0]);
  row->setData(0, Qt::UserRole, kind);
  row->setIcon(0,
               style()->standardIcon(kind == ekFolder ? QStyle::SP_DirIcon : QStyle::SP_FileIcon));
}

bool TProjectConfigFrm::ValidateInput() {
  bool ok = true;
  const auto fail = [&ok](const char* message) {
    LogError(message);
    ok = false;
  };
  if (Name->text().isEmpty()) fail("Project name is empty");
  if (RadioButton1->isChecked() && Edit1->text().isEmpty()) fail("Folder name needed");
  if (RadioButton2->isChecked()) {
    std::int32_t port = 0;
    if (Edit2->text().isEmpty() || Edit3->text().isEmpty())
      fail("FTP Server and Port is not specified ");
    else if (!ParsePort(Edit3->text(), port))
      fail("FTP Port must be a number from 1 to 65535");
  }
  if (RadioButton3->isChecked() && ComboBox1->currentIndex() < 0) fail("CD/DVD writer needed");
  if (CheckBox7->isChecked()) {
    const qsizetype length = Edit7->text().size();
    if (Edit7->text() != Edit8->text()) fail("Re-typed password does not match!");
    if (length <= 8) fail("Password must be longer than 8 characters!");
    if (length >= 255) fail("Password must be shorter than 255 characters!");
  }
  if (CheckBox11->isChecked() && Edit9->text().isEmpty())
    fail("Program name which runs before backup needed!");
  if (CheckBox12->isChecked() && Edit10->text().isEmpty())
    fail("Program name which runs after backup needed!");
  return ok;
}

void TProjectConfigFrm::OKBtnClick() {
  if (!ValidateInput()) {
    Ask("Please complete settings. Check error in console window", kTitle, TMessageButtons::Ok,
        TMessageKind::Error);
    if (ShowConsole) ShowConsole();
    return;
  }
  if (FormToProject()) done(1);
}

void TProjectConfigFrm::CancelBtnClick() {
  done(2);
}

void TProjectConfigFrm::ApplyEnableRules() {
  GB1->setHidden(!RadioButton1->isChecked());
  GB2->setHidden(!RadioButton2->isChecked());
  GB3->setHidden(!RadioButton3->isChecked());
  ComboBox4->setEnabled(CheckBox5->isChecked());
  ComboBox5->setEnabled(CheckBox6->isChecked());
  Edit7->setEnabled(CheckBox7->isChecked());
  Edit8->setEnabled(CheckBox7->isChecked());
  for (QWidget* w : {static_cast<QWidget*>(Edit9), static_cast<QWidget*>(CheckBox8),
                     static_cast<QWidget*>(Edit9Browse)})
    w->setEnabled(CheckBox11->isChecked());
  for (QWidget* w : {static_cast<QWidget*>(Edit10), static_cast<QWidget*>(CheckBox9),
                     static_cast<QWidget*>(Edit10Browse)})
    w->setEnabled(CheckBox12->isChecked());
  for (QWidget* w : {static_cast<QWidget*>(RadioButton6), static_cast<QWidget*>(RadioButton7),
                     static_cast<QWidget*>(ComboBox7), static_cast<QWidget*>(AccountBtn)})
    w->setEnabled(CheckBox10->isChecked());
  RemoveBtn->setEnabled(!ExLV->selectedItems().isEmpty());
}

void TProjectConfigFrm::CheckBox4Click() {
  if (!CheckBox4->isChecked()) return;
  if (Ask("Do you really want to delete source files after backup finished?\n"
          "Click Yes to confirm, click No to cancel.",
          "Please Confirm", TMessageButtons::YesNo, TMessageKind::Question) != TModalResult::Yes)
    CheckBox4->setChecked(false);
}

void TProjectConfigFrm::RemoveBtnClick() {
  qDeleteAll(ExLV->selectedItems());
  ApplyEnableRules();
}

void TProjectConfigFrm::ClearBtnClick() {
  ExLV->clear();
  ApplyEnableRules();
}

void TProjectConfigFrm::AddExtensionClick() {
  std::unique_ptr<TAddExtFrm> own;
  if (!extensionChooser_) own = std::make_unique<TAddExtFrm>(this);
  TAddExtFrm& chooser = extensionChooser_ ? *extensionChooser_ : *own;
  if (chooser.exec() != 1) return;
  if (chooser.RadioButton1->isChecked()) {
    for (QTreeWidgetItem* row : chooser.LV->selectedItems())
      AddExclusionWithDescription(row->text(0), row->text(1), ekExtension);
  } else {
    AddExclusion(chooser.Edit1->text(), ekExtension);
  }
}

void TProjectConfigFrm::AddFilesClick() {
  const auto file = UserInterface()->ChooseFile("Open", "", "All Files|*.*");
  if (file) AddExclusion(Q(*file), ekFile);
}

void TProjectConfigFrm::AddTempPresetClick() {
  AddExclusion("*.tmp", ekExtension);
}

void TProjectConfigFrm::AddQvpPresetClick() {
  AddExclusionWithDescription("*.qvp", "Quorva Backup File", ekExtension);
}

void TProjectConfigFrm::AddDriveFilePresetClick(const QString& fileName) {
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    const std::string path = std::string(1, letter) + ":\\" + S(fileName);
    if (platform::fs::Exists(path)) AddExclusion(Q(path), ekFile);
  }
}

void TProjectConfigFrm::AddFoldersClick() {
  TBrowseForFolder browser(this);
  browser.Caption = "Select Folder";
  browser.StatusText = "Please select folder";
  if (browser.Execute()) AddExclusionWithDescription(Q(browser.FolderName), "Folders", ekFolder);
}

void TProjectConfigFrm::BitBtn1Click() {
  EditProjectProxy(Project, this);
}

void TProjectConfigFrm::FtpFolderBtnClick() {
  std::int32_t port = 0;
  if (!ParsePort(Edit3->text(), port)) return ShowNumberError(Edit3->text());
  TFTPFolderFrm chooser(settings_, this);
  chooser.Host = S(Edit2->text());
  chooser.Port = port;
  chooser.User = S(Edit4->text());
  chooser.Password = S(Edit5->text());
  chooser.Passive = CheckBox1->isChecked();
  UseProjectProxy(chooser, Project);
  if (chooser.exec() == 1) Edit6->setText(chooser.CurFolder->text());
}

void TProjectConfigFrm::AccountBtnClick() {
  const int remembered = ComboBox7->currentIndex();
  TGlobalSettingFrm dialog(settings_, this);
  if (dialog.exec() != 1) return;
  LoadEmailAccounts();
  const int count = ComboBox7->count();
  ComboBox7->setCurrentIndex(count == 0 ? -1 : std::min(remembered, count - 1));
}

void TProjectConfigFrm::Edit1BrowseClick() {
  if (TQtUserInterface* ui = QtUi()) {
    const auto file = ui->ChooseSaveFile("Save to", "Quorva Backup File|*.qvp", "qvp");
    if (file) Edit1->setText(Q(*file));
  }
}

void TProjectConfigFrm::Edit9BrowseClick() {
  const auto file =
      UserInterface()->ChooseFile("Open", S(Edit9->text()), "Prorgram (*.exe)|*.exe|All Files|*.*");
  if (file) Edit9->setText(Q(*file));
}

void TProjectConfigFrm::Edit10BrowseClick() {
  const auto file = UserInterface()->ChooseFile("Open", S(Edit10->text()),
                                                "Prorgram (*.exe)|*.exe|All Files|*.*");
  if (file) Edit10->setText(Q(*file));
}
