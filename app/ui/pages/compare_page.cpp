#include "app/ui/pages/compare_page.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyle>
#include <QVBoxLayout>
#include <cmath>

#include "app/ui/run/qt_user_interface.h"
#include "app/ui/widgets/browse_folder_into_edit.h"
#include "app/ui/widgets/fit_captions.h"
#include "app/ui/widgets/restore_tree_items.h"
#include "app/ui/widgets/state_images.h"

namespace {

constexpr int kFilesColumnWidth = 200;
constexpr int kSetColumnWidth = 80;
constexpr const char* kTagProperty = "tag";

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string S(const QString& s) {
  return s.toUtf8().toStdString();
}

// Image 0: the set holds the file; image 1: it is restored from this set.
QPixmap CellImage(bool chosen) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(80, 80, 80), 1));
  p.setBrush(chosen ? QColor(40, 160, 60) : QColor(220, 220, 220));
  p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
  return pixmap;
}

}  // namespace

TCompareCellDelegate::TCompareCellDelegate(QObject* parent)
    : QStyledItemDelegate(parent), images_{CellImage(false), CellImage(true)} {}

void TCompareCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  const QVariant value = index.data(kCompareCellRole);
  const int image = value.isValid() ? value.toInt() : -1;
  if (image != 0 && image != 1) return QStyledItemDelegate::paint(painter, option, index);
  const QRect r = option.rect;
  painter->fillRect(r, Qt::white);
  const int x = static_cast<int>(std::lround((r.left() + r.right()) / 2.0)) - 8;
  const int y = static_cast<int>(std::lround((r.top() + r.bottom()) / 2.0)) - 8;
  painter->drawPixmap(x, y, images_[static_cast<size_t>(image)]);
}

TComparePageView::TComparePageView(TQtUserInterface& ui, QWidget* parent)
    : QWidget(parent), ui_(ui) {
  setObjectName("ComparePageView");
  RadioButton3 = new QRadioButton("Original Folder", this);
  RadioButton3->setObjectName("RadioButton3");
  RadioButton3->setChecked(true);
  RadioButton4 = new QRadioButton("Other folder", this);
  RadioButton4->setObjectName("RadioButton4");
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName("Edit1");
  SpeedButton3 = new QToolButton(this);
  SpeedButton3->setObjectName("SpeedButton3");
  SpeedButton3->setText("...");
  ComboBox2 = new QComboBox(this);
  ComboBox2->setObjectName("ComboBox2");
  ComboBox2->addItems({"Confirm", "Always overwrite", "Always skip"});
  ComboBox2->setCurrentIndex(0);
  RadioButton3Click();

  CPTV = new QTreeWidget;
  CPTV->setObjectName("CPTV");
  CPTV->setHeaderHidden(true);
  CPTV->setColumnCount(1);
  CPTV->setSelectionMode(QAbstractItemView::SingleSelection);
  CPTV->setEditTriggers(QAbstractItemView::NoEditTriggers);
  CPTV->setContextMenuPolicy(Qt::CustomContextMenu);
  InstallStateImages(CPTV);
  CLV = new QTreeWidget;
  CLV->setObjectName("CLV");
  CLV->setRootIsDecorated(false);
  CLV->setUniformRowHeights(true);
  CLV->setSelectionMode(QAbstractItemView::SingleSelection);
  CLV->setEditTriggers(QAbstractItemView::NoEditTriggers);
  CLV->header()->setStretchLastSection(false);
  CLV->header()->setSectionsClickable(true);
  InstallStateImages(CLV);
  cells_ = new TCompareCellDelegate(CLV);
  Compare_Popup2 = new QMenu(this);
  Compare_Popup2->setObjectName("Compare_Popup2");
  RefreshColumns();

  auto* target = new QHBoxLayout;
  target->addWidget(RadioButton3);
  target->addWidget(RadioButton4);
  target->addWidget(Edit1, 1);
  target->addWidget(SpeedButton3);
  target->addWidget(ComboBox2);
  auto* split = new QSplitter(this);
  split->addWidget(CPTV);
  split->addWidget(CLV);
  split->setStretchFactor(1, 2);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(target);
  layout->addWidget(split, 1);

  for (QTreeWidget* view : {CPTV, CLV}) {
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
  }
  connect(CPTV, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem*) { CPTVChange(current); });
  connect(CPTV, &QWidget::customContextMenuRequested, this, &TComparePageView::CPTVContextPopup);
  connect(CLV->header(), &QHeaderView::sectionClicked, this, &TComparePageView::CLVColumnClick);
  connect(Compare_Popup2, &QMenu::triggered, this, &TComparePageView::VersionMenuItemClick);
  connect(RadioButton3, &QRadioButton::clicked, this, &TComparePageView::RadioButton3Click);
  connect(RadioButton4, &QRadioButton::clicked, this, &TComparePageView::RadioButton4Click);
  connect(SpeedButton3, &QToolButton::clicked, this, &TComparePageView::SpeedButton3Click);
}

