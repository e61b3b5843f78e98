#include "app/ui/settings/global_setting_frm.h"

#include <QCoreApplication>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <optional>

#include "app/engine/backup/notification_mail.h"
#include "app/engine/log.h"
#include "app/engine/project/project.h"
#include "app/engine/settings/global_setting.h"
#include "app/engine/user_interface.h"
#include "app/ui/run/qt_user_interface.h"
#include "app/ui/settings/log_font_dialog.h"
#include "app/ui/settings/mail_body_frm.h"
#include "app/ui/widgets/browse_for_folder.h"
#include "app/ui/widgets/fit_captions.h"
#include "app/ui/widgets/named_widgets.h"
#include "app/ui/widgets/project_mail_account.h"
#include "platform/fs/fs.h"
#include "platform/registry/registry.h"
#include "platform/shell/job_thread.h"
#include "platform/shell/shell.h"

namespace {

constexpr const char* kCaption = "Global Settings";
constexpr const char* kRunValueName = "QUORVABACKUP";
constexpr const char* kNumbersMessage =
    "Please enter how many minutes after startup before running with numbers.";

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string S(const QString& s) {
  return s.toUtf8().toStdString();
}

// A strict whole number: optional sign and decimal digits, blanks around allowed.
std::optional<std::int32_t> WholeNumber(const QString& text) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok, 10);
  if (!ok) return std::nullopt;
  return value;
}

QHBoxLayout* Row(std::initializer_list<QWidget*> widgets) {
  auto* row = new QHBoxLayout;
  for (QWidget* w : widgets) row->addWidget(w);
  row->addStretch();
  return row;
}

}  // namespace

