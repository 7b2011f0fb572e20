// The filter box across the top of the item list: what is typed there narrows the shown
// folder's items, at once, to the names that match it (as Find's names do: '*', '?' or a
// plain part of the name). Ctrl+E goes to it; Esc empties it and goes back to the list;
// another folder shown empties it.
#pragma once

#include <windows.h>

struct WindowDocument;

// Makes the box over the list of doc's window; false when it cannot be made.
bool CreateFilterBox(HWND window, WindowDocument* doc);
// The box's text changed (EN_CHANGE): the list shows the folder's items that match it.
void OnFilterChanged(HWND window, WindowDocument* doc);
// Ctrl+E: the box takes the focus with its text selected.
void FocusFilterBox(WindowDocument* doc);
