// How an archive window's panes answer a drag over them: which folder or list item is
// the target under the cursor, the drop highlight on it, scrolling when the cursor rests
// at a pane's edge, and opening a collapsed folder it rests on.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "panes/window_document.h"

// The clock of the waits (resting at an edge scrolls after 200 ms, on a collapsed folder
// opens it after 2 s), in milliseconds; null stands for the system's.
using DropTargetClock = DWORD (*)();

class PaneDropFeedback {
 public:
  explicit PaneDropFeedback(WindowDocument* document);

  void SetClock(DropTargetClock clock);
  // A new drag entered the window: no target, no wait.
  void Reset();
  // Follows the cursor to point (screen coordinates) with the effect chosen so far, to
  // which DROPEFFECT_SCROLL is added when a pane is to scroll or a folder to open. True
  // when the feedback drawn must change (see Draw).
  bool Track(POINT point, DWORD* effect);
  // Draws the feedback for the target Track found: the highlight, a scroll step.
  void Draw(DWORD effect);

  bool HasTarget() const { return targetKind_ != NoTarget; }
  // The target folder, or null when the target is a list item or there is none.
  HTREEITEM TargetFolder() const { return targetKind_ == TreeItem ? treeItem_ : nullptr; }
  // The target list item, or -1 when the target is a folder or there is none.
  int TargetListIndex() const { return targetKind_ == ListItem ? listIndex_ : -1; }

 private:
  enum class ScrollState { Idle, ScrollUp, ScrollDown, ScrollLeft, ScrollRight, HoverExpand };
  enum TargetKind { NoTarget = 0, ListItem = 1, TreeItem = 2 };

  // Whether ms have passed since the current wait (scroll or hover) began.
  bool Elapsed(DWORD ms) const { return clock_() - waitStart_ >= ms; }
  bool PreviousWasHighlighted() const;
  void ComputeScrollZone(HWND pane, bool list);
  int UpdateTreeTarget(POINT p, DWORD* effect);
  bool CanScroll(int bar, bool towardsMinimum);
  void ListScrollStep(bool inZone, int bar, bool towardsMinimum, DWORD* effect);
  int UpdateListTarget(POINT p, DWORD* effect);
  void SetListHighlight(int index, bool on);
  void DoScrollStep();

  WindowDocument* document_;
  DropTargetClock clock_;
  // The scroll zone of the pane under the cursor, and when the current wait began.
  RECT inner_ = {};
  DWORD waitStart_ = 0;
  ScrollState scrollState_ = ScrollState::Idle;
  ATOM pane_ = 0;
  HWND paneWindow_ = nullptr;
  int targetKind_ = NoTarget;
  int listItemIsFile_ = 0;
  int listIndex_ = -1;
  HTREEITEM treeItem_ = nullptr;
  ATOM prevPane_ = 0;
  int prevKind_ = NoTarget;
  int prevListItemIsFile_ = 0;
  int prevListIndex_ = -1;
  HTREEITEM prevTreeItem_ = nullptr;
};
