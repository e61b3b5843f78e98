// The clicks and keys that toggle the marks of a restore window's folder tree and file list.
#pragma once

#include <QEvent>
#include <QObject>
#include <QTreeWidget>
#include <functional>

// A left click on a state image, or Space, in the tree or the list (or their viewports) is given
// to treeClick (the item) or listClick (the row); true when the event was taken.
bool TakeRestoreMarkEvent(QObject* watched, QEvent* event, QTreeWidget* tree, QTreeWidget* list,
                          const std::function<void(QTreeWidgetItem*)>& treeClick,
                          const std::function<void(int)>& listClick);
