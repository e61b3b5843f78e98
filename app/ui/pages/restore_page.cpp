#include "app/ui/pages/restore_page.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyle>
#include <QVBoxLayout>

#include "app/engine/project/projects.h"
#include "app/ui/run/qt_user_interface.h"
#include "app/ui/widgets/browse_folder_into_edit.h"
#include "app/ui/widgets/column_widths.h"
#include "app/ui/widgets/restore_mark_events.h"
#include "app/ui/widgets/restore_tree_items.h"

namespace {

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string S(const QString& s) {
  return s.toUtf8().toStdString();
}

}  // namespace

TRestorePageView::TRestorePageView(TQtUserInterface& ui, QWidget* parent)
    : QWidget(parent), ui_(ui) {
  setObjectName("RestorePageView");
  Combo_BackupSets = new QComboBox(this);
  Combo_BackupSets->setObjectName("Combo_BackupSets");
  Combo_BackupSets->setEditable(false);
  SpeedButton1 = new QToolButton(this);
  SpeedButton1->setObjectName("SpeedButton1");
  SpeedButton1->setText("...");
  SpeedButton1->setToolTip("Import from other backup sets");
  RestoreArchiveInfo = new QLabel(this);
  RestoreArchiveInfo->setObjectName("RestoreArchiveInfo");

  RadioButton1 = new QRadioButton("Original folder", this);
  RadioButton1->setObjectName("RadioButton1");
  RadioButton1->setChecked(true);
  RadioButton2 = new QRadioButton("Other folder", this);
  RadioButton2->setObjectName("RadioButton2");
  RestoreTo = new QLineEdit(this);
  RestoreTo->setObjectName("RestoreTo");
  SpeedButton2 = new QToolButton(this);
  SpeedButton2->setObjectName("SpeedButton2");
  SpeedButton2->setText("...");
  ComboBox1 = new QComboBox(this);
  ComboBox1->setObjectName("ComboBox1");
  ComboBox1->addItems({"Confirm", "Always overwrite", "Always skip"});
  ComboBox1->setCurrentIndex(0);
  RadioButton1Click();

  RTTV = MakeRestoreTree("RTTV");
  RLV = MakeRestoreList("RLV",
                        {"Name", "Last modified in archive", "Last modified in folder", "Version"});
  FitColumns(RLV, {200, 120, 120, 80});

  auto* sets = new QHBoxLayout;
  sets->addWidget(Combo_BackupSets, 1);
  sets->addWidget(SpeedButton1);
  auto* target = new QHBoxLayout;
  target->addWidget(RadioButton1);
  target->addWidget(RadioButton2);
  target->addWidget(RestoreTo, 1);
  target->addWidget(SpeedButton2);
  target->addWidget(ComboBox1);
  auto* split = new QSplitter(this);
  split->addWidget(RTTV);
  split->addWidget(RLV);
  split->setStretchFactor(1, 2);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(sets);
  layout->addWidget(RestoreArchiveInfo);
  layout->addLayout(target);
  layout->addWidget(split, 1);

  for (QTreeWidget* view : {RTTV, RLV}) {
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
  }
  connect(Combo_BackupSets, &QComboBox::activated, this, [this](int index) {
    model_.BackupSets.Select(index);
    Combo_BackupSetsChange();
  });
  connect(SpeedButton1, &QToolButton::clicked, this, &TRestorePageView::SpeedButton1Click);
  connect(RadioButton1, &QRadioButton::clicked, this, &TRestorePageView::RadioButton1Click);
  connect(RadioButton2, &QRadioButton::clicked, this, &TRestorePageView::RadioButton2Click);
  connect(SpeedButton2, &QToolButton::clicked, this, &TRestorePageView::SpeedButton2Click);
  connect(RTTV, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem*) { RTTVChange(current); });
}

void TRestorePageView::Reset() {
  model_.Reset();
  RefreshTree();
}

void TRestorePageView::FindBackupSets(const TProjects& projects, std::string_view projectName) {
  model_.FindBackupSets(projects, projectName);
  RefreshAll();
}

void TRestorePageView::Combo_BackupSetsChange() {
  model_.BackupSetsChange();
  RefreshAll();
}

void TRestorePageView::ShowBackupSet(std::string_view archivePath) {
  model_.ImportBackupSet(archivePath);
  RefreshAll();
}

