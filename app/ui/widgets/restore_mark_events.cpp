#include "app/ui/widgets/restore_mark_events.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include "app/ui/widgets/state_images.h"

bool TakeRestoreMarkEvent(QObject* watched, QEvent* event, QTreeWidget* tree, QTreeWidget* list,
                          const std::function<void(QTreeWidgetItem*)>& treeClick,
                          const std::function<void(int)>& listClick) {
  if (event->type() == QEvent::MouseButtonPress &&
      (watched == tree->viewport() || watched == list->viewport())) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint pos = mouse->position().toPoint();
    QTreeWidget* view = watched == tree->viewport() ? tree : list;
    if (mouse->button() == Qt::LeftButton && IsOnStateImage(view, pos)) {
      if (view == tree)
        treeClick(tree->itemAt(pos));
      else
        listClick(list->indexOfTopLevelItem(list->itemAt(pos)));
      return true;
    }
  } else if (event->type() == QEvent::KeyPress && (watched == tree || watched == list)) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
      if (watched == tree)
        treeClick(tree->currentItem());
      else if (list->currentItem())
        listClick(list->indexOfTopLevelItem(list->currentItem()));
      return true;
    }
  }
  return false;
}
