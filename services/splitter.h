// The splitter control: two panes side by side with a 4-pixel bar between them
// that the user drags to change the width of the left pane.
#pragma once

#include <windows.h>

constexpr int kSplitterBarWidth = 4;

struct SplitterState {
  HWND leftPane;
  HWND rightPane;
  HWND focusBeforeDrag;  // the pane that had the focus when the drag began
  WORD position;         // x of the bar's left edge
  WORD minPaneWidth;     // while dragging, the bar keeps this far from either side
  RECT dragRect;  // outline mode: the inverted rectangle; full drag: left = start position
};

enum class SplitterSide { Left, Right };

LRESULT CALLBACK SplitterWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

HWND CreateSplitter(DWORD exStyle, DWORD style, HWND parent, int id, HINSTANCE instance,
                    WORD minPaneWidth, WORD position);
// Attaches a pane and lays the splitter out; returns the pane previously on that side.
HWND SetSplitterPane(HWND splitter, SplitterSide side, HWND pane);
WORD GetSplitterPosition(HWND splitter);
// Whether the current drag (if any) moves the panes live; read again at every drag start.
extern BOOL FullDragMode;
