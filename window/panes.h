// The procedures of the two pane classes, "wcPakTV" and "wcPakLV": they report focus
// changes, keep the pane and column widths and open items.
#pragma once

#include <windows.h>

LRESULT CALLBACK FolderTreePaneProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ItemListPaneProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Opens the entry of a list item: a directory becomes the current folder.
void OpenListItem(HWND list, int index);
// The item a command on "the selected item" takes: the focused one when it is selected,
// else the first selected one; -1 when none is selected.
int SelectedListItem(HWND list);
