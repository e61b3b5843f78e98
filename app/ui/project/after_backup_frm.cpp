#include "app/ui/project/after_backup_frm.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

TAfterBackupWizardFrm::TAfterBackupWizardFrm(QWidget* parent) : QDialog(parent) {
  setObjectName("AfterBackupWizardFrm");
  setWindowTitle("Backup completed!");
  Label1 =
      new QLabel("Backup completed. Please choose how to deal with this project setting?", this);
  Label1->setObjectName("Label1");
  Label1->setWordWrap(true);
  SaveOtherBtn = new QPushButton("Save to other location", this);
  SaveOtherBtn->setObjectName("SaveOtherBtn");
  DiscardBtn = new QPushButton("Discard", this);
  DiscardBtn->setObjectName("DiscardBtn");
  SaveListBtn = new QPushButton("Save to project list", this);
  SaveListBtn->setObjectName("SaveListBtn");
  SaveListBtn->setDefault(true);

  auto* buttons = new QHBoxLayout();
  buttons->addWidget(SaveOtherBtn);
  buttons->addWidget(DiscardBtn);
  buttons->addWidget(SaveListBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addLayout(buttons);

  connect(SaveOtherBtn, &QPushButton::clicked, this, &TAfterBackupWizardFrm::SaveOtherBtnClick);
  connect(DiscardBtn, &QPushButton::clicked, this, &TAfterBackupWizardFrm::DiscardBtnClick);
  connect(SaveListBtn, &QPushButton::clicked, this, &TAfterBackupWizardFrm::SaveListBtnClick);
}

void TAfterBackupWizardFrm::ShowFailedRun() {
  setWindowTitle("Backup failed!");
  Label1->setText("The backup failed. Please choose how to deal with this project setting?");
}

void TAfterBackupWizardFrm::SaveOtherBtnClick() {
  done(1);
}

void TAfterBackupWizardFrm::DiscardBtnClick() {
  done(2);
}

void TAfterBackupWizardFrm::SaveListBtnClick() {
  done(11);
}
