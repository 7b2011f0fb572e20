#include "transfer/drag_image.h"

#include "services/dpi.h"

namespace {

struct DragImageState {
  HIMAGELIST imageList;
  int index;
  POINT hotspot;
  SIZE size;
  POINT topLeft;   // on the screen
  HDC saveDc;      // the screen pixels under the image
  HBITMAP saveBitmap;
  HGDIOBJ oldBitmap;
  int shown;
  int active;
};

DragImageState g_image;

HDC ScreenDc() {
  return GetDCEx(GetDesktopWindow(), nullptr, DCX_WINDOW | DCX_CACHE | DCX_LOCKWINDOWUPDATE);
}

void SaveUnder(HDC screen) {
  BitBlt(g_image.saveDc, 0, 0, g_image.size.cx, g_image.size.cy, screen, g_image.topLeft.x,
         g_image.topLeft.y, SRCCOPY);
}

void RestoreUnder(HDC screen) {
  BitBlt(screen, g_image.topLeft.x, g_image.topLeft.y, g_image.size.cx, g_image.size.cy,
         g_image.saveDc, 0, 0, SRCCOPY);
}

void DrawImage(HDC screen) {
  ImageList_Draw(g_image.imageList, g_image.index, screen, g_image.topLeft.x, g_image.topLeft.y,
                 ILD_TRANSPARENT);
}

void Draw() {
  HDC screen = ScreenDc();
  if (!screen) return;
  SaveUnder(screen);
  DrawImage(screen);
  ReleaseDC(GetDesktopWindow(), screen);
  g_image.shown = 1;
}

void Hide() {
  HDC screen = ScreenDc();
  if (screen) {
    RestoreUnder(screen);
    ReleaseDC(GetDesktopWindow(), screen);
  }
  g_image.shown = 0;
}

HIMAGELIST TreeDragImage(HWND tree, HTREEITEM item, POINT* hotspot) {
  if (!item) return nullptr;
  HIMAGELIST list = reinterpret_cast<HIMAGELIST>(
      SendMessageA(tree, TVM_CREATEDRAGIMAGE, 0, reinterpret_cast<LPARAM>(item)));
  // The middle of the item's icon.
  const int middle = MetricForDpi(SM_CXSMICON, WindowDpi(tree)) / 2;
  if (list) *hotspot = POINT{middle, middle};
  return list;
}

// Every selected item's own drag image, blended with the selection colour, on one bitmap
// the size of the union of their bounds; the untouched background is the mask colour.
HIMAGELIST ListDragImage(HWND list, POINT* hotspot) {
  RECT bounds = {};
  bool any = false;
  for (int i = -1; (i = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, i, LVNI_SELECTED))) != -1;) {
    RECT r = {};
    r.left = LVIR_SELECTBOUNDS;
    if (!SendMessageA(list, LVM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&r))) continue;
    if (!any) {
      bounds = r;
      any = true;
    } else {
      UnionRect(&bounds, &bounds, &r);
    }
  }
  const int width = bounds.right - bounds.left;
  const int height = bounds.bottom - bounds.top;
  if (!any || width <= 0 || height <= 0) return nullptr;
  const COLORREF maskColour = static_cast<COLORREF>(-1);
  HDC listDc = GetDC(list);
  HDC memory = listDc ? CreateCompatibleDC(listDc) : nullptr;
  HBITMAP bitmap = memory ? CreateCompatibleBitmap(listDc, width, height) : nullptr;
  if (listDc) ReleaseDC(list, listDc);
  HIMAGELIST result = nullptr;
  if (bitmap) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    HBRUSH fill = CreateSolidBrush(maskColour & 0xFFFFFF);
    RECT all = {0, 0, width, height};
    FillRect(memory, &all, fill);
    DeleteObject(fill);
    for (int i = -1; (i = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, i, LVNI_SELECTED))) != -1;) {
      POINT origin = {};
      HIMAGELIST item = reinterpret_cast<HIMAGELIST>(
          SendMessageA(list, LVM_CREATEDRAGIMAGE, i, reinterpret_cast<LPARAM>(&origin)));
      if (!item) continue;
      ImageList_DrawEx(item, 0, memory, origin.x - bounds.left, origin.y - bounds.top, 0, 0, CLR_NONE,
                       GetSysColor(COLOR_HIGHLIGHT), ILD_BLEND50);
      ImageList_Destroy(item);
    }
    SelectObject(memory, old);
    result = ImageList_Create(width, height, ILC_COLOR24 | ILC_MASK, 1, 0);
    if (result && ImageList_AddMasked(result, bitmap, maskColour & 0xFFFFFF) == -1) {
      ImageList_Destroy(result);
      result = nullptr;
    }
    DeleteObject(bitmap);
  }
  if (memory) DeleteDC(memory);
  if (result) {
    POINT cursor = {};
    GetCursorPos(&cursor);
    ScreenToClient(list, &cursor);
    *hotspot = POINT{cursor.x - bounds.left, cursor.y - bounds.top};
  }
  return result;
}

}  // namespace

