// The folder tree and the item list of an archive window: building them at open,
// showing a folder, list items, sorting, view modes, Up and Refresh.
#pragma once

#include <string>

#include <windows.h>
#include <commctrl.h>

#include "archive/ui.h"
#include "panes/window_document.h"

// The folder tree pane as the archive core inserts into it.
class FolderTreeView : public FolderTree {
 public:
  explicit FolderTreeView(HWND tree) : tree_(tree) {}
  TreeItem InsertRootItem(ArchiveEntry* root) override;
  TreeItem InsertFolderItem(TreeItem parent, ArchiveEntry* entry) override;
  TreeItem RootMarker() override { return TVI_ROOT; }

 private:
  HWND tree_;
};

// Builds the tree from the document's source with its folder items, the list's columns
// and header, and selects the root; false (and no tree) on failure.
// Builds the tree of the document's source and sets up both panes; false on failure, with
// the reason in *why when one is known.
bool BuildArchiveView(HWND window, WindowDocument* doc, std::string* why);

// Fills the item list with the children of the folder item just selected.
void ShowFolder(HWND window, WindowDocument* doc, HTREEITEM item);

int InsertListItem(HWND list, ArchiveEntry* entry, int index, UINT state, UINT stateMask);
int FindListItem(HWND list, const ArchiveEntry* entry);
void RefreshListColumn(HWND list, int column);
// Repaints a pane and its children (the list's header) whole, frame included: after its
// drawing was stopped while it changed, nothing of what it showed before may stay.
void RepaintWhole(HWND pane);
int CALLBACK CompareListItems(LPARAM first, LPARAM second, LPARAM sortKey);
void RepaintFolderItem(HWND tree, HTREEITEM item);
void SortItemList(WindowDocument* doc);

// Answers the list's request for an item's icon or type text (after a rename).
void AnswerListDisplayInfo(NMLVDISPINFOA* info);

// The size text of a file entry: its byte count grouped by the user's locale.
void FormatEntrySize(const ArchiveEntry* entry, char* text, int size);

// View-mode commands 40020..40023 and sort commands 40024..40026; Up and Refresh.
void SetViewMode(HWND window, WindowDocument* doc, int command);
void SetSortKey(HWND window, WindowDocument* doc, int command);
void GoUp(WindowDocument* doc);
void RefreshList(WindowDocument* doc);

// The view-mode value of a command (40020 → 0, 40023 → 1, 40021 → 2, 40022 → 3) and back.
uint32_t ViewModeOfCommand(int command);
int CommandOfViewMode(uint32_t viewMode);
// Checks a command in the menu's radio group of sort keys or of view modes.
void CheckSortMenuItem(int command);
void CheckViewMenuItem(int command);
// The sort command checked for a sort key, or 0 when none.
int CommandOfSortKey(uint32_t sortKey);

// The folder tree's caret item and its entry (the current folder).
HTREEITEM CurrentFolderItem(HWND tree);
ArchiveEntry* TreeItemEntry(HWND tree, HTREEITEM item);
ArchiveEntry* ListItemEntry(HWND list, int index);
