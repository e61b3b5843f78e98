#include "app/ui/project/invalid_files_frm.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

TInvalidFileFrm::TInvalidFileFrm(QWidget* parent) : QDialog(parent) {
  setObjectName("InvalidFileFrm");
  setWindowTitle("Please confirm...");
  Label1 =
      new QLabel("Can not open these files. Please choose how to deal with these files.", this);
  Label1->setObjectName("Label1");
  Label1->setWordWrap(true);
  LV = new QTreeWidget(this);
  LV->setObjectName("LV");
  LV->setRootIsDecorated(false);
  LV->setHeaderLabels({"File Name"});
  UnselectBtn = new QPushButton("Un-select", this);
  UnselectBtn->setObjectName("UnselectBtn");
  DoNothingBtn = new QPushButton("Do nothing", this);
  DoNothingBtn->setObjectName("DoNothingBtn");

  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  buttons->addWidget(UnselectBtn);
  buttons->addWidget(DoNothingBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addWidget(LV, 1);
  layout->addLayout(buttons);
  resize(520, 320);

  connect(UnselectBtn, &QPushButton::clicked, this, &TInvalidFileFrm::UnselectBtnClick);
  connect(DoNothingBtn, &QPushButton::clicked, this, &TInvalidFileFrm::DoNothingBtnClick);
}

void TInvalidFileFrm::SetFiles(const std::vector<std::string>& files) {
  LV->clear();
  for (const auto& file : files) new QTreeWidgetItem(LV, {QString::fromStdString(file)});
}

void TInvalidFileFrm::UnselectBtnClick() {
  done(1);
}

void TInvalidFileFrm::DoNothingBtnClick() {
  done(2);
}
