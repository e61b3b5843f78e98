#include "app/ui/widgets/fit_captions.h"

#include <QHeaderView>
#include <QTabBar>
#include <QTabWidget>
#include <algorithm>

void FitColumnToCaption(QHeaderView* header, int column, int width) {
  if (!header || column < 0 || column >= header->count()) return;
  header->resizeSection(column, std::max(width, header->sectionSizeHint(column)));
}

void ShowEveryTab(QTabWidget* tabs) {
  if (!tabs) return;
  QTabBar* bar = tabs->tabBar();
  bar->setElideMode(Qt::ElideNone);
  bar->setUsesScrollButtons(false);
  bar->setExpanding(false);
  // The tab widget's minimum width then follows the whole row of tabs.
  tabs->setMinimumWidth(std::max(tabs->minimumWidth(), bar->sizeHint().width() + 12));
}
