// The splitter control: two panes side by side with a bar between them (4 pixels at
// 96 DPI, scaled to the window's DPI) that the user drags to change the width of the left
// pane; or, made top/bottom, one pane above the other, where the bar sets the height of the
// lower pane, which keeps it while the splitter grows or shrinks. A top/bottom splitter
// without a lower pane gives the upper one all its room. It follows a change of its window's DPI (WM_DPICHANGED_AFTERPARENT): the bar, the
// panes' edges, the position and the least pane width are scaled to the new DPI.
#pragma once

#include <windows.h>

constexpr int kSplitterBarWidthAt96 = 4;

struct SplitterState {
  HWND leftPane;   // or the upper pane
  HWND rightPane;  // or the lower pane
  HWND focusBeforeDrag;  // the pane that had the focus when the drag began
  WORD position;         // x of the bar's left edge; top/bottom: the lower pane's height
  WORD minPaneWidth;     // while dragging, the bar keeps this far from either side
  RECT dragRect;  // outline mode: the inverted rectangle; full drag: left = start position
  UINT dpi;       // the DPI the sizes below and the position are for
  int barWidth;
  int edgeWidth;   // the panes' edges, SM_CXEDGE and SM_CYEDGE at dpi
  int edgeHeight;
  bool topBottom;  // the panes lie one above the other, without edges of their own
  HWND header;     // top/bottom: a control across the top, above the upper pane
  int headerHeight;  // its height in pixels
};

enum class SplitterSide { Left, Right, Top = Left, Bottom = Right };

LRESULT CALLBACK SplitterWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

HWND CreateSplitter(DWORD exStyle, DWORD style, HWND parent, int id, HINSTANCE instance,
                    WORD minPaneWidth, WORD position);
// A top/bottom splitter whose lower pane is lowerHeight pixels high.
HWND CreateTopBottomSplitter(HWND parent, int id, HINSTANCE instance, WORD minPaneHeight, WORD lowerHeight);
// Attaches a pane and lays the splitter out; returns the pane previously on that side.
HWND SetSplitterPane(HWND splitter, SplitterSide side, HWND pane);
WORD GetSplitterPosition(HWND splitter);
// A top/bottom splitter lays header out across its top, height pixels high, above the upper
// pane (null: none); the caller gives a new height when the DPI or the font changes.
void SetSplitterHeader(HWND splitter, HWND header, int height);
// The bar's width in pixels at the splitter's DPI (0 for a window that is no splitter).
int SplitterBarWidth(HWND splitter);
// Whether the current drag (if any) moves the panes live; read again at every drag start.
extern BOOL FullDragMode;
