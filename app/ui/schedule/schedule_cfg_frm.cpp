#include "app/ui/schedule/schedule_cfg_frm.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/engine/schedule/schedule.h"
#include "app/engine/user_interface.h"
#include "platform/shell/shell.h"

namespace {

constexpr const char* kTitle = "Quorva Backup";

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string S(const QString& s) {
  return s.toUtf8().toStdString();
}

void Tell(const std::string& text) {
  UserInterface()->MessageBox(text, kTitle, TMessageButtons::Ok, TMessageKind::Information);
}

QLineEdit* NumberField(QWidget* parent, const char* name) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setMaximumWidth(60);
  return edit;
}

// A whole number as the user typed it; an empty field is none.
bool WholeNumber(const QLineEdit* field, std::int32_t* value = nullptr) {
  bool ok = false;
  const int v = field->text().trimmed().toInt(&ok, 10);
  if (ok && value) *value = v;
  return ok;
}

std::int32_t Number(const QLineEdit* field) {
  std::int32_t v = 0;
  WholeNumber(field, &v);
  return v;
}

}  // namespace

TScheduleCfgFrm::TScheduleCfgFrm(QWidget* parent) : QDialog(parent) {
  FormCreate();
}

void TScheduleCfgFrm::FormCreate() {
  setObjectName("ScheduleCfgFrm");
  setWindowTitle("Schedule Configuration");

  RunAtStartup = new QRadioButton("Run when starts up", this);
  RunAtStartup->setObjectName("RunAtStartup");
  RunEvery = new QRadioButton("Run every", this);
  RunEvery->setObjectName("RunEvery");
  RunAt = new QRadioButton("Run at", this);
  RunAt->setObjectName("RunAt");
  auto* kinds = new QButtonGroup(this);
  for (QRadioButton* b : {RunAtStartup, RunEvery, RunAt}) kinds->addButton(b);
  EveryDays = NumberField(this, "EveryDays");
  EveryHours = NumberField(this, "EveryHours");
  EveryMinutes = NumberField(this, "EveryMinutes");
  AtHour = NumberField(this, "AtHour");
  AtMinute = NumberField(this, "AtMinute");
  AtSecond = NumberField(this, "AtSecond");
  StopAfter = new QCheckBox("Stop this scheduled task after executed for", this);
  StopAfter->setObjectName("StopAfter");
  StopTimes = NumberField(this, "StopTimes");

  AccountBox = new QGroupBox("Account information", this);
  AccountBox->setObjectName("AccountBox");
  RunAsAccount = new QLineEdit(AccountBox);
  RunAsAccount->setObjectName("RunAsAccount");
  RunAsAccount->setToolTip(
      Q("Example: " + platform::shell::UserName() + "@" + platform::shell::ComputerName()));
  Password = new QLineEdit(AccountBox);
  Password->setObjectName("Password");
  Password->setEchoMode(QLineEdit::Password);
  TestBtn = new QPushButton("Test", AccountBox);
  TestBtn->setObjectName("TestBtn");
  // Logging on as another account belongs to the NT platform family.
  const bool nt = platform::shell::IsWindowsNT();
  RunAsAccount->setEnabled(nt);
  Password->setEnabled(nt);

  OKBtn = new QPushButton("OK", this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton("Cancel", this);
  CancelBtn->setObjectName("CancelBtn");

  auto* timing = new QGridLayout;
  timing->addWidget(RunAtStartup, 0, 0, 1, 7);
  timing->addWidget(RunEvery, 1, 0);
  int column = 1;
  for (auto [field, unit] : {std::pair{EveryDays, "days"}, std::pair{EveryHours, "hours"},
                             std::pair{EveryMinutes, "minutes"}}) {
    timing->addWidget(field, 1, column++);
    timing->addWidget(new QLabel(unit, this), 1, column++);
  }
  timing->addWidget(RunAt, 2, 0);
  column = 1;
  for (auto [field, unit] :
       {std::pair{AtHour, "hour"}, std::pair{AtMinute, "minute"}, std::pair{AtSecond, "second"}}) {
    timing->addWidget(field, 2, column++);
    timing->addWidget(new QLabel(unit, this), 2, column++);
  }
  timing->setColumnStretch(7, 1);
  auto* stop = new QHBoxLayout;
  stop->addWidget(StopAfter);
  stop->addWidget(StopTimes);
  stop->addWidget(new QLabel("times", this));
  stop->addStretch();

  auto* account = new QGridLayout(AccountBox);
  account->addWidget(new QLabel("Run as account", AccountBox), 0, 0);
  account->addWidget(RunAsAccount, 0, 1);
  account->addWidget(new QLabel("Password", AccountBox), 1, 0);
  account->addWidget(Password, 1, 1);
  account->addWidget(TestBtn, 1, 2);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(timing);
  layout->addLayout(stop);
  layout->addWidget(AccountBox);
  layout->addLayout(buttons);

  connect(OKBtn, &QPushButton::clicked, this, &TScheduleCfgFrm::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &TScheduleCfgFrm::CancelBtnClick);
  connect(TestBtn, &QPushButton::clicked, this, &TScheduleCfgFrm::TestBtnClick);
}

void TScheduleCfgFrm::ScheduleToForm(const TSchedule& schedule) {
  RunAtStartup->setChecked(schedule.Kind == kScheduleAtStartup);
  RunEvery->setChecked(schedule.Kind == kScheduleEvery);
  RunAt->setChecked(schedule.Kind == kScheduleAt);
  if (schedule.Kind == kScheduleEvery) {
    EveryDays->setText(QString::number(schedule.EveryDays));
    EveryHours->setText(QString::number(schedule.EveryHours));
    EveryMinutes->setText(QString::number(schedule.EveryMinutes));
  } else if (schedule.Kind == kScheduleAt) {
    AtHour->setText(QString::number(schedule.AtHour));
    AtMinute->setText(QString::number(schedule.AtMinute));
    AtSecond->setText(QString::number(schedule.AtSecond));
  }
  StopAfter->setChecked(schedule.StopAfterTimes != -1);
  StopTimes->setText(QString::number(schedule.StopAfterTimes));
  RunAsAccount->setText(Q(schedule.RunAsAccount));
  Password->setText(Q(schedule.Password));
}

void TScheduleCfgFrm::FormToSchedule(TSchedule& schedule) const {
  if (RunAtStartup->isChecked()) {
    schedule.Kind = kScheduleAtStartup;
  } else if (RunEvery->isChecked()) {
    schedule.Kind = kScheduleEvery;
    schedule.EveryDays = Number(EveryDays);
    schedule.EveryHours = Number(EveryHours);
    schedule.EveryMinutes = Number(EveryMinutes);
  } else if (RunAt->isChecked()) {
    schedule.Kind = kScheduleAt;
    schedule.AtHour = Number(AtHour);
    schedule.AtMinute = Number(AtMinute);
    schedule.AtSecond = Number(AtSecond);
  }
  schedule.StopAfterTimes = StopAfter->isChecked() ? Number(StopTimes) : -1;
  schedule.RunAsAccount = S(RunAsAccount->text());
  schedule.Password = S(Password->text());
}

bool TScheduleCfgFrm::ValidateInput() const {
  // A schedule needs a kind: without one, OK would store a start-up schedule unasked.
  if (!RunAtStartup->isChecked() && !RunEvery->isChecked() && !RunAt->isChecked()) return false;
  if (RunEvery->isChecked())
    for (const QLineEdit* f : {EveryDays, EveryHours, EveryMinutes})
      if (!WholeNumber(f)) return false;
  if (RunAt->isChecked())
    for (const QLineEdit* f : {AtHour, AtMinute, AtSecond})
      if (!WholeNumber(f)) return false;
  // The stop field counts only while its box is ticked.
  return !StopAfter->isChecked() || WholeNumber(StopTimes);
}

void TScheduleCfgFrm::OKBtnClick() {
  if (!ValidateInput()) return Tell("Please complete setting");
  if (!RunAsAccount->text().isEmpty() && !RunAsAccount->text().contains('@'))
    return Tell(
        "The account should be like this: account'sname@computer'sname, please re-enter the "
        "account");
  done(1);
}

void TScheduleCfgFrm::CancelBtnClick() {
  done(2);
}

void TScheduleCfgFrm::TestBtnClick() {
  if (RunAsAccount->text().isEmpty()) return Tell("Please specify an account first!");
  Tell(platform::shell::TestLogon(S(RunAsAccount->text()), S(Password->text())) ? "Test OK!"
                                                                                : "Test failed!");
}
