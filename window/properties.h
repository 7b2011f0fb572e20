// The Properties command (Alt+Enter, the context menus): what the selected items add up to,
// or the archive itself when the command is given on its top folder.
#pragma once

#include <windows.h>

#include "panes/window_document.h"

void ShowProperties(HWND window, WindowDocument* doc);
