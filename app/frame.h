// The frame window: the program's one top-level window, holding the MDI client with the
// archive windows, a toolbar at the top and a status bar at the bottom.
#pragma once

#include <windows.h>

#include "services/messages.h"

LRESULT CALLBACK FrameWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Places toolbar, MDI client and status bar in a client area of the given size.
void LayoutFrame(int width, int height);
// WM_DPICHANGED: the frame notes dpi, takes the suggested rectangle (when given), fits its
// bars to dpi, tells the archive windows and lays itself out again.
LRESULT OnFrameDpiChanged(HWND frame, UINT dpi, const RECT* suggested);
// Gives the status bar the system's status font at dpi and the height that goes with it.
void FitStatusBarToDpi(HWND bar, UINT dpi);
// The toolbar's height from its last button (1.25 times the button's height, rounded), or 0
// when the toolbar is hidden, has no buttons or the button cannot be measured.
int ToolbarHeight();

// Creates an archive window for path (null: a new archive), maximized when the active
// archive window is; the new window or null. The request form also names the target a game
// folder is searched as and the window the new one replaces.
HWND OpenArchiveWindow(const char* path);
HWND OpenArchiveWindow(const ArchiveWindowRequest& request);
// Opens one archive window per file of an Open dialog's answer: a directory followed by
// NUL-terminated names and an empty string, or a single full path. Returns the count opened.
int OpenArchivesFromSelection(const char* selection);

// The frame's commands; wParam and lParam are those of the WM_COMMAND.
void OnFrameCommand(HWND frame, WPARAM wParam, LPARAM lParam);
// Asks the active archive window whether it may close and destroys it if so.
void CloseActiveWindow();
// Offers every archive window to close, as the Close All command does.
void CloseAllWindows();

// Status bar help texts.
void ShowStatusText(const char* text);
void OnMenuSelect(UINT item, UINT flags, HMENU menu);
LRESULT OnFrameNotify(NMHDR* header);

// The About box, modal to the frame.
void ShowAboutBox(HWND owner);
// The Options dialog; OK applies and keeps what it shows.
void ShowOptions(HWND owner);
