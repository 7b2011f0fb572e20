// The drop target of an archive window: it takes "Vellumix Data" items and shell file
// lists, highlights the target folder, scrolls and opens branches while the cursor rests,
// and hands the drop to its window as WMU_DROP.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <commctrl.h>

// What WMU_DROP carries (wParam is its address).
struct DropRequest {
  DWORD effect;        // DROPEFFECT_COPY or DROPEFFECT_MOVE
  UINT format;         // "Vellumix Data" or CF_HDROP
  HGLOBAL medium;      // the data; stays the sender's
  HTREEITEM treeItem;  // the target folder, 0 when the target is a list item
  int listIndex;       // the target list item, -1 when the target is a folder
};

// The clock of a drop target's waits (resting at an edge scrolls after 200 ms, on a
// collapsed folder opens it after 2 s), in milliseconds; null stands for the system's.
using DropTargetClock = DWORD (*)();

// A new drop target for the archive window, with one reference; null when memory is short.
IDropTarget* CreateDropTarget(HWND window);

// Gives a drop target made by CreateDropTarget another clock (null: the system's).
void SetDropTargetClock(IDropTarget* target, DropTargetClock clock);
