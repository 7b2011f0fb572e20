// The archive window: one MDI child per open archive, owning its document.
#pragma once

#include <windows.h>

#include "panes/window_document.h"

LRESULT CALLBACK ArchiveWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The save prompt of a modified document; false when the user cancels.
bool QuerySaveChanges(HWND window);

// The number in the title of the next new archive; starts at 1 and never goes back.
extern unsigned long UntitledCounter;
