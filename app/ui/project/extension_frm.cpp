#include "app/ui/project/extension_frm.h"

#include <QHBoxLayout>
#include <QMimeDatabase>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <map>

#include "app/engine/progress.h"
#include "app/engine/user_interface.h"
#include "app/ui/run/progress_frm.h"
#include "app/ui/run/pump_messages.h"
#include "app/ui/widgets/column_widths.h"

TAddExtFrm::TAddExtFrm(QWidget* parent) : QDialog(parent) {
  setObjectName("AddExtFrm");
  setWindowTitle("Choose Extension");
  RadioButton1 = new QRadioButton("Choose from system registered extension", this);
  RadioButton1->setObjectName("RadioButton1");
  RadioButton1->setChecked(true);
  LV = new QTreeWidget(this);
  LV->setObjectName("LV");
  LV->setHeaderLabels({"Extension", "Description"});
  LV->setRootIsDecorated(false);
  LV->setSelectionMode(QAbstractItemView::ExtendedSelection);
  FitColumns(LV, {});
  RadioButton2 = new QRadioButton("Specified by yourself", this);
  RadioButton2->setObjectName("RadioButton2");
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName("Edit1");
  BrowseBtn = new QPushButton("...", this);
  BrowseBtn->setObjectName("BrowseBtn");
  OKBtn = new QPushButton("OK", this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton("Cancel", this);
  CancelBtn->setObjectName("CancelBtn");

  auto* own = new QHBoxLayout;
  own->addWidget(Edit1);
  own->addWidget(BrowseBtn);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  // As wide as their texts: a click beside a text chooses nothing.
  layout->addWidget(RadioButton1, 0, Qt::AlignLeft);
  layout->addWidget(LV);
  layout->addWidget(RadioButton2, 0, Qt::AlignLeft);
  layout->addLayout(own);
  layout->addLayout(buttons);

  connect(RadioButton1, &QRadioButton::toggled, this, &TAddExtFrm::RadioButtonClick);
  connect(BrowseBtn, &QPushButton::clicked, this, &TAddExtFrm::BrowseBtnClick);
  connect(OKBtn, &QPushButton::clicked, this, &TAddExtFrm::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &TAddExtFrm::CancelBtnClick);
  RadioButtonClick();
  resize(420, 440);
}

void TAddExtFrm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TAddExtFrm::FormShow() {
  if (!filled_) FillExtensionList();
}

void TAddExtFrm::FillExtensionList() {
  ProgressCaption = "Searching File System...";
  ProgressStatus = "Searching File System...";
  PumpMessages();
  ProgressDone = false;
  ProgressShowCancel = false;
  ProgressCancelled = false;
  if (progress_) progress_->ShowNonModal();
  ProgressPosition = 0;
  Edit1->clear();
  LV->clear();
  // The system's registered extensions are the simple "*.ext" globs of its MIME database;
  // one row per extension, described by the type that claims it.
  std::map<QString, QString> extensions;
  const QMimeDatabase mime;
  for (const QMimeType& type : mime.allMimeTypes())
    for (QString suffix : type.suffixes()) {
      // Patterns such as "*.[1-9]" name no single extension.
      if (suffix.isEmpty() || suffix.contains('*') || suffix.contains('?') || suffix.contains('['))
        continue;
      // A glob matching regardless of case is registered in lower case ("*.BLEND" is
      // "*.blend"); case-sensitive ones such as "*.C" keep theirs.
      const QString lower = suffix.toLower();
      if (lower != suffix && mime.mimeTypesForFileName("x." + lower).contains(type)) suffix = lower;
      extensions.emplace("." + suffix, type.comment());
    }
  const auto total = static_cast<int>(extensions.size());
  int count = 0;
  for (const auto& [extension, description] : extensions) {
    ++count;
    ProgressStatus = description.toStdString();
    ProgressPosition = total > 0 ? (count * 100 + total / 2) / total : 100;
    auto* row = new QTreeWidgetItem(LV, {"*" + extension, description});  // owned by the list
    row->setIcon(0, style()->standardIcon(QStyle::SP_FileIcon));
    PumpMessages();
  }
  if (progress_) progress_->Finish();
  ProgressDone = true;
  filled_ = true;
  // Wide enough for the extensions found; from here on the dialog keeps its size (the user's
  // too) from one opening to the next.
  const QMargins margins = layout()->contentsMargins();
  resize(std::max(width(), FittedListWidth(LV) + margins.left() + margins.right()), height());
}

void TAddExtFrm::RadioButtonClick() {
  const bool own = RadioButton2->isChecked();
  LV->setEnabled(!own);
  Edit1->setEnabled(own);
  BrowseBtn->setEnabled(own);
}

void TAddExtFrm::BrowseBtnClick() {
  Edit1->clear();
  const auto file = UserInterface()->ChooseFile("Open", "", "All Files|*.*");
  if (!file) return;
  const QString name = QString::fromStdString(*file);
  const qsizetype slash = std::max(name.lastIndexOf('\\'), name.lastIndexOf('/'));
  const QString base = name.mid(slash + 1);
  const qsizetype dot = base.lastIndexOf('.');
  if (dot >= 0) Edit1->setText("*" + base.mid(dot));
}

void TAddExtFrm::OKBtnClick() {
  if ((RadioButton2->isChecked() && !Edit1->text().isEmpty()) ||
      (RadioButton1->isChecked() && !LV->selectedItems().isEmpty())) {
    done(1);
    return;
  }
  UserInterface()->MessageBox("Please choose an extension", "Choose Extension", TMessageButtons::Ok,
                              TMessageKind::Warning);
}

void TAddExtFrm::CancelBtnClick() {
  done(2);
}
