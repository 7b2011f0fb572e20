// WM_COMMAND of an archive window.
#pragma once

#include <windows.h>

struct WindowDocument;

// Carries out a command; false when the command is not the window's own.
bool OnArchiveCommand(HWND window, WindowDocument* doc, int command, HWND control, int code);
