// "Proxy Settings" of an FTP destination. The project dialog and the wizard fill the controls,
// apply the enable rules and read the controls back after OK.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

class TProxySettingFrm : public QDialog {
  Q_OBJECT

 public:
  explicit TProxySettingFrm(QWidget* parent = nullptr);

  // "Use proxy setting" enables host, port, type and "Need password"; user name and password
  // need both boxes ticked. Runs whenever either box changes.
  void ApplyEnableRules();
  void CheckBox1Click();
  void CheckBox2Click();
  void OKBtnClick();
  void CancelBtnClick();
  void ResetBtnClick();

  QCheckBox* CheckBox1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QLineEdit* Edit3 = nullptr;
  QLineEdit* Edit4 = nullptr;
  QCheckBox* CheckBox2 = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;
  QPushButton* ResetBtn = nullptr;

 protected:
  void reject() override { done(2); }
};
