// Dragging a folder of the folder tree, or the selected items of the item list, out of an
// archive window; a drag that ends in a move removes them here afterwards.
#pragma once

#include <windows.h>
#include <commctrl.h>

struct WindowDocument;

// TVN_BEGINDRAG and LVN_BEGINDRAG; both answer 1.
LRESULT OnBeginTreeDrag(HWND window, WindowDocument* doc, const NMTREEVIEWA* info);
LRESULT OnBeginListDrag(HWND window, WindowDocument* doc);
