// "Global Settings": edits the settings object and its mail accounts, sends a test mail and
// switches the start-with-Windows entry. Nothing reaches the settings object before OK.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QColor>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/engine/settings/email_account.h"
#include "app/ui/widgets/up_down_edit.h"

class TGlobalSetting;

class TGlobalSettingFrm : public QDialog {
  Q_OBJECT

 public:
  explicit TGlobalSettingFrm(TGlobalSetting& settings, QWidget* parent = nullptr);

  // The controls from the settings' fields and a clone of each account.
  void LoadFromSettings();
  // Converts and checks every field, then commits them all to the settings; false (with the
  // message shown) changes nothing.
  bool SaveToSettings();
  bool ValidateInput();
  void SpeedButton1Click();
  void SpeedButton2Click();
  void SpeedButton3Click();
  void SpeedButton4Click();
  void SpeedButton5Click();
  void CheckBox3Click();
  void CheckBox5Click();
  void CheckBox7Click();
  void CreateEmailAccountExecute();
  // Writes the edits into the selected row's account; false (with the error shown) when the
  // port is no number.
  bool ModifyEmailAccountExecute();
  void DeleteEmailAccountExecute();
  void TestEmailAccountExecute();
  void Button1Click();
  void SMTPStatus(const QString& text);
  // The Run-key value "QUORVABACKUP": written with the program's path, or deleted.
  static bool SetAutoStart(bool enabled);

  // The clones the rows stand for, in row order.
  const std::vector<std::unique_ptr<TEmailAccount>>& Accounts() const { return accounts_; }

  QTabWidget* PageControl1 = nullptr;
  QCheckBox* CheckBox1 = nullptr;  // auto start
  QCheckBox* CheckBox2 = nullptr;  // splash
  QCheckBox* CheckBox6 = nullptr;  // wizard at start
  TUpDownEdit* UpDown1 = nullptr;
  QLineEdit* Edit1 = nullptr;  // start delay: the edit inside UpDown1
  QSlider* TrackBar1 = nullptr;
  QLabel* PriorityLow = nullptr;
  QLabel* PriorityNormal = nullptr;
  QLabel* PriorityHigh = nullptr;
  QLineEdit* Edit2 = nullptr;  // temporary folder
  QPushButton* SpeedButton4 = nullptr;
  QLineEdit* Edit3 = nullptr;      // network time-out
  QLineEdit* Edit4 = nullptr;      // reconnect delay
  QCheckBox* CheckBox3 = nullptr;  // auto retry
  QLineEdit* Edit5 = nullptr;      // retries
  QCheckBox* CheckBox4 = nullptr;  // unlimited
  QToolBar* ToolBar1 = nullptr;
  QAction* CreateEmailAccount = nullptr;
  QAction* ModifyEmailAccount = nullptr;
  QAction* DeleteEmailAccount = nullptr;
  QAction* TestEmailAccount = nullptr;
  QTreeWidget* LV = nullptr;
  QLineEdit* Edit6 = nullptr;   // SMTP server
  QLineEdit* Edit7 = nullptr;   // port
  QLineEdit* Edit8 = nullptr;   // caption
  QLineEdit* Edit9 = nullptr;   // user name
  QLineEdit* Edit10 = nullptr;  // password
  QCheckBox* CheckBox5 = nullptr;
  QLineEdit* Edit11 = nullptr;  // from
  QLineEdit* Edit12 = nullptr;  // to
  QLineEdit* Edit13 = nullptr;  // subject
  QPushButton* Button1 = nullptr;
  QPushButton* SpeedButton5 = nullptr;
  QLabel* Panel1 = nullptr;
  QCheckBox* CheckBox8 = nullptr;  // console on top
  QCheckBox* CheckBox7 = nullptr;  // auto show console
  QPushButton* SpeedButton1 = nullptr;
  QPushButton* SpeedButton2 = nullptr;
  QPushButton* SpeedButton3 = nullptr;

 protected:
  void reject() override { SpeedButton2Click(); }

 private:
  void LoadFields(const TGlobalSetting& from);
  int SelectedRow() const;
  void LVChange();
  void LVChanging(int previousRow);
  bool WriteBack(int row);
  void ApplyAccountActions();
  void ShowError(const std::string& text);
  void ShowFont();
  QColor FontColor() const;

  TGlobalSetting& settings_;
  // The sample panel's log font, as the settings keep it.
  std::uint8_t fontCharset_ = 1;
  std::int32_t fontColor_ = 0;
  std::int32_t fontHeight_ = -11;
  std::string fontName_;
  std::uint8_t fontPitch_ = 0;
  std::int32_t fontSize_ = 8;
  std::uint8_t fontStyle_ = 0;
  std::vector<std::unique_ptr<TEmailAccount>> accounts_;
  int shownRow_ = -1;  // the row whose account the edits show
  bool testing_ = false;
};