void TComparePageView::AddCompareSource(const std::vector<std::string>& fileNames) {
  model_.AddCompareSource(fileNames);
  RefreshColumns();
  RefreshTree();
}

bool TComparePageView::ChooseCompareSources() {
  // CP_OD
  const auto files = ui_.ChooseFiles(
      "Open", "Quorva Backup Project File (*.bpj)|*.bpj|Quorva Backup sets (*.qvp)|*.qvp");
  if (files.empty()) return false;
  AddCompareSource(files);
  return true;
}

void TComparePageView::ResetCompareExecute() {
  model_.ResetCompare();
  RefreshColumns();
  RefreshTree();
}

void TComparePageView::CPTVChange(QTreeWidgetItem* current) {
  model_.Tree.SelectNode(NodeOf(current));
  RefreshList();
}

void TComparePageView::CPTVClick(QTreeWidgetItem* item) {
  TRestoreNode* node = NodeOf(item);
  if (!node) return;
  model_.Tree.NodeClick(node);
  RefreshMarks();
}

void TComparePageView::CPTVKeyPress(int key) {
  if (key == Qt::Key_Space) CPTVClick(CPTV->currentItem());
}

void TComparePageView::CLVClick(int row) {
  if (row < 0 || row >= static_cast<int>(model_.Tree.Rows().size())) return;
  model_.Tree.RowClick(row);
  RefreshMarks();
}

void TComparePageView::CLVKeyPress(int key) {
  if (key == Qt::Key_Space && CLV->currentItem())
    CLVClick(CLV->indexOfTopLevelItem(CLV->currentItem()));
}

void TComparePageView::ChooseFileVersion(int row, int version) {
  ::ChooseFileVersion(model_, row, version);
  RefreshCompareList();
}

void TComparePageView::CLVColumnClick(int column) {
  if (column < 1) return;
  ChooseColumnVersion(model_, column);
  RefreshCompareList();
}

bool TComparePageView::CPTVContextPopup(const QPoint& pos) {
  const auto entries = CompareVersionMenu(model_);
  if (entries.empty()) return false;
  Compare_Popup2->clear();
  Compare_Popup2->addAction("Choose version for this folder/subfolder")->setEnabled(false);
  Compare_Popup2->addSeparator();
  for (const TVersionMenuEntry& entry : entries) {
    QAction* action = Compare_Popup2->addAction(Q(entry.Caption));
    action->setProperty(kTagProperty, kVersionMenuTag);
    action->setData(entry.Version);
    // A project file holds no files to restore.
    action->setEnabled(entry.Enabled);
  }
  Compare_Popup2->popup(CPTV->viewport()->mapToGlobal(pos));
  return true;
}

void TComparePageView::VersionMenuItemClick(QAction* entry) {
  if (!entry || entry->property(kTagProperty).toInt() != kVersionMenuTag) return;
  ChooseTreeVersion(model_, entry->data().toInt());
  RefreshCompareList();
}

void TComparePageView::RadioButton3Click() {
  Edit1->setEnabled(false);
  SpeedButton3->setEnabled(false);
}

void TComparePageView::RadioButton4Click() {
  Edit1->setEnabled(true);
  SpeedButton3->setEnabled(true);
}

