#include "app/ui/widgets/restore_tree_items.h"

#include <functional>

#include "app/ui/widgets/state_images.h"

namespace {

constexpr int kNodeRole = Qt::UserRole + 1;

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

QTreeWidget* MakeRestoreTree(const char* name) {
  auto* tree = new QTreeWidget;
  tree->setObjectName(name);
  tree->setHeaderHidden(true);
  tree->setColumnCount(1);
  tree->setSelectionMode(QAbstractItemView::SingleSelection);
  tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
  InstallStateImages(tree);
  return tree;
}

QTreeWidget* MakeRestoreList(const char* name, const QStringList& captions) {
  auto* list = new QTreeWidget;
  list->setObjectName(name);
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setHeaderLabels(captions);
  InstallStateImages(list);
  return list;
}

void FillRestoreTree(QTreeWidget* tree, const TRestoreTreeModel& model, const QIcon& folder,
                     TRestoreTreeItems& items) {
  tree->clear();
  items.clear();
  std::function<void(const TRestoreNode&, QTreeWidgetItem*)> add = [&](const TRestoreNode& node,
                                                                       QTreeWidgetItem* parent) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
    item->setText(0, Q(node.Text));
    item->setIcon(0, folder);
    item->setData(0, kNodeRole, QVariant::fromValue(reinterpret_cast<quintptr>(&node)));
    items[&node] = item;
    for (const auto& child : node.Children) add(*child, item);
  };
  for (const auto& node : model.Nodes()) add(*node, nullptr);
}

TRestoreNode* RestoreNodeOf(const QTreeWidgetItem* item) {
  if (!item) return nullptr;
  return reinterpret_cast<TRestoreNode*>(item->data(0, kNodeRole).value<quintptr>());
}

QTreeWidgetItem* RestoreItemOf(const TRestoreTreeItems& items, const TRestoreNode* node) {
  const auto it = items.find(node);
  return it == items.end() ? nullptr : it->second;
}

void FillRestoreList(QTreeWidget* list, const std::vector<TRestoreRow>& rows, const QIcon& folder,
                     const QIcon& file) {
  list->clear();
  for (const TRestoreRow& row : rows) {
    auto* item = new QTreeWidgetItem(list);
    item->setText(0, Q(row.Caption));
    item->setText(1, Q(row.ArchiveTime));
    item->setText(2, Q(row.FolderTime));
    item->setText(3, Q(row.Version));
    item->setIcon(0, row.IsFolder() ? folder : file);
    SetItemStateImage(item, row.StateIndex + 1);
  }
}

void ShowRestoreMarks(const TRestoreTreeItems& items, QTreeWidget* list,
                      const std::vector<TRestoreRow>& rows) {
  for (const auto& [node, item] : items) SetItemStateImage(item, node->State);
  for (int i = 0; i < list->topLevelItemCount() && i < static_cast<int>(rows.size()); ++i)
    SetItemStateImage(list->topLevelItem(i), rows[static_cast<size_t>(i)].StateIndex + 1);
}
