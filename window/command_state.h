// Which menu items and toolbar buttons are enabled or checked, following the active
// archive window, the focused pane, its selection and the clipboard.
#pragma once

#include <windows.h>

struct WindowDocument;

void UpdateCommandState(HWND window, WindowDocument* doc);
// WM_MDIACTIVATE of an archive window.
void OnArchiveActivate(HWND window, WindowDocument* doc, HWND activated, HWND deactivated);
