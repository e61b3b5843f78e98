#include "app/ui/settings/mail_body_frm.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

TEditBodyFrm::TEditBodyFrm(QWidget* parent) : QDialog(parent) {
  setObjectName("EditBodyFrm");
  setWindowTitle("Edit Email Body");
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  KeywordHelp = new QLabel(this);
  KeywordHelp->setObjectName("KeywordHelp");
  KeywordHelp->setTextFormat(Qt::PlainText);
  KeywordHelp->setText(
      "Keywords    ( including [ and ] )\n"
      "[ProjectName] : name of the processed project\n"
      "[Runtime] :        the time when the project was processed\n"
      "[ErrorString] :    error description");
  OKBtn = new QPushButton("OK", this);
  OKBtn->setObjectName("OKBtn");
  CancelBtn = new QPushButton("Cancel", this);
  CancelBtn->setObjectName("CancelBtn");

  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Memo1, 1);
  layout->addWidget(KeywordHelp);
  layout->addLayout(buttons);
  resize(460, 340);

  connect(OKBtn, &QPushButton::clicked, this, &TEditBodyFrm::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &TEditBodyFrm::CancelBtnClick);
}

void TEditBodyFrm::OKBtnClick() {
  done(1);
}

void TEditBodyFrm::CancelBtnClick() {
  done(2);
}
