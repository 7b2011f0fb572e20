// The frame's bars at the DPI of its screen.
#include "app/frame.h"

#include <commctrl.h>

#include "services/dpi.h"

void FitStatusBarToDpi(HWND bar, UINT dpi) {
  HFONT font = StatusFontForDpi(dpi);
  if (!bar || !font) return;
  SendMessageA(bar, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  // The bar takes the height of its new font when it is next sized.
  SendMessageA(bar, WM_SIZE, 0, 0);
}
