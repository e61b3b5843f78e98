#include "app/ui/project/proxy_frm.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

TProxySettingFrm::TProxySettingFrm(QWidget* parent) : QDialog(parent) {
  setObjectName("ProxySettingFrm");
  setWindowTitle("Proxy Settings");
  CheckBox1 = new QCheckBox("Use proxy setting", this);
  CheckBox1->setObjectName("CheckBox1");
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName("Edit1");
  Edit2 = new QLineEdit(this);
  Edit2->setObjectName("Edit2");
  Edit3 = new QLineEdit(this);
  Edit3->setObjectName("Edit3");
  Edit4 = new QLineEdit(this);
  Edit4->setObjectName("Edit4");
  Edit4->setEchoMode(QLineEdit::Password);
  CheckBox2 = new QCheckBox("Need password", this);
  CheckBox2->setObjectName("CheckBox2");
  ComboBox1 = new QComboBox(this);
  ComboBox1->setObjectName("ComboBox1");
  // Indexes are the project's ProxyType.
  ComboBox1->addItems({"User Site ", "SITE < Site Host >", "OPEN < Open Host >",
                       "User Pass < USER HOST, PASS >", "Transparent"});
  ComboBox1->setCurrentIndex(0);
  OKBtn = new QPushButton("OK", this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton("Cancel", this);
  CancelBtn->setObjectName("CancelBtn");
  ResetBtn = new QPushButton("Reset", this);
  ResetBtn->setObjectName("ResetBtn");

  auto* form = new QFormLayout();
  form->addRow("Host", Edit1);
  form->addRow("Port", Edit2);
  form->addRow("Proxy type", ComboBox1);
  form->addRow(QString(), CheckBox2);
  form->addRow("User name", Edit3);
  form->addRow("Password", Edit4);
  auto* buttons = new QHBoxLayout();
  buttons->addWidget(ResetBtn);
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(CheckBox1);
  layout->addLayout(form);
  layout->addLayout(buttons);

  connect(CheckBox1, &QCheckBox::toggled, this, &TProxySettingFrm::CheckBox1Click);
  connect(CheckBox2, &QCheckBox::toggled, this, &TProxySettingFrm::CheckBox2Click);
  connect(OKBtn, &QPushButton::clicked, this, &TProxySettingFrm::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &TProxySettingFrm::CancelBtnClick);
  connect(ResetBtn, &QPushButton::clicked, this, &TProxySettingFrm::ResetBtnClick);
  ApplyEnableRules();
}

void TProxySettingFrm::ApplyEnableRules() {
  const bool use = CheckBox1->isChecked();
  const bool auth = use && CheckBox2->isChecked();
  for (QWidget* w : {static_cast<QWidget*>(Edit1), static_cast<QWidget*>(Edit2),
                     static_cast<QWidget*>(ComboBox1), static_cast<QWidget*>(CheckBox2)})
    w->setEnabled(use);
  Edit3->setEnabled(auth);
  Edit4->setEnabled(auth);
}

void TProxySettingFrm::CheckBox1Click() {
  ApplyEnableRules();
}

void TProxySettingFrm::CheckBox2Click() {
  ApplyEnableRules();
}

void TProxySettingFrm::OKBtnClick() {
  done(1);
}

void TProxySettingFrm::CancelBtnClick() {
  done(2);
}

void TProxySettingFrm::ResetBtnClick() {}
