// The widths the windows give in pixels are minimums on this platform's fonts: a column is at
// least as wide as its caption needs, and a page control shows every tab whole.
#pragma once

#include <initializer_list>

class QHeaderView;
class QTabWidget;

// Column c gets the larger of widths[c] and what its caption needs.
void SetColumnWidths(QHeaderView* header, std::initializer_list<int> widths);
// One column at least as wide as its caption (and, with contents, as its widest row).
void FitColumnToCaption(QHeaderView* header, int column, int width = 0);
// No tab text is shortened and no scroll arrows hide tabs: the control is as wide as its row
// of tabs.
void ShowEveryTab(QTabWidget* tabs);
