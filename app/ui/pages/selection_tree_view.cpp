#include "app/ui/pages/selection_tree_view.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeDatabase>
#include <QMouseEvent>

#include "app/engine/selection/selection_row_format.h"
#include "app/ui/project/invalid_files_frm.h"
#include "app/ui/run/pump_messages.h"
#include "app/ui/widgets/column_widths.h"
#include "app/ui/widgets/state_images.h"
#include "platform/fs/fs.h"

namespace {

constexpr int kNodeRole = Qt::UserRole + 0x52;

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

QString PosixOf(const std::string& winPath) {
  const auto posix = platform::fs::ToPosix(winPath);
  return posix ? Q(*posix) : QString();
}

}  // namespace

TSelectionTreeView::TSelectionTreeView(QWidget* parent)
    : QSplitter(Qt::Horizontal, parent),
      icons_(std::make_unique<QFileIconProvider>()),
      mime_(std::make_unique<QMimeDatabase>()) {
  SHTV = new QTreeWidget(this);
  SHTV->setObjectName("SHTV");
  SHTV->setHeaderHidden(true);
  SHTV->setColumnCount(1);
  SHTV->setSelectionMode(QAbstractItemView::SingleSelection);
  InstallStateImages(SHTV);

  BLV = new QTreeWidget(this);
  BLV->setObjectName("BLV");
  BLV->setRootIsDecorated(false);
  BLV->setUniformRowHeights(true);
  BLV->setSelectionMode(QAbstractItemView::SingleSelection);
  BLV->setHeaderLabels({"Name", "Type", "Size", "Last modified", "Attribute"});
  FitColumns(BLV, {220, 140, 110, 160, 70});
  InstallStateImages(BLV);

  addWidget(SHTV);
  addWidget(BLV);
  setStretchFactor(1, 2);

  for (QTreeWidget* view : {SHTV, BLV}) {
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
  }
  connect(SHTV, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem*) { CurrentItemChanged(current); });
  connect(SHTV, &QTreeWidget::itemExpanded, this,
          [this](QTreeWidgetItem* item) { ItemExpanded(item, true); });
  connect(SHTV, &QTreeWidget::itemCollapsed, this,
          [this](QTreeWidgetItem* item) { ItemExpanded(item, false); });

  Refresh();
}

TSelectionTreeView::~TSelectionTreeView() {
  // The views outlive the model while the splitter deletes its children; they must not call
  // back into it then.
  syncing_ = true;
  disconnect(SHTV, nullptr, this, nullptr);
}

QTreeWidgetItem* TSelectionTreeView::ItemOf(const TSelectionNode* node) const {
  const auto it = items_.find(node);
  return it == items_.end() ? nullptr : it->second;
}

TSelectionNode* TSelectionTreeView::NodeOf(const QTreeWidgetItem* item) const {
  if (!item) return nullptr;
  return reinterpret_cast<TSelectionNode*>(item->data(0, kNodeRole).value<quintptr>());
}

int TSelectionTreeView::GetNodeCheckState(const QTreeWidgetItem* item) const {
  const TSelectionNode* node = NodeOf(item);
  return node ? node->State : 1;
}

void TSelectionTreeView::SetNodeCheckState(QTreeWidgetItem* item, int state) {
  TSelectionNode* node = NodeOf(item);
  if (!node) return;
  node->State = state;
  SetItemStateImage(item, state);
}

std::string TSelectionTreeView::SelectedPath() const {
  const TSelectionNode* node = model_.Selected();
  return node ? node->Path : std::string();
}

bool TSelectionTreeView::SelectPath(const std::string& folderPath) {
  const bool found = model_.SelectPath(folderPath) != nullptr;
  Refresh();
  return found;
}

