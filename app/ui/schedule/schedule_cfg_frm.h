// "Schedule Configuration": a schedule's kind and timing, how many runs are left, and the
// account it runs as, with a test of that account.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

class TSchedule;

class TScheduleCfgFrm : public QDialog {
  Q_OBJECT

 public:
  // The kind choices start unchecked and every field empty.
  explicit TScheduleCfgFrm(QWidget* parent = nullptr);

  void ScheduleToForm(const TSchedule& schedule);
  // The checked kind sets Kind and, for kinds 1 and 2, its three numbers; with none checked
  // they keep their values. Call after ValidateInput passed.
  void FormToSchedule(TSchedule& schedule) const;
  // A kind is checked, its number fields hold whole numbers, and so does the stop field when
  // its box is ticked.
  bool ValidateInput() const;

  void OKBtnClick();
  void CancelBtnClick();
  void TestBtnClick();

  QRadioButton* RunAtStartup = nullptr;  // "Run when starts up"
  QRadioButton* RunEvery = nullptr;
  QLineEdit* EveryDays = nullptr;
  QLineEdit* EveryHours = nullptr;
  QLineEdit* EveryMinutes = nullptr;
  QRadioButton* RunAt = nullptr;
  QLineEdit* AtHour = nullptr;
  QLineEdit* AtMinute = nullptr;
  QLineEdit* AtSecond = nullptr;
  QCheckBox* StopAfter = nullptr;  // "Stop this scheduled task after executed for"
  QLineEdit* StopTimes = nullptr;
  QGroupBox* AccountBox = nullptr;  // "Account information"
  QLineEdit* RunAsAccount = nullptr;
  QLineEdit* Password = nullptr;
  QPushButton* TestBtn = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 protected:
  void reject() override { done(2); }

 private:
  void FormCreate();
};
