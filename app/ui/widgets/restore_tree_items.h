// The folder tree and file list of a TRestoreTreeModel as the restore windows draw them: each
// tree item carries its node, and the check marks are drawn back from the model.
#pragma once

#include <QIcon>
#include <QStringList>
#include <QTreeWidget>
#include <unordered_map>
#include <vector>

#include "app/engine/restore/restore_tree.h"

// The tree item of each node shown.
using TRestoreTreeItems = std::unordered_map<const TRestoreNode*, QTreeWidgetItem*>;

// The folder tree and the file list as the restore windows make them: one item selected at a
// time, none edited, state images drawn; the list has a header of `captions` and no root.
QTreeWidget* MakeRestoreTree(const char* name);
QTreeWidget* MakeRestoreList(const char* name, const QStringList& captions);
// Refills the tree with the model's nodes, every item with the folder icon; items maps each
// node to its item.
void FillRestoreTree(QTreeWidget* tree, const TRestoreTreeModel& model, const QIcon& folder,
                     TRestoreTreeItems& items);
// The node an item of FillRestoreTree stands for; none for no item.
TRestoreNode* RestoreNodeOf(const QTreeWidgetItem* item);
// The item of a node; none when the node is not shown.
QTreeWidgetItem* RestoreItemOf(const TRestoreTreeItems& items, const TRestoreNode* node);
// One list row per model row: name, time in the archive, time in the folder and version.
void FillRestoreList(QTreeWidget* list, const std::vector<TRestoreRow>& rows, const QIcon& folder,
                     const QIcon& file);
// Only the state images of the nodes and of the list's rows.
void ShowRestoreMarks(const TRestoreTreeItems& items, QTreeWidget* list,
                      const std::vector<TRestoreRow>& rows);
