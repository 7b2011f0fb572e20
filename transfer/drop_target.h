// The drop target of an archive window: it takes "Vellumix Data" items and shell file
// lists, highlights the target folder, scrolls and opens branches while the cursor rests,
// and hands the drop to its window as WMU_DROP. The panes draw the feedback (see
// panes/drop_feedback.h); this object chooses the effect and takes the data.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <commctrl.h>

#include "panes/drop_feedback.h"

// What WMU_DROP carries (wParam is its address).
struct DropRequest {
  DWORD effect;        // DROPEFFECT_COPY or DROPEFFECT_MOVE
  UINT format;         // "Vellumix Data" or CF_HDROP
  HGLOBAL medium;      // the data; stays the sender's
  HTREEITEM treeItem;  // the target folder, 0 when the target is a list item
  int listIndex;       // the target list item, -1 when the target is a folder
};


// A new drop target for the archive window, with one reference; null when memory is short.
IDropTarget* CreateDropTarget(HWND window);

// Gives a drop target made by CreateDropTarget another clock (null: the system's).
void SetDropTargetClock(IDropTarget* target, DropTargetClock clock);
