#include "panes/header_draw.h"

#include <commctrl.h>

#include "panes/window_document.h"
#include "services/subclass.h"

namespace {

// Every list header is a SysHeader32 window, so they all keep the same previous procedure.
WNDPROC g_headerProc = nullptr;

int SpaceWidth(HDC dc) {
  SIZE size = {};
  GetTextExtentPoint32A(dc, " ", 1, &size);
  return size.cx > 0 ? size.cx : 4;
}

// An 8-pixel arrow as an embossed outline: highlight on the lit edge, shadow on the other.
void DrawArrow(HDC dc, int right, int top, int bottom, bool descending) {
  int x0 = right - 8;
  int y0 = top + (bottom - top - 8) / 2;
  HPEN light = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
  HPEN shadow = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
  HGDIOBJ old = SelectObject(dc, shadow);
  if (descending) {
    POINT dark[] = {{x0 + 4, y0 + 8}, {x0, y0}, {x0 + 8, y0}};
    Polyline(dc, dark, 3);
    SelectObject(dc, light);
    POINT lit[] = {{x0 + 8, y0}, {x0 + 4, y0 + 8}};
    Polyline(dc, lit, 2);
  } else {
    POINT dark[] = {{x0 + 4, y0}, {x0, y0 + 8}};
    Polyline(dc, dark, 2);
    SelectObject(dc, light);
    POINT lit[] = {{x0, y0 + 8}, {x0 + 8, y0 + 8}, {x0 + 4, y0}};
    Polyline(dc, lit, 3);
  }
  SelectObject(dc, old);
  DeleteObject(light);
  DeleteObject(shadow);
}

void DrawHeaderItem(HWND header, const DRAWITEMSTRUCT* draw) {
  auto* doc = reinterpret_cast<WindowDocument*>(GetWindowLongPtrA(header, GWLP_USERDATA));
  int column = static_cast<int>(draw->itemID);
  int sorted = doc ? SortedColumn(doc->sortKey) : -1;
  bool descending = doc && (doc->sortKey & 0x100);

  char text[257] = {};
  HDITEMA item = {};
  item.mask = HDI_TEXT | HDI_FORMAT;
  item.pszText = text;
  item.cchTextMax = sizeof text - 1;
  SendMessageA(header, HDM_GETITEMA, column, reinterpret_cast<LPARAM>(&item));
  UINT flags = DT_VCENTER | DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX | DT_END_ELLIPSIS;
  int align = item.fmt & HDF_JUSTIFYMASK;
  if (align == HDF_CENTER) {
    flags |= DT_CENTER;
  } else if (align == HDF_RIGHT) {
    flags |= DT_RIGHT;
  }

  HDC dc = draw->hDC;
  RECT rc = draw->rcItem;
  int saved = SaveDC(dc);
  IntersectClipRect(dc, rc.left, rc.top, rc.right, rc.bottom);
  HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
  FillRect(dc, &rc, face);
  int s = SpaceWidth(dc);
  if (draw->itemState == ODS_SELECTED) {
    rc.left += 1;
    rc.right += 1;
    rc.top += 2;
  }
  RECT textRect = rc;
  textRect.left += 2 * s;
  textRect.right -= column == sorted ? 6 * s + 8 : 2 * s;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  if (textRect.left < textRect.right) DrawTextA(dc, text, -1, &textRect, flags);

  if (column == sorted) {
    SIZE caption = {};
    GetTextExtentPoint32A(dc, text, lstrlenA(text), &caption);
    int limit = rc.right - 3 * s;
    int x;
    if (align == HDF_CENTER) {
      x = (rc.left + rc.right + caption.cx) / 2 + 2 * s + 4;
    } else if (align == HDF_RIGHT) {
      x = limit;
    } else {
      x = rc.left + caption.cx + 5 * s + 8;
    }
    if (x > limit) x = limit;
    RECT arrowArea = {x - 2 * s - 8, rc.top, x, rc.bottom};
    FillRect(dc, &arrowArea, face);
    DrawArrow(dc, x, rc.top, rc.bottom, descending);
  }
  RestoreDC(dc, saved);
}

LRESULT CALLBACK HeaderDrawProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DRAWITEM) {
    DrawHeaderItem(hwnd, reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    return TRUE;
  }
  return CallWindowProcA(g_headerProc, hwnd, msg, wParam, lParam);
}

}  // namespace

int SortedColumn(unsigned sortKey) {
  switch (sortKey & 0xFF) {
    case 1: return 0;
    case 2: return 2;
    case 4: return 1;
    default: return -1;
  }
}

bool AttachHeaderDrawing(HWND header, WindowDocument* doc) {
  WNDPROC previous = nullptr;
  if (!SubclassWindow(header, HeaderDrawProc, &previous)) return false;
  if (previous != HeaderDrawProc) g_headerProc = previous;
  SetWindowLongPtrA(header, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(doc));
  for (int i = 0; i < 3; ++i) {
    HDITEMA item = {};
    item.mask = HDI_FORMAT;
    SendMessageA(header, HDM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
    item.fmt |= HDF_OWNERDRAW;
    SendMessageA(header, HDM_SETITEMA, i, reinterpret_cast<LPARAM>(&item));
  }
  return true;
}
