// Captions whole on this platform's fonts: a column at least as wide as its caption needs, and a
// page control that shows every tab whole. Lists of plain rows use FitColumns (column_widths.h).
#pragma once

class QHeaderView;
class QTabWidget;

// One column at least as wide as its caption (and, with contents, as its widest row).
void FitColumnToCaption(QHeaderView* header, int column, int width = 0);
// No tab text is shortened and no scroll arrows hide tabs: the control is as wide as its row
// of tabs.
void ShowEveryTab(QTabWidget* tabs);