QTreeWidgetItem* TSelectionTreeView::AddItem(QTreeWidgetItem* parent, TSelectionNode* node) {
  auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(SHTV);
  item->setData(0, kNodeRole, QVariant::fromValue(reinterpret_cast<quintptr>(node)));
  item->setText(0, Q(node->Text));
  if (!node->HasFolder())
    item->setIcon(0, icons_->icon(QFileIconProvider::Computer));
  else if (!node->Parent || !node->Parent->HasFolder())
    item->setIcon(0, icons_->icon(QFileIconProvider::Drive));
  else
    item->setIcon(0, icons_->icon(QFileIconProvider::Folder));
  items_[node] = item;
  return item;
}

void TSelectionTreeView::SyncNode(QTreeWidgetItem* item, TSelectionNode* node) {
  SetItemStateImage(item, node->State);
  if (node->ChildrenLoaded) {
    for (size_t i = static_cast<size_t>(item->childCount()); i < node->Children.size(); ++i)
      AddItem(item, node->Children[i].get());
    item->setChildIndicatorPolicy(node->Children.empty()
                                      ? QTreeWidgetItem::DontShowIndicator
                                      : QTreeWidgetItem::DontShowIndicatorWhenChildless);
  } else {
    // Folders are listed when first expanded; until then every folder may have children.
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  }
  for (size_t i = 0; i < node->Children.size() && i < static_cast<size_t>(item->childCount()); ++i)
    SyncNode(item->child(static_cast<int>(i)), node->Children[i].get());
  if (item->isExpanded() != node->Expanded) item->setExpanded(node->Expanded);
}

void TSelectionTreeView::Refresh() {
  const bool was = syncing_;
  syncing_ = true;
  QTreeWidgetItem* top = SHTV->topLevelItemCount() ? SHTV->topLevelItem(0) : nullptr;
  if (!top) top = AddItem(nullptr, model_.Root());
  SyncNode(top, model_.Root());
  QTreeWidgetItem* current = ItemOf(model_.Selected());
  if (SHTV->currentItem() != current) {
    SHTV->setCurrentItem(current);
    if (current) SHTV->scrollToItem(current);
  }
  SyncList();
  syncing_ = was;
}

void TSelectionTreeView::FillRow(QTreeWidgetItem* item, const TFileRow& row) {
  const QString posix = PosixOf(row.Key);
  item->setText(0, Q(row.Name));
  item->setData(0, Qt::UserRole, Q(row.Key));
  QString type;
  if (row.IsFolder) {
    item->setIcon(0, icons_->icon(QFileIconProvider::Folder));
    type = mime_->mimeTypeForName("inode/directory").comment();
  } else {
    item->setIcon(0, icons_->icon(QFileIconProvider::File));
    type = mime_->mimeTypeForFile(posix, QMimeDatabase::MatchExtension).comment();
  }
  item->setText(1, type);
  item->setText(2, Q(FormatRowSize(row.Info.size)));
  item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
  item->setText(3, Q(FormatRowTime(row.Info.mtimeSec)));
  item->setText(4, Q(FormatRowAttributes(row.Info)));
}

void TSelectionTreeView::SyncList() {
  const auto& rows = model_.Rows();
  bool same = BLV->topLevelItemCount() == static_cast<int>(rows.size());
  for (size_t i = 0; same && i < rows.size(); ++i)
    same =
        BLV->topLevelItem(static_cast<int>(i))->data(0, Qt::UserRole).toString() == Q(rows[i].Key);
  if (!same) {
    BLV->setUpdatesEnabled(false);
    BLV->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (const auto& row : rows) {
      auto* item = new QTreeWidgetItem();
      FillRow(item, row);
      items.append(item);
    }
    BLV->addTopLevelItems(items);
    BLV->setUpdatesEnabled(true);
  }
  for (size_t i = 0; i < rows.size(); ++i)
    SetItemStateImage(BLV->topLevelItem(static_cast<int>(i)), rows[i].State);
}

void TSelectionTreeView::CurrentItemChanged(QTreeWidgetItem* current) {
  if (syncing_ || !current) return;
  model_.Select(NodeOf(current));  // flushes the rows, then fills the list
  Refresh();
}

