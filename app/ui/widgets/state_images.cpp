#include "app/ui/widgets/state_images.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QPainterPath>
#include <QTreeWidgetItem>

namespace {

constexpr int kMargin = 2;  // between the image and the item's icon

}  // namespace

QPixmap StateImage(int state) {
  if (state < 1 || state > 4) return QPixmap();
  QPixmap pixmap(kStateImageSize, kStateImageSize);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF box(2.5, 2.5, 11, 11);
  p.setPen(QPen(QColor(0x33, 0x33, 0x33), 1));
  p.setBrush(Qt::white);
  p.drawRect(box);
  if (state == 2) {
    QPainterPath tick;
    tick.moveTo(4.5, 8.0);
    tick.lineTo(7.0, 10.5);
    tick.lineTo(11.5, 5.0);
    p.setPen(QPen(QColor(0x10, 0x60, 0x10), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
  } else if (state == 4) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x60, 0x80, 0xb0));
    p.drawRect(QRectF(5, 5, 6, 6));
  }
  return pixmap;
}

int ItemStateImage(const QTreeWidgetItem* item) {
  if (!item) return 1;
  const QVariant v = item->data(0, kStateImageRole);
  return v.isValid() ? v.toInt() : 1;
}

void SetItemStateImage(QTreeWidgetItem* item, int state) {
  if (!item) return;
  const QVariant v = item->data(0, kStateImageRole);
  if (!v.isValid() || v.toInt() != state) item->setData(0, kStateImageRole, state);
}

TStateImageDelegate::TStateImageDelegate(QObject* parent) : QStyledItemDelegate(parent) {
  for (int s = 1; s <= 4; ++s) images_[static_cast<size_t>(s - 1)] = StateImage(s);
}

void TStateImageDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
  const QVariant state = index.data(kStateImageRole);
  if (index.column() != 0 || !state.isValid()) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  const int s = state.toInt();
  if (s >= 1 && s <= 4) {
    const QRect r = option.rect;
    painter->drawPixmap(r.left(), r.top() + (r.height() - kStateImageSize) / 2,
                        images_[static_cast<size_t>(s - 1)]);
  }
  QStyleOptionViewItem rest(option);
  rest.rect.setLeft(option.rect.left() + kStateImageSize + kMargin);
  QStyledItemDelegate::paint(painter, rest, index);
}

QSize TStateImageDelegate::sizeHint(const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  if (index.column() == 0 && index.data(kStateImageRole).isValid()) {
    size.rwidth() += kStateImageSize + kMargin;
    size.setHeight(std::max(size.height(), kStateImageSize));
  }
  return size;
}

void InstallStateImages(QAbstractItemView* view) {
  view->setItemDelegate(new TStateImageDelegate(view));
}

bool IsOnStateImage(const QAbstractItemView* view, QPoint pos) {
  const QModelIndex index = view->indexAt(pos);
  if (!index.isValid() || !index.data(kStateImageRole).isValid()) return false;
  const QRect r = view->visualRect(index.siblingAtColumn(0));
  return pos.x() >= r.left() && pos.x() < r.left() + kStateImageSize + kMargin &&
         pos.y() >= r.top() && pos.y() <= r.bottom();
}
