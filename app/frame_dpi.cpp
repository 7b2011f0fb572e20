// The frame following the DPI of its screen: at creation and when WM_DPICHANGED tells it
// that it went to a screen of another DPI (or that the screen's DPI changed).
#include "app/frame.h"

#include <commctrl.h>

#include "app/toolbar.h"
#include "services/dpi.h"
#include "services/globals.h"

void FitStatusBarToDpi(HWND bar, UINT dpi) {
  HFONT font = StatusFontForDpi(dpi);
  if (!bar || !font) return;
  SendMessageA(bar, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  // The bar takes the height of its new font when it is next sized.
  SendMessageA(bar, WM_SIZE, 0, 0);
}

LRESULT OnFrameDpiChanged(HWND frame, UINT dpi, const RECT* suggested) {
  NoteWindowDpi(frame, dpi);
  if (suggested) {
    SetWindowPos(frame, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // The toolbar lays its buttons out for the width it has now.
  if (g_toolbar) FitToolbarToDpi(g_toolbar, dpi);
  FitStatusBarToDpi(g_statusBar, dpi);
  // Where the system has per-monitor DPI it tells the archive windows the same afterwards;
  // they take a second notice of one change as nothing.
  for (HWND child = g_mdiClient ? GetWindow(g_mdiClient, GW_CHILD) : nullptr; child; child = GetWindow(child, GW_HWNDNEXT))
    SendMessageA(child, WM_DPICHANGED_AFTERPARENT, 0, 0);
  // The bars' heights changed even where the frame's size did not.
  RECT client;
  GetClientRect(frame, &client);
  LayoutFrame(client.right, client.bottom);
  return 0;
}
