// The picture of dragged items that the program draws straight onto the screen while a
// drag started in one of its windows runs. One at a time.
#pragma once

#include <windows.h>
#include <commctrl.h>

// The drag image of the folder tree's item treeItem (fromList 0), or of every selected item
// of the item list pane (fromList 1); hotspot gets the cursor's offset within the image.
// Null on failure. The caller destroys the image list.
HIMAGELIST MakeDragImage(HWND pane, int fromList, HTREEITEM treeItem, POINT* hotspot);
// 1, or 0 when an image is already active or imageList is null. Shows the image at the cursor.
int BeginDragImage(HIMAGELIST imageList, int index, int hotspotX, int hotspotY);
void MoveDragImage(int x, int y);
void ShowDragImage(int show);
void EndDragImage();
// Whether a drag image is active (for tests and the drop target).
int DragImageActive();
