// The DPI the program's windows are drawn at, and the sizes that follow it. Every size the
// program chooses itself is written for 96 DPI (100 %) and scaled to the window's DPI here;
// remembered sizes (column widths, the folder pane, a new window's size) are kept in 96-DPI
// units, so a layout made on one screen keeps its proportions on another.
//
// Per-monitor DPI comes with Windows 10; the functions for it are looked up at run time, so
// the program still starts on older systems, where the screen's DPI (the system's) is used.
#pragma once

#include <windows.h>

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
#ifndef WM_DPICHANGED_AFTERPARENT
#define WM_DPICHANGED_AFTERPARENT 0x02E3
#endif

constexpr UINT kBaseDpi = 96;

// The DPI of window: that of its top-level window, as the last WM_DPICHANGED to it gave it,
// else as the system says (GetDpiForWindow where the system has it, else the screen's).
UINT WindowDpi(HWND window);
// The system's DPI: the screen's logical pixels per inch (96 when unknown).
UINT SystemDpi();
// Notes the DPI that WM_DPICHANGED gave a top-level window; ForgetWindowDpi drops the note
// before the window is destroyed.
void NoteWindowDpi(HWND topLevel, UINT dpi);
void ForgetWindowDpi(HWND topLevel);

// A size at 96 DPI in pixels at dpi, rounded; and a size at dpi back in 96-DPI units.
int ScaleToDpi(int size, UINT dpi);
int ScaleFromDpi(int size, UINT dpi);
// A size at one DPI at another.
int ScaleBetweenDpi(int size, UINT from, UINT to);

// GetSystemMetrics for dpi: GetSystemMetricsForDpi where present, else the system's value
// scaled from the system's DPI.
int MetricForDpi(int index, UINT dpi);

// The system's fonts at dpi, made at first use and kept until ReleaseDpiFonts: the font of
// icon titles (what list and tree views show their items in) and the status bar's font.
// Null when the system gives none.
HFONT IconTitleFontForDpi(UINT dpi);
HFONT StatusFontForDpi(UINT dpi);
void ReleaseDpiFonts();
