// The four check-mark images shared by every tree and list with marks: 1 unchecked,
// 2 checked, 3 the tree's own toggle past checked (read as unchecked, drawn so), 4 partly
// checked. They are painted at run time; the delegate draws an item's image left of its text.
#pragma once

#include <QPixmap>
#include <QPoint>
#include <QStyledItemDelegate>
#include <array>

class QAbstractItemView;
class QTreeWidgetItem;

// The item data role (column 0) that holds an item's state image index.
inline constexpr int kStateImageRole = Qt::UserRole + 0x51;
inline constexpr int kStateImageSize = 16;

// The image of a state 1..4; a null pixmap for any other value.
QPixmap StateImage(int state);

// An item's state image index; 1 for no item or an item without one.
int ItemStateImage(const QTreeWidgetItem* item);
// Sets it; no item does nothing.
void SetItemStateImage(QTreeWidgetItem* item, int state);

class TStateImageDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  explicit TStateImageDelegate(QObject* parent = nullptr);

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  std::array<QPixmap, 4> images_;
};

// Gives the view the delegate.
void InstallStateImages(QAbstractItemView* view);
// True when `pos` (viewport coordinates) lies on the state image of the item under it.
bool IsOnStateImage(const QAbstractItemView* view, QPoint pos);
