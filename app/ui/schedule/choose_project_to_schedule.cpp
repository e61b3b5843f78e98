#include "app/ui/schedule/choose_project_to_schedule.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>
#include <algorithm>

#include "app/engine/user_interface.h"
#include "app/ui/run/qt_user_interface.h"
#include "app/ui/widgets/column_widths.h"

namespace {

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string S(const QString& s) {
  return s.toUtf8().toStdString();
}

}  // namespace

std::optional<std::string> ChooseProjectFile() {
  auto* ui = dynamic_cast<TQtUserInterface*>(UserInterface().get());
  if (!ui) return std::nullopt;
  return ui->ChooseOpenFile("Open", "Quorva Backup Project File (*.bpj)|*.bpj", "bpj");
}

TChooseProjectToSchedule::TChooseProjectToSchedule(
    const std::vector<std::pair<std::string, std::string>>& projects, QWidget* parent)
    : QDialog(parent) {
  setObjectName("ChooseProjectToSchedule");
  setWindowTitle("Choose project to schedule");
  FromManager = new QRadioButton("choose project from Project Manager", this);
  FromManager->setObjectName("FromManager");
  FromManager->setChecked(true);
  ProjectList = new QTreeWidget(this);
  ProjectList->setObjectName("ProjectList");
  ProjectList->setRootIsDecorated(false);
  ProjectList->setHeaderLabels({"Name", "Location"});
  ProjectList->setSelectionBehavior(QAbstractItemView::SelectRows);
  ProjectList->setSelectionMode(QAbstractItemView::SingleSelection);
  ProjectList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (const auto& [name, file] : projects) new QTreeWidgetItem(ProjectList, {Q(name), Q(file)});
  FitColumns(ProjectList, {120, 220}, 1);
  FromOther = new QRadioButton("choose project from other location...", this);
  FromOther->setObjectName("FromOther");
  PathEdit = new QLineEdit(this);
  PathEdit->setObjectName("PathEdit");
  BrowseBtn = new QPushButton("...", this);
  BrowseBtn->setObjectName("BrowseBtn");
  BrowseBtn->setFixedWidth(32);
  OKBtn = new QPushButton("OK", this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton("Cancel", this);
  CancelBtn->setObjectName("CancelBtn");

  auto* path = new QHBoxLayout;
  path->addWidget(PathEdit, 1);
  path->addWidget(BrowseBtn);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(FromManager);
  layout->addWidget(ProjectList, 1);
  layout->addWidget(FromOther);
  layout->addLayout(path);
  layout->addLayout(buttons);
  const QMargins margins = layout->contentsMargins();
  resize(std::max(380, FittedListWidth(ProjectList) + margins.left() + margins.right()), 320);

  connect(OKBtn, &QPushButton::clicked, this, &TChooseProjectToSchedule::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &TChooseProjectToSchedule::CancelBtnClick);
  connect(BrowseBtn, &QPushButton::clicked, this, &TChooseProjectToSchedule::BrowseBtnClick);
}

void TChooseProjectToSchedule::OKBtnClick() {
  const auto rows = ProjectList->selectedItems();
  const bool chosen = FromOther->isChecked() ? !PathEdit->text().isEmpty() : rows.size() == 1;
  if (!chosen) {
    UserInterface()->MessageBox("Please choose a project", "Quorva Backup", TMessageButtons::Ok,
                                TMessageKind::Information);
    return;
  }
  if (FromOther->isChecked()) {
    ProjectName.clear();
    ProjectFile = S(PathEdit->text());
  } else {
    ProjectName = S(rows.front()->text(0));
    ProjectFile = S(rows.front()->text(1));
  }
  done(1);
}

void TChooseProjectToSchedule::CancelBtnClick() {
  done(2);
}

void TChooseProjectToSchedule::BrowseBtnClick() {
  if (const auto file = ChooseProjectFile()) PathEdit->setText(Q(*file));
}
