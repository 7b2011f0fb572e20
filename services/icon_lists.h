// The image lists the panes show, at a window's DPI: the system's own (and the folder
// tree's) where their icons have the size the DPI asks for, else copies of them at that
// size, made at first use and kept until ReleaseIconCopies. A copy keeps the system list's
// indexes, so an item's icon index is the same in both.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>

// A 32-bit bitmap of width x height pixels whose rows run from the top, and its pixels in
// *bits (0xAARRGGBB each); null when the system makes none.
HBITMAP CreateTopDownBitmap(int width, int height, uint32_t** bits);

// The item list's small and large icons and the folder tree's images at dpi.
HIMAGELIST SmallIconsForDpi(UINT dpi);
HIMAGELIST LargeIconsForDpi(UINT dpi);
HIMAGELIST FolderIconsForDpi(UINT dpi);
// Makes the copies a pane shows at its DPI hold the system's icon index (a file type met
// after they were made); nothing to do where the pane shows the system's lists themselves.
void CoverIconIndex(HWND pane, int index);
void ReleaseIconCopies();

// A new image list of size-pixel images holding every image of source, each drawn at the
// new size; null on failure. The caller destroys it.
HIMAGELIST CopyImagesAtSize(HIMAGELIST source, int size);
