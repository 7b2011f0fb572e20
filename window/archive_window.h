// The archive window: one MDI child per open archive, owning its document.
#pragma once

#include <windows.h>

#include "archive/document.h"

// The archive window's document: the archive side (tree, source, kind, modified flag)
// plus the window's panes and view state. Allocated zero-filled at creation.
struct WindowDocument : ArchiveDocument {
  HWND splitter;    // child id 1
  HWND folderTree;  // "wcPakTV", child id 2 of the splitter
  HWND itemList;    // "wcPakLV", child id 3 of the splitter
  uint32_t viewMode;  // 0 Large Icons, 1 Details, 2 Small Icons, 3 List
  uint32_t sortKey;   // low byte 1 Name, 2 Type, 4 Size; 0x100 descending
  void* dropTarget;
  void* dragSource;
  void* clipboardSource;
  // Many list items change at once (a drop of many files): the command state is brought
  // up to date once afterwards instead of for every item.
  bool listInBulk;
};

constexpr int kSplitterId = 1;
constexpr int kFolderTreeId = 2;
constexpr int kItemListId = 3;

LRESULT CALLBACK ArchiveWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The document of an archive window, or null (also for windows of other classes).
WindowDocument* DocumentOf(HWND window);
// The child of the frame's MDI client after child (the first for null), or null.
HWND NextMdiChild(HWND child);

// The first archive window other than skip whose document test accepts, or null.
template <typename Test>
HWND FindArchiveWindow(HWND skip, Test test) {
  for (HWND child = NextMdiChild(nullptr); child; child = NextMdiChild(child)) {
    WindowDocument* doc = child == skip ? nullptr : DocumentOf(child);
    if (doc && test(doc)) return child;
  }
  return nullptr;
}

// The archive window that holds a pane (the pane's grandparent), or null.
HWND ArchiveWindowOfPane(HWND pane);

// Sets the modified flag and appends " *" to the title once.
void MarkModified(HWND window);
// The save prompt of a modified document; false when the user cancels.
bool QuerySaveChanges(HWND window);

// The number in the title of the next new archive; starts at 1 and never goes back.
extern unsigned long UntitledCounter;
