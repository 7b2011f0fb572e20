// The record of an archive window: its document, its panes and its view state. Everything
// that works on an open archive window's data includes this; the window's procedure and
// commands sit above it in window/.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "archive/document.h"
#include "services/com_ptr.h"

class ArchiveDataObject;
struct IDropTarget;
struct ListState;

// A temporary copy of an entry that an outside program shows: what the copy was like when
// the program got it, so that an edit made there can come back.
struct ViewedCopy {
  NodeId node;
  std::string path;
  uint64_t size;
  FILETIME written;
  bool ended;  // its program ended with the copy changed: the user is still to be asked
};

// The archive window's document: the archive side (tree, source, modified flag) plus the
// window's panes and view state. Made with new at the window's creation; deleted when the
// window is destroyed.
struct WindowDocument : ArchiveDocument {
  HWND splitter = nullptr;    // child id 1
  HWND folderTree = nullptr;  // "wcPakTV", child id 2 of the splitter
  HWND itemList = nullptr;    // "wcPakLV", child id 1 of the preview splitter
  // The top/bottom splitter (child id 3 of the splitter) that holds the item list above the
  // preview pane ("wcPakPreview", its child id 2), and whether the pane shows.
  HWND previewSplitter = nullptr;
  HWND previewPane = nullptr;
  bool previewShown = false;
  HWND focusedPane = nullptr;  // the pane that had the focus last; it takes it again with the window
  // The filter box across the top of the preview splitter (its header, child id
  // kFilterBoxId), the text it narrows the shown folder's items with (empty: none), and the
  // folder that text was typed for: another folder shown clears it.
  HWND filterBox = nullptr;
  std::string filterText;
  // A game folder's list shows only the files that shadow another, and the folders holding one.
  bool onlyShadowing = false;
  NodeId filterFolder = kNoNode;
  uint32_t viewMode = 0;  // 0 Large Icons, 1 Details, 2 Small Icons, 3 List, 4 Thumbnails
  uint32_t sortKey = 0;   // low byte 1 Name, 2 Type, 4 Size, 8 Modified; 0x100 descending
  uint32_t shadowedInList = 0;  // the list's items marked "(shadowed)" (MarkShadowedItems)
  std::shared_ptr<ListState> listState;  // its columns, CRC-32s and thumbnails (panes/list_state.h)
  UINT dpi = 96;  // the DPI the panes' fonts, icons and column widths are for
  ComPtr<IDropTarget> dropTarget;  // registered for the window while it exists
  // The data objects of a drag under way and of the Cut or Copy on the clipboard. Not owned:
  // OLE and the clipboard hold them; each is cleared when its object lets its items go.
  ArchiveDataObject* dragSource = nullptr;
  ArchiveDataObject* clipboardSource = nullptr;
  // The list items a Cut on the clipboard holds: drawn faded (the list's cut state), also
  // when their folder is shown again, until they are pasted or the clipboard lets them go.
  std::unordered_set<NodeId> cutItems;
  // Many list items change at once (a drop of many files): the command state is brought
  // up to date once afterwards instead of for every item.
  bool listInBulk = false;
  // A drop request comes from Paste: its step is called "Paste".
  bool pasting = false;
  // A note the status bar shows instead of the folder's counts until statusNoteEnds (a
  // tick count).
  std::string statusNote;
  DWORD statusNoteEnds = 0;
  // The folder tree's item of every folder node (the root and the directories).
  std::unordered_map<NodeId, HTREEITEM> folderItems;
  // The file nodes an outside program shows a temporary copy of.
  std::unordered_set<NodeId> viewing;
  // The copies the window's viewers show, until each viewer ends and its edit was offered.
  std::vector<ViewedCopy> viewedCopies;
};

constexpr int kSplitterId = 1;
constexpr int kFolderTreeId = 2;
constexpr int kItemListId = 3;
constexpr int kPreviewSplitterId = 3;  // the item list's place in the splitter
constexpr int kPreviewPaneId = 2;
constexpr int kFilterBoxId = 4;  // in the preview splitter

// Whether window is an archive window (of the archive window class).
bool IsArchiveWindow(HWND window);
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

// The archive window that holds a pane (the first archive window above it), or null.
HWND ArchiveWindowOfPane(HWND pane);

// The frame's active MDI child (an archive window), or null.
HWND ActiveMdiChild();

// Sets the modified flag and appends " *" to the title once.
void MarkModified(HWND window);
// Sets or clears the modified flag and the title's " *" (after an undo or a redo).
void SetModifiedMark(HWND window, bool modified);
// The window's title without the " *" MarkModified appended.
std::string TitleWithoutMark(HWND window);
