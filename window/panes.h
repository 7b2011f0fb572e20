// The procedures of the two pane classes, "wcPakTV" and "wcPakLV": they report focus
// changes, keep the pane and column widths and open items.
#pragma once

#include <windows.h>

LRESULT CALLBACK FolderTreePaneProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ItemListPaneProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Tab and F6 move the focus on from one of an archive window's panes (or a control of
// its preview) to the next that shows: the folder tree, the filter box, the item list, the
// preview pane; with Shift back. Ctrl+Tab and Ctrl+F6 stay the frame's, between windows.
// false when from is none of them (the keys then keep their own meaning).
bool MoveFocusOnKey(HWND from, WPARAM key);
// Opens the entry of a list item: a directory becomes the current folder.
void OpenListItem(HWND list, int index);
// The item a command on "the selected item" takes: the focused one when it is selected,
// else the first selected one; -1 when none is selected.
int SelectedListItem(HWND list);
