#include "app/ui/pages/selection_tree_paths.h"

#include <QTreeWidget>

QTreeWidgetItem* FindChildNode(const QTreeWidgetItem* node, const QString& name) {
  if (!node) return nullptr;
  for (int i = 0; i < node->childCount(); ++i)
    if (node->child(i)->text(0) == name) return node->child(i);
  return nullptr;
}

QTreeWidgetItem* FindNodeByText(QTreeWidgetItem* node, const QString& name) {
  if (!node) return nullptr;
  QTreeWidget* tree = node->treeWidget();
  for (QTreeWidgetItem* n = node; n; n = tree ? tree->itemBelow(n) : nullptr)
    if (n->text(0) == name) return n;
  QTreeWidgetItem* parent = node->parent();
  const int index =
      parent ? parent->indexOfChild(node) : (tree ? tree->indexOfTopLevelItem(node) : -1);
  for (int i = index - 1; i >= 0; --i) {
    QTreeWidgetItem* sibling = parent ? parent->child(i) : tree->topLevelItem(i);
    if (sibling->text(0) == name) return sibling;
  }
  return nullptr;
}
