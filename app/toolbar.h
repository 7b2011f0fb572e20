// The frame's toolbar: a common-control toolbar whose class paints the menu colour behind it.
#pragma once

#include <windows.h>

LRESULT CALLBACK ToolbarWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Creates the toolbar with its sixteen buttons as child 3 of the frame; null on failure.
HWND CreateFrameToolbar(HWND frame);

constexpr int kToolbarButtonCount = 16;
