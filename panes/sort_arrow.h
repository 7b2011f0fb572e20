// The item list's column header: the sorted column carries the system's sort arrow, pointing
// up while the list is sorted ascending and down while descending.
#pragma once

#include <windows.h>

// Puts the arrow of sortKey on its column of the list's header and takes it off the others.
void ShowSortArrow(HWND list, unsigned sortKey);

// The position of the list's column that carries the arrow for a sort key (-1 for none,
// or while that column is hidden).
int SortedColumn(HWND list, unsigned sortKey);
