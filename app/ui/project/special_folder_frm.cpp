#include "app/ui/project/special_folder_frm.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "app/engine/progress.h"
#include "app/ui/run/pump_messages.h"
#include "app/ui/widgets/column_widths.h"
#include "platform/shell/shell.h"
#include "platform/shell/special_folders.h"

namespace {

namespace shell = platform::shell;

struct TSpecialFolder {
  const char* name;
  int csidl;
  bool allUsers;
};

constexpr TSpecialFolder kFolders[] = {
    {"Desktop", shell::CSIDL_DESKTOP, false},
    {"App Data", shell::CSIDL_APPDATA, false},
    {"Favorites", shell::CSIDL_FAVORITES, false},
    {"Personal", shell::CSIDL_PERSONAL, false},
    {"PrintHood", shell::CSIDL_PRINTHOOD, false},
    {"Recent Documents", shell::CSIDL_RECENT, false},
    {"Send To", shell::CSIDL_SENDTO, false},
    {"Start Menu", shell::CSIDL_STARTMENU, false},
    {"Templates", shell::CSIDL_TEMPLATES, false},
    {"Common Desktop Directory", shell::CSIDL_COMMON_DESKTOPDIRECTORY, true},
    {"Common StartMenu", shell::CSIDL_COMMON_STARTMENU, true},
};

}  // namespace

TSpecialfolderfrm::TSpecialfolderfrm(QWidget* parent) : QDialog(parent) {
  ProgressStatus = "Searching special folders... ";
  PumpMessages();

  setObjectName("Specialfolderfrm");
  setWindowTitle("Choose special folder");
  Label1 = new QLabel("Select folders which you wants to include", this);
  Label1->setObjectName("Label1");
  LV = new QTreeWidget(this);
  LV->setObjectName("LV");
  LV->setRootIsDecorated(false);
  LV->setSelectionBehavior(QAbstractItemView::SelectRows);
  LV->setHeaderLabels({"Folder Name", "Folder Path", "Owner"});
  OKBtn = new QPushButton("OK", this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton("Cacnel", this);
  CancelBtn->setObjectName("CancelBtn");

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addWidget(LV, 1);
  layout->addLayout(buttons);
  resize(500, 330);

  const QString user = QString::fromStdString(shell::UserName());
  const QIcon folder = style()->standardIcon(QStyle::SP_DirIcon);
  for (const TSpecialFolder& f : kFolders) {
    const auto path = shell::SpecialFolderPath(f.csidl);
    if (!path) continue;                  // no such folder here
    auto* row = new QTreeWidgetItem(LV);  // owned by the list
    row->setText(0, f.name);
    row->setText(1, QString::fromStdString(*path));
    row->setText(2, f.allUsers ? QStringLiteral("All Users") : user);
    row->setIcon(0, folder);
    row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
    row->setCheckState(0, Qt::Unchecked);
  }

  FitColumns(LV, {100, 280, 80}, 1);
  const QMargins margins = layout->contentsMargins();
  resize(std::max(width(), FittedListWidth(LV) + margins.left() + margins.right()), height());

  connect(OKBtn, &QPushButton::clicked, this, &TSpecialfolderfrm::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &TSpecialfolderfrm::CancelBtnClick);
}

int TSpecialfolderfrm::RowCount() const {
  return LV->topLevelItemCount();
}

std::string TSpecialfolderfrm::RowPath(int row) const {
  const QTreeWidgetItem* item = LV->topLevelItem(row);
  return item ? item->text(1).toStdString() : std::string();
}

bool TSpecialfolderfrm::RowTicked(int row) const {
  const QTreeWidgetItem* item = LV->topLevelItem(row);
  return item && item->checkState(0) == Qt::Checked;
}

void TSpecialfolderfrm::SetRowTicked(int row, bool ticked) {
  if (QTreeWidgetItem* item = LV->topLevelItem(row))
    item->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
}

std::vector<TSpecialFolderChoice> TSpecialfolderfrm::Choices() const {
  std::vector<TSpecialFolderChoice> choices;
  for (int i = 0; i < RowCount(); ++i) choices.push_back({RowPath(i), RowTicked(i)});
  return choices;
}

void TSpecialfolderfrm::OKBtnClick() {
  done(1);
}

void TSpecialfolderfrm::CancelBtnClick() {
  done(2);
}
