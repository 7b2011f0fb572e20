// The status bar while no help shows in it: the items of the folder the active archive
// window lists, and of its selection how many there are and their total size.
#pragma once

#include <windows.h>

#include <string>

struct WindowDocument;

// "9 items", "9 items, 2 selected (1,234 bytes)" for the active archive window's folder;
// "Ready" when no archive window is active.
std::string IdleStatusText();

// The text for doc's list as it is now.
std::string FolderStatusText(const WindowDocument* doc);

// Brings the status bar up to date for window once its list settles: the many changes of
// one operation (Select All, a drop of many files) make one update.
void ScheduleFolderStatus(HWND window);
// The timer of ScheduleFolderStatus went off in window.
constexpr UINT_PTR kFolderStatusTimer = 0x5354;
void OnFolderStatusTimer(HWND window);
// The counts at once, also on the way into a menu (whose help takes the bar only from
// the entry first pointed at): a context menu opened on a folder counts that folder.
void ShowFolderStatusNow(HWND window);
