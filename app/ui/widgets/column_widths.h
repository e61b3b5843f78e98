// A list's columns sized for what they show on this platform's fonts. The widths the windows
// were drawn with are minimums: a column is at least that wide, and as wide as its caption and
// its widest row need; the last column takes the rest of the list's width. A column whose rows
// may be longer than any window (paths) can be told to give way: when the columns do not fit
// the list, it is narrowed (not below its minimum and its caption), its rows shortened in the
// middle, and the columns after it stay in view. The columns follow the rows as they change;
// the others never narrow, so that they do not jump about while a list is refilled, and a
// column the user drags wider stays so.
#pragma once

#include <vector>

class QAbstractItemView;

// For a flat tree view or a table view whose captions are set; `yielding` is the column that
// gives way (-1: none, the list scrolls). Once per list.
void FitColumns(QAbstractItemView* list, std::vector<int> minimums, int yielding = -1);

// The width of the list when its fitted columns are side by side (its rows measured so far),
// with its frame and room for a vertical scroll bar: what a window that shows it whole makes
// room for.
int FittedListWidth(QAbstractItemView* list);
