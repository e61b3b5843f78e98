// The tree-path functions on Qt trees (the restore and comparison trees); SplitPath is the
// engine's. Names compare exactly, as the paths they are parts of.
#pragma once

#include <QString>

class QTreeWidgetItem;

// First child whose text (column 0) equals the name; none for no node.
QTreeWidgetItem* FindChildNode(const QTreeWidgetItem* node, const QString& name);
// The given node and the nodes after it in visible order, then its previous siblings nearest
// first: the first whose text equals the name; none for no node.
QTreeWidgetItem* FindNodeByText(QTreeWidgetItem* node, const QString& name);
