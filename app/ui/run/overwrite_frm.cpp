#include "app/ui/run/overwrite_frm.h"

#include <QVBoxLayout>

TOverwriteFrm::TOverwriteFrm(QWidget* parent) : QDialog(parent) {
  setObjectName("OverwriteFrm");
  setWindowTitle("Confirm overwrite");
  RadioButton1 = new QRadioButton("Overwrite the existing file", this);
  RadioButton1->setObjectName("RadioButton1");
  RadioButton1->setChecked(true);
  RadioButton2 = new QRadioButton("Skip to keep existing file", this);
  RadioButton2->setObjectName("RadioButton2");
  CheckBox1 = new QCheckBox("Remember my choice", this);
  CheckBox1->setObjectName("CheckBox1");
  OKBtn = new QPushButton("OK", this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(RadioButton1);
  layout->addWidget(RadioButton2);
  layout->addWidget(CheckBox1);
  layout->addWidget(OKBtn, 0, Qt::AlignRight);

  connect(RadioButton1, &QRadioButton::clicked, this, &TOverwriteFrm::RadioButton1Click);
  connect(RadioButton2, &QRadioButton::clicked, this, &TOverwriteFrm::RadioButton2Click);
  connect(CheckBox1, &QCheckBox::clicked, this, &TOverwriteFrm::CheckBox1Click);
  connect(OKBtn, &QPushButton::clicked, this, &TOverwriteFrm::OKBtnClick);
}

void TOverwriteFrm::RadioButton1Click() {
  Overwrite = true;
}

void TOverwriteFrm::RadioButton2Click() {
  Overwrite = false;
}

void TOverwriteFrm::CheckBox1Click() {
  Remember = CheckBox1->isChecked();
}

void TOverwriteFrm::OKBtnClick() {
  done(1);
}
