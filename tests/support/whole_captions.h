// Checks that a window shows its captions whole: every tab of a page control inside the
// control with the width its text needs, every column at least as wide as its header, and
// every column of a list showing its caption and its rows' texts whole, in view.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTreeView>
#include <string>

inline void ExpectEveryTabWhole(const QTabWidget* tabs) {
  const QTabBar* bar = tabs->tabBar();
  ASSERT_GT(bar->count(), 0);
  for (int i = 0; i < bar->count(); ++i) {
    SCOPED_TRACE(bar->tabText(i).toStdString());
    const QRect r = bar->tabRect(i);
    const QString shown = bar->tabText(i).replace("&&", "&");
    EXPECT_GT(r.width(), bar->fontMetrics().horizontalAdvance(shown));
    EXPECT_GE(r.left(), 0);
    EXPECT_LE(r.right(), bar->width() - 1);
    EXPECT_LE(bar->mapTo(tabs, r.topRight()).x(), tabs->width() - 1);
  }
}

inline void ExpectEveryHeaderWhole(const QHeaderView* header) {
  ASSERT_GT(header->count(), 0);
  for (int c = 0; c < header->count(); ++c) {
    if (header->isSectionHidden(c)) continue;
    SCOPED_TRACE(header->model()->headerData(c, header->orientation()).toString().toStdString());
    EXPECT_GE(header->sectionSize(c), header->sectionSizeHint(c));
  }
}

// Column c of the list lies inside its view (nothing to scroll to) and is wide enough for its
// caption and for the text of each of its rows, measured with the list's own font beside the
// row's check box and icon, as the style lays them out.
inline void ExpectColumnWhole(const QAbstractItemView* list, int c) {
  const QHeaderView* header = nullptr;
  if (auto* tree = qobject_cast<const QTreeView*>(list)) header = tree->header();
  if (auto* table = qobject_cast<const QTableView*>(list)) header = table->horizontalHeader();
  ASSERT_NE(header, nullptr);
  ASSERT_LT(c, header->count());
  const QAbstractItemModel* model = list->model();
  const QString caption = model->headerData(c, Qt::Horizontal).toString();
  SCOPED_TRACE(list->objectName().toStdString() + ", " + caption.toStdString());
  const QStyle* style = list->style();
  const int headerMargin = style->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
  const int textMargin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
  const int left = header->sectionViewportPosition(c);
  const int width = header->sectionSize(c);
  EXPECT_GE(left, 0) << "scrolled out of view";
  EXPECT_LE(left + width, list->viewport()->width()) << "out of view";
  EXPECT_GE(width, header->fontMetrics().horizontalAdvance(caption) + 2 * headerMargin)
      << "caption cut";
  for (int r = 0; r < model->rowCount(); ++r) {
    const QModelIndex index = model->index(r, c);
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.rect = list->visualRect(index);
    option.font = list->font();
    option.text = index.data(Qt::DisplayRole).toString();
    option.features = QStyleOptionViewItem::HasDisplay;
    if (index.data(Qt::CheckStateRole).isValid())
      option.features |= QStyleOptionViewItem::HasCheckIndicator;
    const QVariant decoration = index.data(Qt::DecorationRole);
    if (decoration.isValid() && !decoration.isNull()) {
      option.features |= QStyleOptionViewItem::HasDecoration;
      const int icon = style->pixelMetric(QStyle::PM_SmallIconSize, nullptr, list);
      option.decorationSize = list->iconSize().isValid() ? list->iconSize() : QSize(icon, icon);
    }
    const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &option, list);
    EXPECT_LE(list->fontMetrics().horizontalAdvance(option.text) + 2 * textMargin, text.width())
        << "row " << r << " cut: " << option.text.toStdString();
  }
}

// Every column of the list whole, in view.
inline void ExpectEveryColumnWhole(const QAbstractItemView* list) {
  ASSERT_GT(list->model()->columnCount(), 0);
  for (int c = 0; c < list->model()->columnCount(); ++c) ExpectColumnWhole(list, c);
}