TGlobalSettingFrm::TGlobalSettingFrm(TGlobalSetting& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
  setObjectName("GlobalSettingFrm");
  setWindowTitle(kCaption);
  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName("PageControl1");

  auto* general = new QWidget;
  CheckBox1 = MakeCheck(general, "CheckBox1", "Enable auto startup");
  CheckBox2 = MakeCheck(general, "CheckBox2", "Show splash window");
  CheckBox6 = MakeCheck(general, "CheckBox6", "Show wizard window when starts up");
  // One edit with its up-down control; the edit stays the field the checks read.
  UpDown1 = new TUpDownEdit(0, 6000, general);
  UpDown1->setObjectName("UpDown1");
  Edit1 = UpDown1->Edit();
  Edit1->setObjectName("Edit1");
  TrackBar1 = new QSlider(Qt::Horizontal, general);
  TrackBar1->setObjectName("TrackBar1");
  TrackBar1->setRange(0, 4);
  TrackBar1->setTickPosition(QSlider::TicksBelow);
  TrackBar1->setTickInterval(1);
  TrackBar1->setPageStep(1);
  Edit2 = MakeEdit(general, "Edit2");
  SpeedButton4 = MakeButton(general, "SpeedButton4", "...");
  auto* generalLayout = new QVBoxLayout(general);
  generalLayout->addWidget(CheckBox1);
  generalLayout->addWidget(CheckBox2);
  generalLayout->addWidget(CheckBox6);
  generalLayout->addLayout(Row({new QLabel("Wait", general), UpDown1,
                                new QLabel("minutes after startup before running", general)}));
  generalLayout->addWidget(new QLabel("Operation thread priority", general));
  // "Low", "Normal" and "High" under the slider's left end, middle and right end.
  auto* priority = new QWidget(general);
  priority->setObjectName("PriorityPanel");
  auto* priorityGrid = new QGridLayout(priority);
  priorityGrid->setContentsMargins(0, 0, 0, 0);
  priorityGrid->addWidget(TrackBar1, 0, 0, 1, 3);
  PriorityLow = new QLabel("Low", priority);
  PriorityNormal = new QLabel("Normal", priority);
  PriorityHigh = new QLabel("High", priority);
  priorityGrid->addWidget(PriorityLow, 1, 0, Qt::AlignLeft);
  priorityGrid->addWidget(PriorityNormal, 1, 1, Qt::AlignHCenter);
  priorityGrid->addWidget(PriorityHigh, 1, 2, Qt::AlignRight);
  for (int c = 0; c < 3; ++c) priorityGrid->setColumnStretch(c, 1);
  priority->setMinimumWidth(240);
  generalLayout->addLayout(Row({priority}));
  generalLayout->addWidget(new QLabel("Temporary folder", general));
  generalLayout->addLayout(Row({Edit2, SpeedButton4}));
  generalLayout->addStretch();
  PageControl1->addTab(general, "General Setting");

  auto* transfer = new QWidget;
  Edit3 = MakeEdit(transfer, "Edit3");
  Edit4 = MakeEdit(transfer, "Edit4");
  CheckBox3 = MakeCheck(transfer, "CheckBox3", "Auto retry when error occurs");
  Edit5 = MakeEdit(transfer, "Edit5");
  CheckBox4 = MakeCheck(transfer, "CheckBox4", "unlimited times");
  auto* transferLayout = new QVBoxLayout(transfer);
  transferLayout->addLayout(Row(
      {new QLabel("Network operating timeout", transfer), Edit3, new QLabel("Seconds", transfer)}));
  transferLayout->addLayout(Row(
      {new QLabel("Delay before reconnecting", transfer), Edit4, new QLabel("Seconds", transfer)}));
  transferLayout->addWidget(CheckBox3);
  transferLayout->addLayout(
      Row({new QLabel("Retries on network error", transfer), Edit5, CheckBox4}));
  transferLayout->addStretch();
  PageControl1->addTab(transfer, "Transfer Setting");

  auto* mail = new QWidget;
  ToolBar1 = new QToolBar(mail);
  ToolBar1->setObjectName("ToolBar1");
  CreateEmailAccount = ToolBar1->addAction("&Add new");
  CreateEmailAccount->setObjectName("CreateEmailAccount");
  ModifyEmailAccount = ToolBar1->addAction("&Save");
  ModifyEmailAccount->setObjectName("ModifyEmailAccount");
  DeleteEmailAccount = ToolBar1->addAction("&Delete");
  DeleteEmailAccount->setObjectName("DeleteEmailAccount");
  ToolBar1->addSeparator();
  TestEmailAccount = ToolBar1->addAction("Test...");
  TestEmailAccount->setObjectName("TestEmailAccount");
  // A tool button shows the icon text, from which Qt drops a trailing ellipsis.
  TestEmailAccount->setIconText("Test...");
  LV = new QTreeWidget(mail);
  LV->setObjectName("LV");
  LV->setHeaderLabels({"Account Caption"});
  LV->setRootIsDecorated(false);
  // The one column fills the list, which is at least as wide as the column's caption.
  LV->setMinimumWidth(std::max(150, LV->header()->sectionSizeHint(0) + 2 * LV->frameWidth() + 4));
  Edit6 = MakeEdit(mail, "Edit6");
  Edit7 = MakeEdit(mail, "Edit7");
  Edit7->setText("25");
  Edit8 = MakeEdit(mail, "Edit8");
  Edit9 = MakeEdit(mail, "Edit9");
  Edit10 = MakeEdit(mail, "Edit10");
  Edit10->setEchoMode(QLineEdit::Password);
  CheckBox5 = MakeCheck(mail, "CheckBox5", "Authenticate on STMP Server");
  Edit11 = MakeEdit(mail, "Edit11");
  Edit12 = MakeEdit(mail, "Edit12");
  Edit13 = MakeEdit(mail, "Edit13");
  Button1 = MakeButton(mail, "Button1", "Edit Message body...");
  auto* accountForm = new QFormLayout;
  accountForm->addRow("SMTP Server", Edit6);
  accountForm->addRow("Port", Edit7);
  accountForm->addRow("Account's Caption", Edit8);
  accountForm->addRow(CheckBox5);
  accountForm->addRow("Username", Edit9);
  accountForm->addRow("password", Edit10);
  auto* message = new QGroupBox("Message", mail);
  auto* messageForm = new QFormLayout(message);
  messageForm->addRow("From", Edit11);
  messageForm->addRow("To", Edit12);
  messageForm->addRow("Subject", Edit13);
  messageForm->addRow(Button1);
  accountForm->addRow(message);
  auto* mailBody = new QHBoxLayout;
  mailBody->addWidget(LV);
  mailBody->addLayout(accountForm);
  auto* mailLayout = new QVBoxLayout(mail);
  mailLayout->addWidget(ToolBar1);
  mailLayout->addLayout(mailBody);
  PageControl1->addTab(mail, "Email Accounts");

  auto* logPage = new QWidget;
  SpeedButton5 = MakeButton(logPage, "SpeedButton5", "Choose font");
  Panel1 = new QLabel("Log Font Test", logPage);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameShape(QFrame::Panel);
  CheckBox8 = MakeCheck(logPage, "CheckBox8", "Console window always on the top");
  CheckBox7 = MakeCheck(logPage, "CheckBox7", "Auto show console window");
  auto* logLayout = new QVBoxLayout(logPage);
  logLayout->addLayout(Row({SpeedButton5, Panel1}));
  logLayout->addWidget(CheckBox8);
  logLayout->addWidget(CheckBox7);
  logLayout->addStretch();
  PageControl1->addTab(logPage, "Log Setting");

  SpeedButton1 = MakeButton(this, "SpeedButton1", "OK");
  SpeedButton1->setDefault(true);
  SpeedButton2 = MakeButton(this, "SpeedButton2", "Cancel");
  SpeedButton3 = MakeButton(this, "SpeedButton3", "Reset");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(PageControl1);
  ShowEveryTab(PageControl1);
  layout->addLayout(Row({SpeedButton1, SpeedButton2, SpeedButton3}));

  connect(SpeedButton1, &QPushButton::clicked, this, &TGlobalSettingFrm::SpeedButton1Click);
  connect(SpeedButton2, &QPushButton::clicked, this, &TGlobalSettingFrm::SpeedButton2Click);
  connect(SpeedButton3, &QPushButton::clicked, this, &TGlobalSettingFrm::SpeedButton3Click);
  connect(SpeedButton4, &QPushButton::clicked, this, &TGlobalSettingFrm::SpeedButton4Click);
  connect(SpeedButton5, &QPushButton::clicked, this, &TGlobalSettingFrm::SpeedButton5Click);
  connect(CheckBox3, &QCheckBox::toggled, this, &TGlobalSettingFrm::CheckBox3Click);
  connect(CheckBox4, &QCheckBox::toggled, this, &TGlobalSettingFrm::CheckBox3Click);
  connect(CheckBox5, &QCheckBox::toggled, this, &TGlobalSettingFrm::CheckBox5Click);
  connect(CheckBox7, &QCheckBox::toggled, this, &TGlobalSettingFrm::CheckBox7Click);
  connect(CreateEmailAccount, &QAction::triggered, this,
          &TGlobalSettingFrm::CreateEmailAccountExecute);
  connect(ModifyEmailAccount, &QAction::triggered, this, [this] { ModifyEmailAccountExecute(); });
  connect(DeleteEmailAccount, &QAction::triggered, this,
          &TGlobalSettingFrm::DeleteEmailAccountExecute);
  connect(TestEmailAccount, &QAction::triggered, this, &TGlobalSettingFrm::TestEmailAccountExecute);
  connect(Button1, &QPushButton::clicked, this, &TGlobalSettingFrm::Button1Click);
  connect(LV, &QTreeWidget::itemSelectionChanged, this, &TGlobalSettingFrm::LVChange);

  LoadFromSettings();
}

