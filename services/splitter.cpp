#include "services/splitter.h"

#include <new>

#include "services/dpi.h"
#include "services/globals.h"

BOOL FullDragMode = FALSE;

namespace {

SplitterState* StateOf(HWND hwnd) {
  return reinterpret_cast<SplitterState*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

void ClientSize(HWND hwnd, int* width, int* height) {
  RECT rc = {};
  GetClientRect(hwnd, &rc);
  *width = rc.right;
  *height = rc.bottom;
}

void SendSize(HWND splitter, HWND sizeOf) {
  int width, height;
  ClientSize(sizeOf, &width, &height);
  SendMessageA(splitter, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
}

// The room the panes share along the bar's axis: the width, or a top/bottom one's height.
int Extent(HWND hwnd, const SplitterState* s) {
  int width, height;
  ClientSize(hwnd, &width, &height);
  return s->topBottom ? height : width;
}

// A top/bottom splitter without a lower pane shows no bar.
bool Collapsed(const SplitterState* s) { return s->topBottom && !s->rightPane; }

// Where the bar begins along the axis: a top/bottom splitter counts its position from the
// bottom, so that the lower pane keeps its height.
int BarStart(const SplitterState* s, int extent) {
  if (!s->topBottom) return s->position;
  const int start = extent - s->position - s->barWidth;
  return start < 0 ? 0 : start;
}

// The position that puts the bar's start at start.
int PositionOfBarStart(const SplitterState* s, int extent, int start) {
  if (!s->topBottom) return start;
  const int position = extent - start - s->barWidth;
  return position < 0 ? 0 : position;
}

// The size the splitter lays itself out in: its own for a top/bottom one (which shares its
// parent with another pane), its parent's for one that fills its parent.
HWND SizeSource(HWND hwnd, const SplitterState* s) { return s->topBottom ? hwnd : GetParent(hwnd); }

void DrawTopBottom(HWND hwnd, HDC dc, const SplitterState* s) {
  if (Collapsed(s)) return;
  int width, height;
  ClientSize(hwnd, &width, &height);
  const int start = BarStart(s, height);
  RECT between = {0, start, width, start + s->barWidth};
  FillRect(dc, &between, GetSysColorBrush(COLOR_BTNFACE));
}

// The bar and the edges at the DPI s is for.
void MeasureForDpi(SplitterState* s) {
  s->barWidth = ScaleToDpi(kSplitterBarWidthAt96, s->dpi);
  s->edgeWidth = MetricForDpi(SM_CXEDGE, s->dpi);
  s->edgeHeight = MetricForDpi(SM_CYEDGE, s->dpi);
}

void Draw(HWND hwnd, HDC dc, const SplitterState* s) {
  if (s->topBottom) {
    DrawTopBottom(hwnd, dc, s);
    return;
  }
  int width, height;
  ClientSize(hwnd, &width, &height);
  const int p = s->position, bar = s->barWidth;
  RECT left = {0, 0, p, height};
  DrawEdge(dc, &left, EDGE_ETCHED, BF_RECT);
  if (p < width) {
    RECT between = {p, 0, p + bar, height};
    HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    if (face) {
      FillRect(dc, &between, face);
      DeleteObject(face);
    }
  }
  if (p + bar < width) {
    RECT right = {p + bar, 0, width, height};
    DrawEdge(dc, &right, EDGE_SUNKEN, BF_RECT);
  }
}

void DrawNow(HWND hwnd, const SplitterState* s) {
  HDC dc = GetDC(hwnd);
  if (!dc) return;
  Draw(hwnd, dc, s);
  ReleaseDC(hwnd, dc);
}

// Inverts rc with a 50% checkerboard; drawing the same rectangle twice removes it.
void InvertOutline(HWND hwnd, const RECT& rc) {
  HDC dc = GetDC(hwnd);
  if (!dc) return;
  const WORD pattern[8] = {0x5555, 0xAAAA, 0x5555, 0xAAAA, 0x5555, 0xAAAA, 0x5555, 0xAAAA};
  HBITMAP bitmap = CreateBitmap(8, 8, 1, 1, pattern);
  HBRUSH brush = bitmap ? CreatePatternBrush(bitmap) : nullptr;
  if (brush) {
    HGDIOBJ old = SelectObject(dc, brush);
    PatBlt(dc, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, PATINVERT);
    SelectObject(dc, old);
    DeleteObject(brush);
  }
  if (bitmap) DeleteObject(bitmap);
  ReleaseDC(hwnd, dc);
}

LRESULT OnCreate(HWND hwnd) {
  auto* s = new (std::nothrow) SplitterState();
  if (!s) return -1;
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(s));
  s->dpi = WindowDpi(hwnd);
  MeasureForDpi(s);
  return 0;
}

void LayOutTopBottom(SplitterState* s, int width, int height) {
  const int top = s->header ? (s->headerHeight < height ? s->headerHeight : height) : 0;
  if (s->header) MoveWindow(s->header, 0, 0, width, top, TRUE);
  if (Collapsed(s)) {
    if (s->leftPane) MoveWindow(s->leftPane, 0, top, width, height - top, TRUE);
    return;
  }
  const int start = BarStart(s, height), below = start + s->barWidth;
  if (s->leftPane) MoveWindow(s->leftPane, 0, top, width, start > top ? start - top : 0, TRUE);
  if (s->rightPane) MoveWindow(s->rightPane, 0, below, width, height > below ? height - below : 0, TRUE);
}

LRESULT OnSize(HWND hwnd, SplitterState* s, int width, int height) {
  if (s->topBottom) {
    LayOutTopBottom(s, width, height);
    DrawNow(hwnd, s);
    return 0;
  }
  const int cx = s->edgeWidth, cy = s->edgeHeight, p = s->position, bar = s->barWidth;
  if (s->leftPane) MoveWindow(s->leftPane, cx, cy, p - 2 * cx, height - 2 * cy, TRUE);
  if (s->rightPane) MoveWindow(s->rightPane, p + bar + cx, cy, width - 2 * cx - p - bar, height - 2 * cy, TRUE);
  DrawNow(hwnd, s);
  return 0;
}

LRESULT OnPaint(HWND hwnd, SplitterState* s) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (dc && s) Draw(hwnd, dc, s);
  EndPaint(hwnd, &ps);
  return 0;
}

// The point's coordinate along the splitter's axis.
int AlongAxis(const SplitterState* s, LPARAM point) {
  return static_cast<short>(s->topBottom ? HIWORD(point) : LOWORD(point));
}

bool OnBar(HWND hwnd, const SplitterState* s, int along) {
  if (Collapsed(s)) return false;
  const int start = BarStart(s, Extent(hwnd, s));
  return along >= start && along < start + s->barWidth;
}

// The outline of the bar whose start is at start.
RECT BarRect(HWND hwnd, const SplitterState* s, int start) {
  int width, height;
  ClientSize(hwnd, &width, &height);
  if (s->topBottom) return RECT{0, start, width, start + s->barWidth};
  return RECT{start, 0, start + s->barWidth, height};
}

LRESULT OnLButtonDown(HWND hwnd, SplitterState* s, WPARAM wParam, LPARAM lParam) {
  const int along = AlongAxis(s, lParam);
  if (GetCapture() == hwnd || !OnBar(hwnd, s, along)) return DefWindowProcA(hwnd, WM_LBUTTONDOWN, wParam, lParam);
  BOOL full = FALSE;
  if (SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &full, 0)) {
    FullDragMode = full;
  } else {
    FullDragMode = !GetSystemMetrics(SM_SLOWMACHINE);
  }
  HWND focus = GetFocus();
  s->focusBeforeDrag = (focus && (focus == s->leftPane || focus == s->rightPane)) ? focus : nullptr;
  SetCapture(hwnd);
  SetFocus(hwnd);
  RedrawWindow(hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  if (FullDragMode) {
    s->dragRect.left = s->position;
  } else {
    s->dragRect = BarRect(hwnd, s, BarStart(s, Extent(hwnd, s)));
    InvertOutline(hwnd, s->dragRect);
  }
  return 0;
}

LRESULT OnMouseMove(HWND hwnd, SplitterState* s, LPARAM lParam) {
  const int x = AlongAxis(s, lParam);
  if (GetCapture() != hwnd) {
    const LPCSTR sizing = s->topBottom ? IDC_SIZENS : IDC_SIZEWE;
    SetCursor(LoadCursorA(nullptr, OnBar(hwnd, s, x) ? sizing : IDC_ARROW));
    return 0;
  }
  // A top/bottom splitter keeps the bar inside itself; one that fills its parent, inside that.
  int parentWidth, parentHeight;
  ClientSize(SizeSource(hwnd, s), &parentWidth, &parentHeight);
  const int room = s->topBottom ? parentHeight - s->barWidth : parentWidth;
  int n;
  if (x < s->minPaneWidth) {
    n = s->minPaneWidth;
  } else {
    n = room - s->minPaneWidth;
    if (n >= x) n = x;
  }
  if (!FullDragMode) {
    const LONG& shown = s->topBottom ? s->dragRect.top : s->dragRect.left;
    if (n == shown) return 0;
    InvertOutline(hwnd, s->dragRect);
    s->dragRect = BarRect(hwnd, s, n);
    InvertOutline(hwnd, s->dragRect);
  } else {
    const int position = PositionOfBarStart(s, Extent(hwnd, s), n);
    if (position == s->position) return 0;
    s->position = static_cast<WORD>(position);
    SendSize(hwnd, SizeSource(hwnd, s));
  }
  return 0;
}

void EndDrag(HWND hwnd, SplitterState* s, bool keep) {
  ReleaseCapture();
  if (!FullDragMode) {
    InvertOutline(hwnd, s->dragRect);
    if (keep) {
      const int start = s->topBottom ? s->dragRect.top : s->dragRect.left;
      s->position = static_cast<WORD>(PositionOfBarStart(s, Extent(hwnd, s), start));
      SendSize(hwnd, hwnd);
    }
  } else if (!keep && s->dragRect.left != s->position) {
    s->position = static_cast<WORD>(s->dragRect.left);
    SendSize(hwnd, hwnd);
  }
  if (s->focusBeforeDrag) SetFocus(s->focusBeforeDrag);
}

LRESULT OnKeyDown(HWND hwnd, SplitterState* s, WPARAM key, LPARAM lParam) {
  if (key != VK_RETURN && key != VK_ESCAPE) return DefWindowProcA(hwnd, WM_KEYDOWN, key, lParam);
  // A key that arrives while no drag holds the mouse has nothing to end.
  if (GetCapture() == hwnd) EndDrag(hwnd, s, key == VK_RETURN);
  return 0;
}

// The window moved to a screen of another DPI: everything the splitter sized is scaled to it.
LRESULT OnDpiChanged(HWND hwnd, SplitterState* s) {
  const UINT dpi = WindowDpi(hwnd);
  if (dpi == s->dpi) return 0;
  s->position = static_cast<WORD>(ScaleBetweenDpi(s->position, s->dpi, dpi));
  s->minPaneWidth = static_cast<WORD>(ScaleBetweenDpi(s->minPaneWidth, s->dpi, dpi));
  s->dpi = dpi;
  MeasureForDpi(s);
  SendSize(hwnd, hwnd);
  InvalidateRect(hwnd, nullptr, TRUE);
  return 0;
}

LRESULT OnNcDestroy(HWND hwnd, WPARAM wParam, LPARAM lParam) {
  delete StateOf(hwnd);
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
  DefWindowProcA(hwnd, WM_NCDESTROY, wParam, lParam);
  return 0;
}

}  // namespace