void TSelectionTreeView::ItemExpanded(QTreeWidgetItem* item, bool expanded) {
  if (syncing_) return;
  if (expanded)
    model_.Expand(NodeOf(item));
  else
    model_.Collapse(NodeOf(item));
  Refresh();
}

void TSelectionTreeView::SHTVChanging() {
  model_.SHTVChanging();
}

void TSelectionTreeView::SHTVChange() {
  model_.SHTVChange();
  Refresh();
}

void TSelectionTreeView::SHTVClick(QTreeWidgetItem* item) {
  TSelectionNode* node = NodeOf(item);
  if (!node) return;
  model_.SHTVClick(node);
  Refresh();
  emit CheckMarksChanged();
}

void TSelectionTreeView::SHTVKeyPress(int key) {
  if (key == Qt::Key_Space && SHTV->currentItem()) SHTVClick(SHTV->currentItem());
}

void TSelectionTreeView::BLVClick(int row) {
  if (row < 0 || row >= static_cast<int>(model_.Rows().size())) return;
  model_.BLVClick(row);
  Refresh();
  emit CheckMarksChanged();
}

void TSelectionTreeView::BLVKeyPress(int key) {
  if (key == Qt::Key_Space && BLV->currentItem())
    BLVClick(BLV->indexOfTopLevelItem(BLV->currentItem()));
}

bool TSelectionTreeView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress && watched == SHTV->viewport()) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint pos = mouse->position().toPoint();
    if (mouse->button() == Qt::LeftButton && IsOnStateImage(SHTV, pos)) {
      SHTVClick(SHTV->itemAt(pos));
      return true;
    }
  } else if (event->type() == QEvent::MouseButtonPress && watched == BLV->viewport()) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint pos = mouse->position().toPoint();
    if (mouse->button() == Qt::LeftButton && IsOnStateImage(BLV, pos)) {
      BLVClick(BLV->indexOfTopLevelItem(BLV->itemAt(pos)));
      return true;
    }
  } else if (event->type() == QEvent::KeyPress && (watched == SHTV || watched == BLV)) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
      if (watched == SHTV)
        SHTVKeyPress(key->key());
      else
        BLVKeyPress(key->key());
      return true;
    }
  }
  return QSplitter::eventFilter(watched, event);
}

void TSelectionTreeView::ResetSelection() {
  model_.ResetSelection();
  Refresh();
}

void TSelectionTreeView::LoadProjectSelection(const TProject& project) {
  SHTV->setUpdatesEnabled(false);
  model_.LoadProjectSelection(project);
  Refresh();
  SHTV->setUpdatesEnabled(true);
}

void TSelectionTreeView::CollectSelection(TItems& folders, TItems& files, bool log) {
  model_.CollectSelection(folders, files, log);
}

void TSelectionTreeView::AddFoundFiles(const std::vector<std::string>& paths) {
  model_.AddFoundFiles(paths);
  Refresh();
}

void TSelectionTreeView::AddSpecialFolders(const std::vector<TSpecialFolderChoice>& rows) {
  model_.AddSpecialFolders(rows, [this] {
    Refresh();
    PumpMessages();
  });
  Refresh();
}

TValidateResult TSelectionTreeView::Validate(const TProject& project, TValidateHooks hooks) {
  if (!hooks.AskInvalidFiles) {
    hooks.AskInvalidFiles = [this](const std::vector<std::string>& files) {
      TInvalidFileFrm frm(window());
      frm.SetFiles(files);
      return frm.exec();
    };
  }
  const bool changedBefore = model_.SelectionChanged;
  model_.SelectionChanged = false;
  TValidateResult result = ValidateSelection(model_, project, hooks);
  const bool unselected = model_.SelectionChanged;
  model_.SelectionChanged = changedBefore || unselected;
  Refresh();
  if (unselected) emit CheckMarksChanged();  // "Un-select" changed marks
  return result;
}