void TRestorePageView::RemoveNoBackupSetsItem() {
  model_.BackupSets.Delete(model_.BackupSets.IndexOf(kNoBackupSetsFound));
  RefreshCombo();
}

void TRestorePageView::SpeedButton1Click() {
  // RT_OD
  const auto chosen = ui_.ChooseFile("Open", "", "Quorva Backup File (*.qvp)|*.qvp");
  if (!chosen) return;
  model_.ImportBackupSet(*chosen);
  RefreshAll();
}

void TRestorePageView::RadioButton1Click() {
  RestoreTo->setEnabled(false);
  SpeedButton2->setEnabled(false);
}

void TRestorePageView::RadioButton2Click() {
  RestoreTo->setEnabled(true);
  SpeedButton2->setEnabled(true);
}

void TRestorePageView::SpeedButton2Click() {
  BrowseFolderIntoEdit(this, RestoreTo);
}

void TRestorePageView::RTTVChange(QTreeWidgetItem* current) {
  model_.Tree.SelectNode(NodeOf(current));
  RefreshList();
}

void TRestorePageView::RTTVClick(QTreeWidgetItem* item) {
  TRestoreNode* node = NodeOf(item);
  if (!node) return;
  model_.Tree.NodeClick(node);
  RefreshMarks();
}

void TRestorePageView::RTTVKeyPress(int key) {
  if (key == Qt::Key_Space) RTTVClick(RTTV->currentItem());
}

void TRestorePageView::RLVClick(int row) {
  if (row < 0 || row >= static_cast<int>(model_.Tree.Rows().size())) return;
  model_.Tree.RowClick(row);
  RefreshMarks();
}

void TRestorePageView::RLVKeyPress(int key) {
  if (key == Qt::Key_Space && RLV->currentItem())
    RLVClick(RLV->indexOfTopLevelItem(RLV->currentItem()));
}

TRestoreTargetChoice TRestorePageView::Target() const {
  TRestoreTargetChoice target;
  target.OtherFolder = RadioButton2->isChecked();
  target.Folder = S(RestoreTo->text());
  target.OverwriteIndex = ComboBox1->currentIndex();
  return target;
}

TRestoreNode* TRestorePageView::NodeOf(const QTreeWidgetItem* item) const {
  return RestoreNodeOf(item);
}

QTreeWidgetItem* TRestorePageView::ItemOf(const TRestoreNode* node) const {
  return RestoreItemOf(items_, node);
}

void TRestorePageView::RefreshAll() {
  RefreshCombo();
  // The label shows the carriage return of the text as a line break.
  RestoreArchiveInfo->setText(Q(model_.RestoreArchiveInfo).replace('\r', '\n'));
  RefreshTree();
}

void TRestorePageView::RefreshCombo() {
  const QSignalBlocker block(Combo_BackupSets);
  Combo_BackupSets->clear();
  for (const std::string& item : model_.BackupSets.Items()) Combo_BackupSets->addItem(Q(item));
  const int index = model_.BackupSets.ItemIndex();
  // A text that is no item (the newest set could not be read) shows as the placeholder.
  Combo_BackupSets->setPlaceholderText(index < 0 ? Q(model_.BackupSets.Text()) : QString());
  Combo_BackupSets->setCurrentIndex(index);
}

void TRestorePageView::RefreshTree() {
  const QSignalBlocker block(RTTV);
  FillRestoreTree(RTTV, model_.Tree, style()->standardIcon(QStyle::SP_DirIcon), items_);
  if (QTreeWidgetItem* selected = ItemOf(model_.Tree.Selected())) RTTV->setCurrentItem(selected);
  RefreshMarks();
  RefreshList();
}

void TRestorePageView::RefreshList() {
  FillRestoreList(RLV, model_.Tree.Rows(), style()->standardIcon(QStyle::SP_DirIcon),
                  style()->standardIcon(QStyle::SP_FileIcon));
}

void TRestorePageView::RefreshMarks() {
  ShowRestoreMarks(items_, RLV, model_.Tree.Rows());
}

bool TRestorePageView::eventFilter(QObject* watched, QEvent* event) {
  if (TakeRestoreMarkEvent(
          watched, event, RTTV, RLV, [this](QTreeWidgetItem* item) { RTTVClick(item); },
          [this](int row) { RLVClick(row); }))
    return true;
  return QWidget::eventFilter(watched, event);
}
