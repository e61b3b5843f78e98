// The column widths the windows give are minimums on this platform's fonts: a list's column is
// at least as wide as its caption and its widest row need (the list scrolls sideways).
#pragma once

#include <initializer_list>

class QTreeWidget;

// Column c gets the largest of minimums[c], its caption's width and its widest row's.
void FitColumnWidths(QTreeWidget* list, std::initializer_list<int> minimums);
