// "Edit Email Body": edits the notification mail's body template, with its keywords shown.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

class TEditBodyFrm : public QDialog {
  Q_OBJECT

 public:
  explicit TEditBodyFrm(QWidget* parent = nullptr);

  void OKBtnClick();
  void CancelBtnClick();

  QPlainTextEdit* Memo1 = nullptr;
  QLabel* KeywordHelp = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 protected:
  void reject() override { done(2); }
};
