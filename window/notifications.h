// WM_NOTIFY of an archive window: what its folder tree and item list report.
#pragma once

#include <windows.h>

struct WindowDocument;

LRESULT OnArchiveNotify(HWND window, WindowDocument* doc, NMHDR* header);
