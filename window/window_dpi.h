// An archive window following a change of the DPI of the frame's screen.
#pragma once

#include <windows.h>

#include "panes/window_document.h"

// WM_DPICHANGED_AFTERPARENT: the window (unless maximized or minimized) keeps its place and
// size in 96-DPI terms, the splitter and the panes take the new DPI. Nothing happens when the
// panes already have it, so a second notice of the same change costs nothing.
LRESULT FollowDpiChange(HWND window, WindowDocument* doc);