void TGlobalSettingFrm::LoadFields(const TGlobalSetting& from) {
  CheckBox1->setChecked(from.AutoStart);
  CheckBox2->setChecked(from.ShowSplash);
  CheckBox6->setChecked(from.ShowWizardAtStart);
  Edit1->setText(QString::number(from.StartDelayMinutes));
  TrackBar1->setValue(from.PriorityIndex);
  Edit2->setText(Q(from.TempFolder));
  Edit3->setText(QString::number(from.NetworkTimeoutSec));
  Edit4->setText(QString::number(from.ReconnectDelaySec));
  CheckBox3->setChecked(from.AutoRetry);
  Edit5->setText(QString::number(from.RetryCount));
  CheckBox4->setChecked(from.UnlimitedRetries);
  CheckBox7->setChecked(from.AutoShowConsole);
  CheckBox8->setChecked(from.ConsoleOnTop);
  fontCharset_ = from.LogFontCharset;
  fontColor_ = from.LogFontColor;
  fontHeight_ = from.LogFontHeight;
  fontName_ = from.LogFontName;
  fontPitch_ = from.LogFontPitch;
  fontSize_ = from.LogFontSize;
  fontStyle_ = from.LogFontStyle;
  ShowFont();
  CheckBox3Click();
  CheckBox7Click();
}

void TGlobalSettingFrm::ShowFont() {
  QFont font(Q(fontName_), fontSize_ > 0 ? fontSize_ : 8);
  font.setBold(fontStyle_ & 1);
  font.setItalic(fontStyle_ & 2);
  font.setUnderline(fontStyle_ & 4);
  font.setStrikeOut(fontStyle_ & 8);
  Panel1->setFont(font);
  Panel1->setStyleSheet("color: " + FontColor().name());
}

