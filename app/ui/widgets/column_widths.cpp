#include "app/ui/widgets/column_widths.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <algorithm>

void FitColumnWidths(QTreeWidget* list, std::initializer_list<int> minimums) {
  int column = 0;
  for (const int minimum : minimums) {
    const int caption = list->header()->sectionSizeHint(column);
    const int rows = static_cast<const QAbstractItemView*>(list)->sizeHintForColumn(column);
    list->setColumnWidth(column, std::max({minimum, caption, rows}));
    ++column;
  }
}
