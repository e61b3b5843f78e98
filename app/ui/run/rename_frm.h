// "Change Project Name": asks for a project name that is not taken yet.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

class TChangeNameFrm : public QDialog {
  Q_OBJECT

 public:
  explicit TChangeNameFrm(QWidget* parent = nullptr);

  // OK: a message and the dialog stays open when the new name equals the old one (compared
  // exactly) or is empty; otherwise result 1.
  void OKBtnClick();
  void CancelBtnClick();

  QLabel* Label1 = nullptr;
  QLineEdit* Edit1 = nullptr;  // the old name, disabled
  QLineEdit* Edit2 = nullptr;  // the new name
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 protected:
  void reject() override { done(2); }
};