QColor TGlobalSettingFrm::FontColor() const {
  // Kept as 0x00BBGGRR.
  return QColor(fontColor_ & 0xff, (fontColor_ >> 8) & 0xff, (fontColor_ >> 16) & 0xff);
}

void TGlobalSettingFrm::LoadFromSettings() {
  LoadFields(settings_);
  shownRow_ = -1;
  {
    const QSignalBlocker block(LV);
    LV->clear();
  }
  accounts_.clear();
  for (const auto& account : settings_.Accounts) {
    accounts_.push_back(account->Clone());
    new QTreeWidgetItem(LV, {Q(account->Caption)});  // owned by the list
  }
  CheckBox5Click();
  ApplyAccountActions();
}

int TGlobalSettingFrm::SelectedRow() const {
  const auto rows = LV->selectedItems();
  return rows.isEmpty() ? -1 : LV->indexOfTopLevelItem(rows.front());
}

void TGlobalSettingFrm::ApplyAccountActions() {
  const bool selected = SelectedRow() >= 0;
  for (QAction* a : {ModifyEmailAccount, DeleteEmailAccount, TestEmailAccount})
    a->setEnabled(selected && !testing_);
  Button1->setEnabled(selected);
}

bool TGlobalSettingFrm::WriteBack(int row) {
  if (row < 0 || row >= static_cast<int>(accounts_.size())) return true;
  const auto port = WholeNumber(Edit7->text());
  if (!port) {
    ShowError("'" + S(Edit7->text()) + "' is not a valid integer value");
    return false;
  }
  TEmailAccount& a = *accounts_[static_cast<size_t>(row)];
  a.Caption = S(Edit8->text());
  a.SMTPServer = S(Edit6->text());
  a.Port = *port;
  a.Authenticate = CheckBox5->isChecked();
  a.UserName = S(Edit9->text());
  a.Password = S(Edit10->text());
  a.From = S(Edit11->text());
  a.To = S(Edit12->text());
  a.Subject = S(Edit13->text());
  CheckBox5Click();
  return true;
}

void TGlobalSettingFrm::LVChanging(int previousRow) {
  WriteBack(previousRow);
}

void TGlobalSettingFrm::LVChange() {
  const int row = SelectedRow();
  if (row != shownRow_) {
    // A port that does not convert keeps the previous row selected.
    if (!WriteBack(shownRow_)) {
      const QSignalBlocker block(LV);
      LV->clearSelection();
      if (QTreeWidgetItem* item = LV->topLevelItem(shownRow_)) item->setSelected(true);
      return;
    }
    shownRow_ = row;
    if (row >= 0) {
      const TEmailAccount& a = *accounts_[static_cast<size_t>(row)];
      Edit8->setText(Q(a.Caption));
      Edit6->setText(Q(a.SMTPServer));
      Edit7->setText(QString::number(a.Port));
      CheckBox5->setChecked(a.Authenticate);
      Edit9->setText(Q(a.UserName));
      Edit10->setText(Q(a.Password));
      Edit11->setText(Q(a.From));
      Edit12->setText(Q(a.To));
      Edit13->setText(Q(a.Subject));
    }
  }
  ApplyAccountActions();
}

void TGlobalSettingFrm::CreateEmailAccountExecute() {
  auto account = std::make_unique<TEmailAccount>();
  account->Caption = "Unnamed email account";
  new QTreeWidgetItem(LV, {Q(account->Caption)});  // owned by the list
  accounts_.push_back(std::move(account));
  LV->setCurrentItem(LV->topLevelItem(LV->topLevelItemCount() - 1));
}

bool TGlobalSettingFrm::ModifyEmailAccountExecute() {
  return WriteBack(SelectedRow());
}

void TGlobalSettingFrm::DeleteEmailAccountExecute() {
  const int row = SelectedRow();
  if (row < 0) return;
  if (UserInterface()->MessageBox("You are going to remove an email account. Continue?",
                                  "Delete Warning", TMessageButtons::YesNo,
                                  TMessageKind::Warning) != TModalResult::Yes)
    return;
  {
    // The row goes first, so nothing shown refers to the freed account.
    const QSignalBlocker block(LV);
    delete LV->takeTopLevelItem(row);
    shownRow_ = -1;
  }
  accounts_.erase(accounts_.begin() + row);
  if (LV->topLevelItemCount() > 0) LV->setCurrentItem(LV->topLevelItem(0));
  ApplyAccountActions();
}

