#include "services/subclass.h"

bool SubclassWindow(HWND window, WNDPROC procedure, WNDPROC* previous) {
  if (!window) return false;
  WNDPROC old = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
  if (!old) return false;
  *previous = old;
  return true;
}
