// The frame's toolbar: a common-control toolbar whose class paints the menu colour behind it.
#pragma once

#include <windows.h>

LRESULT CALLBACK ToolbarWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Creates the toolbar with its seventeen buttons as child 3 of the frame, at the frame's DPI;
// null on failure.
HWND CreateFrameToolbar(HWND frame);
// Gives the toolbar the system's button images at dpi's size (16 pixels at 96 DPI) and the
// buttons and separators sized for them; false when no images could be made (the toolbar
// keeps those it had).
bool FitToolbarToDpi(HWND toolbar, UINT dpi);

constexpr int kToolbarButtonCount = 17;
