// "Backup completed!": what becomes of a wizard project that has no project file yet. After a
// run that failed the same choice is offered under a caption that says so.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

class TAfterBackupWizardFrm : public QDialog {
  Q_OBJECT

 public:
  explicit TAfterBackupWizardFrm(QWidget* parent = nullptr);

  // The run failed: the project can still be kept, but nothing tells the user it ran.
  void ShowFailedRun();

  void SaveOtherBtnClick();  // 1
  void DiscardBtnClick();    // 2
  void SaveListBtnClick();   // 11

  QLabel* Label1 = nullptr;
  QPushButton* SaveOtherBtn = nullptr;
  QPushButton* DiscardBtn = nullptr;
  QPushButton* SaveListBtn = nullptr;

 protected:
  void reject() override { done(2); }
};
