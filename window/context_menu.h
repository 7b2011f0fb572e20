// The context menus of the two panes (right click, the Menu key, Shift+F10): one for items,
// one for the empty space of a folder. Their entries are the menu commands, enabled as the
// main menu has them, and carried out through the same WM_COMMAND.
#pragma once

#include <windows.h>

struct WindowDocument;

// Opens the context menu of pane, one of the window's two panes, and carries out what is
// chosen; false when pane is neither. at holds screen coordinates, or -1 for a menu asked
// for from the keyboard (it opens at the selection).
bool OnPaneContextMenu(HWND window, WindowDocument* doc, HWND pane, LPARAM at);

// ID_OBJECT_VIEW: opens the list's selected item, or shows the tree's caret folder in the list.
void ViewSelectedItem(WindowDocument* doc);
