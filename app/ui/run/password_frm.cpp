#include "app/ui/run/password_frm.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

TEnterPasswordFrm::TEnterPasswordFrm(QWidget* parent) : QDialog(parent) {
  setObjectName("EnterPasswordFrm");
  setWindowTitle("Need Password");
  Label1 = new QLabel("Enter password", this);
  Label1->setObjectName("Label1");
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName("Edit1");
  Edit1->setEchoMode(QLineEdit::Password);
  Label1->setBuddy(Edit1);
  OKBtn = new QPushButton("OK", this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton("Cancel", this);
  CancelBtn->setObjectName("CancelBtn");

  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addWidget(Edit1);
  layout->addLayout(buttons);

  connect(OKBtn, &QPushButton::clicked, this, &TEnterPasswordFrm::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &TEnterPasswordFrm::CancelBtnClick);
}

void TEnterPasswordFrm::OKBtnClick() {
  done(1);
}

void TEnterPasswordFrm::CancelBtnClick() {
  done(2);
}