void TGlobalSettingFrm::Button1Click() {
  const int row = SelectedRow();
  if (row < 0) return;
  TEmailAccount& account = *accounts_[static_cast<size_t>(row)];
  TEditBodyFrm editor(this);
  editor.Memo1->setPlainText(Q(account.Body));
  if (editor.exec() == 1) account.Body = S(editor.Memo1->toPlainText());
}

void TGlobalSettingFrm::SMTPStatus(const QString& text) {
  setWindowTitle("Testing ... " + text);
}

void TGlobalSettingFrm::TestEmailAccountExecute() {
  const int row = SelectedRow();
  if (row < 0 || testing_ || !WriteBack(row)) return;
  TProject mail;
  CopyMailAccount(*accounts_[static_cast<size_t>(row)], mail);
  const int timeout = settings_.NetworkTimeoutSec;

  // The mail goes out on a worker; the window keeps handling events and shows the client's
  // status texts, which reach it through the status panel.
  testing_ = true;
  ApplyAccountActions();
  for (QWidget* w : {static_cast<QWidget*>(PageControl1), static_cast<QWidget*>(SpeedButton1),
                     static_cast<QWidget*>(SpeedButton2), static_cast<QWidget*>(SpeedButton3)})
    w->setEnabled(false);
  QMetaObject::Connection statusLink;
  if (auto* ui = dynamic_cast<TQtUserInterface*>(UserInterface().get()))
    statusLink = connect(ui, &TQtUserInterface::statusPanelChanged, this,
                         [this](int index, const QString& text) {
                           if (index == 1) SMTPStatus(text);
                         });
  SMTPStatus("Connecting...");
  std::atomic<bool> finished{false};
  std::atomic<bool> sent{false};
  {
    platform::shell::JobThread worker([&] {
      sent = SendNotificationMail(mail, platform::shell::Now(), "", timeout);
      finished = true;
      QMetaObject::invokeMethod(
          this, [] {}, Qt::QueuedConnection);
    });
    worker.Resume();
    while (!finished) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  disconnect(statusLink);
  setWindowTitle(kCaption);
  for (QWidget* w : {static_cast<QWidget*>(PageControl1), static_cast<QWidget*>(SpeedButton1),
                     static_cast<QWidget*>(SpeedButton2), static_cast<QWidget*>(SpeedButton3)})
    w->setEnabled(true);
  testing_ = false;
  ApplyAccountActions();
  if (sent)
    UserInterface()->MessageBox("The test email has been sent.", kCaption, TMessageButtons::Ok,
                                TMessageKind::Information);
  else
    ShowError("The test email could not be sent. Check error in console window");
}

void TGlobalSettingFrm::ShowError(const std::string& text) {
  UserInterface()->MessageBox(text, kCaption, TMessageButtons::Ok, TMessageKind::Error);
}

bool TGlobalSettingFrm::ValidateInput() {
  const QString folder = Edit2->text();
  if (folder.isEmpty() || !platform::fs::IsDirectory(S(folder))) {
    ShowError("Please choose a valid temp folder");
    return false;
  }
  if (Edit1->text().isEmpty()) {
    ShowError("Please enter how many minutes after startup before running.");
    return false;
  }
  const bool retry = CheckBox3->isChecked();
  const bool counted = retry && !CheckBox4->isChecked();
  if (Edit3->text().isEmpty() || (retry && Edit4->text().isEmpty()) ||
      (counted && Edit5->text().isEmpty())) {
    ShowError("Please complete setting in Transfer setting.");
    return false;
  }
  if (!WholeNumber(Edit1->text()) || !WholeNumber(Edit3->text()) ||
      (retry && !WholeNumber(Edit4->text())) || (counted && !WholeNumber(Edit5->text()))) {
    ShowError(kNumbersMessage);
    return false;
  }
  return true;
}

bool TGlobalSettingFrm::SaveToSettings() {
  // The selected account's unsaved edits count as well.
  if (!WriteBack(SelectedRow())) return false;
  const auto delay = WholeNumber(Edit1->text());
  const auto timeout = WholeNumber(Edit3->text());
  if (!delay || !timeout) {
    ShowError(kNumbersMessage);
    return false;
  }
  // Fields the user cannot edit just now keep their value when their text is no number.
  const std::int32_t reconnect = WholeNumber(Edit4->text()).value_or(settings_.ReconnectDelaySec);
  const std::int32_t retries = WholeNumber(Edit5->text()).value_or(settings_.RetryCount);
  std::string temp = S(Edit2->text());
  if (!temp.empty() && temp.back() != '\\') temp += '\\';

  TGlobalSetting& s = settings_;
  s.AutoStart = CheckBox1->isChecked();
  s.ShowSplash = CheckBox2->isChecked();
  s.ShowWizardAtStart = CheckBox6->isChecked();
  s.StartDelayMinutes = *delay;
  s.PriorityIndex = TrackBar1->value();
  s.TempFolder = temp;
  s.NetworkTimeoutSec = *timeout;
  s.ReconnectDelaySec = reconnect;
  s.AutoRetry = CheckBox3->isChecked();
  s.RetryCount = retries;
  s.UnlimitedRetries = CheckBox4->isChecked();
  s.AutoShowConsole = CheckBox7->isChecked();
  s.ConsoleOnTop = CheckBox8->isChecked();
  s.LogFontCharset = fontCharset_;
  s.LogFontColor = fontColor_;
  s.LogFontHeight = fontHeight_;
  s.LogFontName = fontName_;
  s.LogFontPitch = fontPitch_;
  s.LogFontSize = fontSize_;
  s.LogFontStyle = fontStyle_;
  s.Accounts.clear();
  for (const auto& account : accounts_) s.Accounts.push_back(account->Clone());
  s.KeepInRange();
  return true;
}

void TGlobalSettingFrm::SpeedButton1Click() {
  if (testing_ || !ValidateInput() || !SaveToSettings()) return;
  if (!settings_.SaveToRegistry()) LogError("The settings could not be saved to the registry.");
  if (!SetAutoStart(settings_.AutoStart)) LogError("The start-up entry could not be changed.");
  done(1);
}

void TGlobalSettingFrm::SpeedButton2Click() {
  if (!testing_) done(2);
}

void TGlobalSettingFrm::SpeedButton3Click() {
  // Only the controls take the defaults; Cancel keeps the settings as they were.
  TGlobalSetting defaults;
  defaults.SaveOnDestroy = false;
  defaults.SetDefaults();
  defaults.TempFolder = DefaultTempFolder();
  LoadFields(defaults);
}

void TGlobalSettingFrm::SpeedButton4Click() {
  TBrowseForFolder browser(this);
  browser.Caption = "Select Folder";
  browser.StatusText = "Please select folder";
  if (browser.Execute()) Edit2->setText(Q(browser.FolderName));
}

void TGlobalSettingFrm::SpeedButton5Click() {
  TLogFontDialog dialog(Panel1->font(), FontColor(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  const QFont font = dialog.SelectedFont();
  const QColor color = dialog.SelectedColor();
  fontColor_ = color.red() | color.green() << 8 | color.blue() << 16;
  fontName_ = S(font.family());
  fontSize_ = font.pointSize() > 0 ? font.pointSize() : fontSize_;
  fontStyle_ = static_cast<std::uint8_t>((font.bold() ? 1 : 0) | (font.italic() ? 2 : 0) |
                                         (font.underline() ? 4 : 0) | (font.strikeOut() ? 8 : 0));
  // Height in the settings' device units at 96 dots per inch, negative for a character height.
  fontHeight_ = -(fontSize_ * 96 + 36) / 72;
  ShowFont();
}

void TGlobalSettingFrm::CheckBox3Click() {
  const bool retry = CheckBox3->isChecked();
  Edit4->setReadOnly(!retry);
  // "unlimited" makes the count meaningless, so it cannot be edited then.
  Edit5->setReadOnly(!retry);
  Edit5->setEnabled(!(retry && CheckBox4->isChecked()));
  CheckBox4->setEnabled(retry);
}

void TGlobalSettingFrm::CheckBox5Click() {
  Edit9->setReadOnly(!CheckBox5->isChecked());
  Edit10->setReadOnly(!CheckBox5->isChecked());
}

void TGlobalSettingFrm::CheckBox7Click() {
  CheckBox8->setEnabled(CheckBox7->isChecked());
}

bool TGlobalSettingFrm::SetAutoStart(bool enabled) {
  auto key = platform::registry::Key::Open(platform::registry::Hive::CurrentUser,
                                           platform::registry::kRunKeyPath, true);
  if (!key) return false;
  if (!enabled) return !key->ReadString(kRunValueName) || key->DeleteValue(kRunValueName);
  const std::string program = platform::fs::FromPosix(S(QCoreApplication::applicationFilePath()));
  return key->WriteString(kRunValueName, platform::registry::ShortPath(program));
}
