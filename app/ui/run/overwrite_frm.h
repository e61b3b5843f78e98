// "Confirm overwrite": overwrite or skip an existing file while extracting, and whether to ask
// again. OK only; the caller reads Overwrite and Remember after it closes.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QPushButton>
#include <QRadioButton>

class TOverwriteFrm : public QDialog {
  Q_OBJECT

 public:
  explicit TOverwriteFrm(QWidget* parent = nullptr);

  void RadioButton1Click();
  void RadioButton2Click();
  void CheckBox1Click();
  void OKBtnClick();

  bool Remember = false;
  bool Overwrite = true;

  QRadioButton* RadioButton1 = nullptr;
  QRadioButton* RadioButton2 = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QPushButton* OKBtn = nullptr;

 protected:
  void reject() override { done(2); }
};