void TComparePageView::SpeedButton3Click() {
  BrowseFolderIntoEdit(this, Edit1);
}

TRestoreTargetChoice TComparePageView::Target() const {
  TRestoreTargetChoice target;
  target.OtherFolder = RadioButton4->isChecked();
  target.Folder = S(Edit1->text());
  target.OverwriteIndex = ComboBox2->currentIndex();
  return target;
}

TRestoreNode* TComparePageView::NodeOf(const QTreeWidgetItem* item) const {
  return RestoreNodeOf(item);
}

QTreeWidgetItem* TComparePageView::ItemOf(const TRestoreNode* node) const {
  return RestoreItemOf(items_, node);
}

void TComparePageView::RefreshColumns() {
  const int sets = model_.SetCount();
  QStringList captions{"Files"};
  for (int n = 1; n <= sets; ++n) captions << Q(model_.SetName(n));
  CLV->setColumnCount(sets + 1);
  CLV->setHeaderLabels(captions);
  FitColumnToCaption(CLV->header(), 0, kFilesColumnWidth);
  const QColor disabled = CLV->palette().color(QPalette::Disabled, QPalette::Text);
  const QColor enabled = CLV->palette().color(QPalette::Active, QPalette::Text);
  for (int n = 1; n <= sets; ++n) {
    FitColumnToCaption(CLV->header(), n, kSetColumnWidth);
    CLV->setItemDelegateForColumn(n, cells_);
    // A project file's column cannot be chosen.
    CLV->headerItem()->setForeground(n, model_.IsArchiveSet(n) ? enabled : disabled);
  }
}

void TComparePageView::RefreshTree() {
  const QSignalBlocker block(CPTV);
  FillRestoreTree(CPTV, model_.Tree, style()->standardIcon(QStyle::SP_DirIcon), items_);
  TRestoreNode* selected = model_.Tree.Selected();
  if (QTreeWidgetItem* item = ItemOf(selected)) {
    CPTV->setCurrentItem(item);
    // Files of a set added since may have joined the folder shown.
    model_.Tree.SelectNode(selected);
  }
  RefreshMarks();
  RefreshList();
}

void TComparePageView::RefreshList() {
  CLV->clear();
  const QIcon folder = style()->standardIcon(QStyle::SP_DirIcon);
  const QIcon file = style()->standardIcon(QStyle::SP_FileIcon);
  for (const TRestoreRow& row : model_.Tree.Rows()) {
    auto* item = new QTreeWidgetItem(CLV);
    item->setText(0, Q(row.Caption));
    item->setIcon(0, row.IsFolder() ? folder : file);
    SetItemStateImage(item, row.StateIndex + 1);
  }
  RefreshCompareList();
}

void TComparePageView::RefreshMarks() {
  ShowRestoreMarks(items_, CLV, model_.Tree.Rows());
}

void TComparePageView::RefreshCompareList() {
  for (int row = 0; row < CLV->topLevelItemCount(); ++row) {
    QTreeWidgetItem* item = CLV->topLevelItem(row);
    for (int n = 1; n <= model_.SetCount(); ++n)
      item->setData(n, kCompareCellRole, CompareCellImage(model_, row, n));
  }
  CLV->viewport()->update();
}

bool TComparePageView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress &&
      (watched == CPTV->viewport() || watched == CLV->viewport())) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint pos = mouse->position().toPoint();
    if (mouse->button() != Qt::LeftButton) return QWidget::eventFilter(watched, event);
    if (watched == CPTV->viewport()) {
      if (IsOnStateImage(CPTV, pos)) {
        CPTVClick(CPTV->itemAt(pos));
        return true;
      }
    } else {
      const QModelIndex index = CLV->indexAt(pos);
      if (index.isValid() && index.column() == 0 && IsOnStateImage(CLV, pos)) {
        CLVClick(index.row());
        return true;
      }
      if (index.isValid() && index.column() > 0) ChooseFileVersion(index.row(), index.column());
    }
  } else if (event->type() == QEvent::KeyPress && (watched == CPTV || watched == CLV)) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
      if (watched == CPTV)
        CPTVKeyPress(key->key());
      else
        CLVKeyPress(key->key());
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}
