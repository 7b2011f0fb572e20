#include "window/window_dpi.h"

#include "panes/pane_dpi.h"
#include "panes/preview_pane.h"
#include "services/dpi.h"

LRESULT FollowDpiChange(HWND window, WindowDocument* doc) {
  const UINT dpi = WindowDpi(window);
  if (!doc || dpi == doc->dpi) return 0;
  const UINT from = doc->dpi;
  if (!IsZoomed(window) && !IsIconic(window)) {
    RECT rc;
    GetWindowRect(window, &rc);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rc), 2);
    SetWindowPos(window, nullptr, ScaleBetweenDpi(rc.left, from, dpi), ScaleBetweenDpi(rc.top, from, dpi),
                 ScaleBetweenDpi(rc.right - rc.left, from, dpi), ScaleBetweenDpi(rc.bottom - rc.top, from, dpi),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // The system tells the splitter itself where it has per-monitor DPI; elsewhere it learns
  // the change from here.
  if (doc->splitter) SendMessageA(doc->splitter, WM_DPICHANGED_AFTERPARENT, 0, 0);
  MovePanesToDpi(doc, dpi);
  ApplyPreviewDpi(doc);
  return 0;
}
