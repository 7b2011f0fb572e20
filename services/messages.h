// The program's private window messages.
#pragma once

#include <windows.h>

#include <cstdint>

enum class EngineTarget : uint8_t;

// What an archive window is opened for (WMU_OPEN_ARCHIVE's form 3, and the window's
// creation parameter): the path, or null for a new archive; for a game folder, the target it
// is searched as (null: the one guessed from the folder); and the window it takes the place
// of, which shows the same path and so is not brought forward instead.
struct ArchiveWindowRequest {
  const char* path = nullptr;
  const EngineTarget* target = nullptr;
  HWND replacing = nullptr;
};

// To the frame: open an archive window. wParam 0: lParam is a path in this process, or
// null for a new archive; returns the new window or 0. wParam 2: as 0, with the path in a
// std::string made with new that the frame deletes. wParam 1: the low word of lParam is a global atom
// naming the path; the sender keeps the atom alive only until the message returns, so this
// form must be sent, never posted. The frame copies the name and posts the form 2 to itself,
// so the sender waits for nothing the open shows; returns nonzero when the open was posted.
// wParam 3: lParam is an ArchiveWindowRequest in this process; returns the new window or 0.
constexpr UINT WMU_OPEN_ARCHIVE = WM_USER;
// The dwData of a WM_COPYDATA to the frame whose data are a path (its bytes, without a NUL)
// too long for an atom's name, which takes 255 bytes: a UTF-8 path of 86 characters of three
// bytes each is longer. The frame copies it and posts the open as for an atom; it returns
// nonzero when the open was posted.
constexpr ULONG_PTR kOpenArchiveData = 0x56584F50;  // "POXV"

// To an archive window (these share values with the frame's message on purpose: each
// window class has its own private range).
constexpr UINT WMU_VIEW_FINISHED = WM_USER;
constexpr UINT WMU_DROP = WM_USER + 1;
// What WMU_DROP returns when some of the dropped files were not taken (the user kept an
// older one, a file could not be read): the drop is then reported as a copy, so that a
// source that completes moves keeps its files. 1 means everything was taken, 0 nothing.
constexpr LRESULT kDroppedInPart = 2;
constexpr UINT WMU_CLIPBOARD_RELEASED = WM_USER + 2;
// Show a failure that happened where no message box may wait (while another program reads
// this window's clipboard or drag data): wParam is a new std::string with the text, which
// the window deletes; lParam is the caption (a string constant).
constexpr UINT WMU_SHOW_FAILURE = WM_USER + 3;
// Posted to an archive window once it is the active one: while it is maximized the frame's
// title names it (the system composes "<program> - [<window>]" when the frame's text is set).
constexpr UINT WMU_NAME_IN_FRAME = WM_USER + 4;
// Posted to an archive window when a viewer ended with its copy changed: the user is asked
// whether the change goes into the archive (not while the viewer watch waits for the window).
constexpr UINT WMU_VIEWED_COPY_CHANGED = WM_USER + 5;
