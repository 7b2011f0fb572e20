#pragma once

#include <windows.h>

// Replaces a window's procedure, keeping the previous one in *previous; fails (false)
// when the window has no procedure to keep.
bool SubclassWindow(HWND window, WNDPROC procedure, WNDPROC* previous);