HIMAGELIST MakeDragImage(HWND pane, int fromList, HTREEITEM treeItem, POINT* hotspot) {
  if (!pane || !hotspot) return nullptr;
  return fromList ? ListDragImage(pane, hotspot) : TreeDragImage(pane, treeItem, hotspot);
}

int BeginDragImage(HIMAGELIST imageList, int index, int hotspotX, int hotspotY) {
  if (g_image.active || !imageList) return 0;
  int cx = 0, cy = 0;
  if (!ImageList_GetIconSize(imageList, &cx, &cy) || cx <= 0 || cy <= 0) return 0;
  HDC screen = ScreenDc();
  if (!screen) return 0;
  HDC saveDc = CreateCompatibleDC(screen);
  HBITMAP saveBitmap = saveDc ? CreateCompatibleBitmap(screen, cx, cy) : nullptr;
  ReleaseDC(GetDesktopWindow(), screen);
  if (!saveBitmap) {
    if (saveDc) DeleteDC(saveDc);
    return 0;
  }
  POINT cursor = {};
  GetCursorPos(&cursor);
  g_image = DragImageState{};
  g_image.imageList = imageList;
  g_image.index = index;
  g_image.hotspot = POINT{hotspotX, hotspotY};
  g_image.size = SIZE{cx, cy};
  g_image.topLeft = POINT{cursor.x - hotspotX, cursor.y - hotspotY};
  g_image.saveDc = saveDc;
  g_image.saveBitmap = saveBitmap;
  g_image.oldBitmap = SelectObject(saveDc, saveBitmap);
  g_image.active = 1;
  Draw();
  return 1;
}

void MoveDragImage(int x, int y) {
  if (!g_image.active) return;
  POINT next = {x - g_image.hotspot.x, y - g_image.hotspot.y};
  if (next.x == g_image.topLeft.x && next.y == g_image.topLeft.y) return;
  if (!g_image.shown) {
    g_image.topLeft = next;
    return;
  }
  HDC screen = ScreenDc();
  if (!screen) return;
  RestoreUnder(screen);
  g_image.topLeft = next;
  SaveUnder(screen);
  DrawImage(screen);
  ReleaseDC(GetDesktopWindow(), screen);
}

void ShowDragImage(int show) {
  if (!g_image.active || (show != 0) == (g_image.shown != 0)) return;
  if (show) {
    Draw();
  } else {
    Hide();
  }
}

void EndDragImage() {
  if (!g_image.active) return;
  if (g_image.shown) Hide();
  SelectObject(g_image.saveDc, g_image.oldBitmap);
  DeleteObject(g_image.saveBitmap);
  DeleteDC(g_image.saveDc);
  g_image = DragImageState{};
}

int DragImageActive() {
  return g_image.active;
}
