// Checks that a window shows its captions whole: every tab of a page control inside the
// control with the width its text needs, and every column at least as wide as its header.
#pragma once

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTabBar>
#include <QTabWidget>

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