LRESULT CALLBACK SplitterWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  SplitterState* s = StateOf(hwnd);
  if (!s && msg != WM_CREATE) return DefWindowProcA(hwnd, msg, wParam, lParam);
  switch (msg) {
    case WM_CREATE: return OnCreate(hwnd);
    case WM_SIZE: return OnSize(hwnd, s, LOWORD(lParam), HIWORD(lParam));
    case WM_PAINT: return OnPaint(hwnd, s);
    case WM_ERASEBKGND: return 1;
    case WM_NOTIFY:
    case WM_COMMAND: return SendMessageA(GetParent(hwnd), msg, wParam, lParam);
    case WM_NCDESTROY: return OnNcDestroy(hwnd, wParam, lParam);
    case WM_MOUSEMOVE: return OnMouseMove(hwnd, s, lParam);
    case WM_LBUTTONDOWN: return OnLButtonDown(hwnd, s, wParam, lParam);
    case WM_LBUTTONUP:
      if (GetCapture() == hwnd) EndDrag(hwnd, s, true);
      return 0;
    case WM_KEYDOWN: return OnKeyDown(hwnd, s, wParam, lParam);
    case WM_DPICHANGED_AFTERPARENT: return OnDpiChanged(hwnd, s);
    case WM_CANCELMODE:
      if (GetCapture() == hwnd) EndDrag(hwnd, s, false);
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND CreateSplitter(DWORD exStyle, DWORD style, HWND parent, int id, HINSTANCE instance,
                    WORD minPaneWidth, WORD position) {
  HWND hwnd = CreateWindowExA(exStyle & ~WS_EX_TRANSPARENT, kSplitterClass, "", style | WS_CHILD, 0,
                              0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              instance, nullptr);
  if (!hwnd) return nullptr;
  SplitterState* s = StateOf(hwnd);
  s->position = position;
  s->minPaneWidth = minPaneWidth;
  return hwnd;
}

HWND SetSplitterPane(HWND splitter, SplitterSide side, HWND pane) {
  SplitterState* s = StateOf(splitter);
  if (!s) return nullptr;
  HWND& slot = side == SplitterSide::Left ? s->leftPane : s->rightPane;
  HWND previous = slot;
  slot = pane;
  if (pane) {
    SetParent(pane, splitter);
    SetWindowLongA(pane, GWL_STYLE, GetWindowLongA(pane, GWL_STYLE) & ~WS_CLIPSIBLINGS);
  }
  SendSize(splitter, SizeSource(splitter, s));
  if (s->topBottom) InvalidateRect(splitter, nullptr, TRUE);
  return previous;
}

HWND CreateTopBottomSplitter(HWND parent, int id, HINSTANCE instance, WORD minPaneHeight, WORD lowerHeight) {
  HWND hwnd = CreateSplitter(0, WS_VISIBLE, parent, id, instance, minPaneHeight, lowerHeight);
  if (SplitterState* s = hwnd ? StateOf(hwnd) : nullptr) s->topBottom = true;
  return hwnd;
}

void SetSplitterHeader(HWND splitter, HWND header, int height) {
  SplitterState* s = StateOf(splitter);
  if (!s || !s->topBottom) return;
  s->header = header;
  s->headerHeight = header && height > 0 ? height : 0;
  SendSize(splitter, SizeSource(splitter, s));
}

WORD GetSplitterPosition(HWND splitter) {
  SplitterState* s = StateOf(splitter);
  return s ? s->position : 0;
}

int SplitterBarWidth(HWND splitter) {
  SplitterState* s = StateOf(splitter);
  return s ? s->barWidth : 0;
}
