// "Need Password": asks for the password of an encrypted archive.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

class TEnterPasswordFrm : public QDialog {
  Q_OBJECT

 public:
  explicit TEnterPasswordFrm(QWidget* parent = nullptr);

  void OKBtnClick();
  void CancelBtnClick();

  QLabel* Label1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 protected:
  void reject() override { done(2); }
};
