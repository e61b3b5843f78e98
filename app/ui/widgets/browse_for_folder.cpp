#include "app/ui/widgets/browse_for_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTreeView>
#include <QVBoxLayout>

#include "platform/fs/fs.h"

int CsidlOfRoot(TBrowseRoot root) {
  if (root == bl_STANDART || root == bl_CUSTOM) return -1;
  static constexpr int kCsidl[] = {0,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 16,
                                   17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27};
  return kCsidl[root - bl_DESKTOP];
}

std::string RootFolderOf(TBrowseRoot root) {
  QString folder;
  switch (root) {
    case bl_DESKTOP:
    case bl_DESKTOPDIRECTORY:
    case bl_COMMON_DESKTOPDIRECTORY:
      folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
      break;
    case bl_PERSONAL:
      folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
      break;
    case bl_FONTS:
      folder = QStandardPaths::writableLocation(QStandardPaths::FontsLocation);
      break;
    case bl_APPDATA:
      folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
      break;
    case bl_PROGRAMS:
    case bl_STARTMENU:
    case bl_COMMON_STARTMENU:
    case bl_COMMON_PROGRAMS:
      folder = QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
      break;
    case bl_STARTUP:
    case bl_COMMON_STARTUP:
      folder =
          QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/autostart";
      break;
    case bl_FAVORITES:
    case bl_RECENT:
    case bl_SENDTO:
    case bl_TEMPLATES:
      folder = QDir::homePath();
      break;
    default:
      // No folder of its own here (computer, drives, network, printers, control panel, the
      // recycle bin, an owner's item list): the whole file system.
      break;
  }
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = "/";
  return folder.toStdString();
}

TBrowseForFolder::TBrowseForFolder(QWidget* owner) : QObject(owner), owner_(owner) {}

bool TBrowseForFolder::Execute() {
  TBrowseForFolderDlg dialog(*this, owner_ ? owner_->window() : nullptr);
  if (dialog.exec() != QDialog::Accepted) return false;
  FolderName = platform::fs::FromPosix(dialog.ChosenPath().toStdString());
  DisplayName = dialog.ChosenDisplayName().toStdString();
  return true;
}

TBrowseForFolderDlg::TBrowseForFolderDlg(const TBrowseForFolder& options, QWidget* parent)
    : QDialog(parent), root_(QString::fromStdString(RootFolderOf(options.Root))) {
  setObjectName("BrowseForFolderDlg");
  setWindowTitle(QString::fromStdString(options.Caption));
  StatusLabel = new QLabel(QString::fromStdString(options.StatusText), this);
  StatusLabel->setObjectName("StatusLabel");
  StatusLabel->setVisible(!options.StatusText.empty());

  model_ = new QFileSystemModel(this);
  model_->setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::Drives);
  model_->setRootPath(root_);
  Tree = new QTreeView(this);
  Tree->setObjectName("Tree");
  Tree->setModel(model_);
  Tree->setHeaderHidden(true);
  for (int c = 1; c < model_->columnCount(); ++c) Tree->hideColumn(c);
  Tree->setRootIndex(model_->index(root_).parent());

  if (options.Flags.contains(bf_EditBox)) {
    EditBox = new QLineEdit(this);
    EditBox->setObjectName("EditBox");
  }
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
  layout->addWidget(StatusLabel);
  layout->addWidget(Tree, 1);
  if (EditBox) layout->addWidget(EditBox);
  layout->addLayout(buttons);
  resize(360, 420);

  connect(Tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &TBrowseForFolderDlg::SelectionMoved);
  connect(OKBtn, &QPushButton::clicked, this, &TBrowseForFolderDlg::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

  // The start folder, when it is a folder under the root; else nothing is selected.
  const auto start = platform::fs::ToPosix(options.FolderName);
  if (!options.FolderName.empty() && start) SelectFolder(QString::fromStdString(*start));
  SelectionMoved();
}

QString TBrowseForFolderDlg::SelectedPath() const {
  const QModelIndex index = Tree->currentIndex();
  return index.isValid() ? model_->filePath(index) : QString();
}

bool TBrowseForFolderDlg::SelectFolder(const QString& posixPath) {
  const QString path = QDir::cleanPath(posixPath);
  const QString root = QDir::cleanPath(root_);
  const bool below = root == "/" || path == root || path.startsWith(root + "/");
  if (!below || !QFileInfo(path).isDir()) return false;
  const QModelIndex index = model_->index(path);
  if (!index.isValid()) return false;
  Tree->setCurrentIndex(index);
  Tree->scrollTo(index);
  return true;
}

QString TBrowseForFolderDlg::ChosenDisplayName() const {
  const QString name = QFileInfo(chosen_).fileName();
  return name.isEmpty() ? chosen_ : name;
}

void TBrowseForFolderDlg::SelectionMoved() {
  const QString path = SelectedPath();
  OKBtn->setEnabled(!path.isEmpty() || EditBox);
  if (EditBox) {
    const QString name = QFileInfo(path).fileName();
    EditBox->setText(name.isEmpty() ? path : name);
  }
}

void TBrowseForFolderDlg::OKBtnClick() {
  QString path = SelectedPath();
  if (EditBox) {
    const QString text = EditBox->text().trimmed();
    const QString selectedName = QFileInfo(path).fileName();
    if (text.isEmpty()) return;
    if (text != selectedName && text != path) {
      const auto win = platform::fs::ToPosix(text.toStdString());
      if (win)
        path = QString::fromStdString(*win);
      else if (text.startsWith('/'))
        path = text;
      else
        path = (path.isEmpty() ? root_ : path) + "/" + text;
    }
    path = QDir::cleanPath(path);
    // A typed name that is no folder does not validate: the browser stays open.
    if (!QFileInfo(path).isDir()) return;
  }
  if (path.isEmpty()) return;
  chosen_ = path;
  accept();
}
