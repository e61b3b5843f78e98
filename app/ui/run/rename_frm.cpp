#include "app/ui/run/rename_frm.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QVBoxLayout>

TChangeNameFrm::TChangeNameFrm(QWidget* parent) : QDialog(parent) {
  setObjectName("ChangeNameFrm");
  setWindowTitle("Change Project Name");
  Label1 = new QLabel(
      "There is already an existing project with the same name of the project from the QVP "
      "that you have selected. Please enter a new name to continue.",
      this);
  Label1->setObjectName("Label1");
  Label1->setWordWrap(true);
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName("Edit1");
  Edit1->setEnabled(false);
  Edit2 = new QLineEdit(this);
  Edit2->setObjectName("Edit2");
  OKBtn = new QPushButton("OK", this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton("Cancel", this);
  CancelBtn->setObjectName("CancelBtn");

  auto* form = new QFormLayout();
  form->addRow("Old Name", Edit1);
  form->addRow("New Name", Edit2);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addLayout(form);
  layout->addLayout(buttons);
  resize(420, sizeHint().height());

  connect(OKBtn, &QPushButton::clicked, this, &TChangeNameFrm::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &TChangeNameFrm::CancelBtnClick);
}

void TChangeNameFrm::OKBtnClick() {
  const QString title = QApplication::applicationDisplayName();
  if (Edit2->text() == Edit1->text()) {
    QMessageBox::information(this, title, "Please enter a different name!");
    return;
  }
  if (Edit2->text().isEmpty()) {
    QMessageBox::information(this, title, "Please enter a new name!");
    return;
  }
  done(1);
}

void TChangeNameFrm::CancelBtnClick() {
  done(2);
}
