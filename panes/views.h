// The folder tree and the item list of an archive window: building them at open,
// showing a folder, list items, sorting, view modes, Up and Refresh.
#pragma once

#include <string>

#include <windows.h>
#include <commctrl.h>

#include "archive/problem.h"
#include "panes/list_columns.h"
#include "panes/window_document.h"

// Builds the tree of the document's source and sets up both panes: the folder items, the
// list's columns and header, the root selected. False on failure, with the reason in *why.
bool BuildArchiveView(HWND window, WindowDocument* doc, Failure* why);

// The folder tree's item of a folder node, or null.
HTREEITEM FolderItemOf(const WindowDocument* doc, const Node* folder);
// Gives top (a folder) and every folder below it an item in the folder tree where it has
// none yet, under its parent's item, in the tree's sort order. After a copy, an import or a
// build of the tree.
bool AddFolderItems(WindowDocument* doc, Node* top);
// Takes the items of top and of every folder below it out of the folder tree, before the
// nodes go.
void DropFolderItems(WindowDocument* doc, const Node* top);
// Forgets the items of top and of every folder below it, without deleting any: top's item
// (returned, null for a file) is for the caller to delete once the nodes are gone, so that
// the folder the tree then shows never lists one of them.
HTREEITEM ForgetFolderItems(WindowDocument* doc, const Node* top);

// Fills the item list with the children of the folder item just selected.
void ShowFolder(HWND window, WindowDocument* doc, HTREEITEM item);
// Gives each file of the item list the type text "<type> (shadowed)" while another file of
// its name is the one shown and used (see Shadows), its plain type otherwise, and counts
// the marked ones in doc->shadowedInList. For after a change that may reveal or hide one.
void MarkShadowedItems(WindowDocument* doc);

int InsertListItem(HWND list, Node* node, int index, UINT state, UINT stateMask);
// After items came into the list or changed: the CRC-32s and thumbnails they lack are
// queued and the columns widened to fit. InsertListItem has it done once its caller's
// messages have run, for all the items it inserted.
void ListChanged(WindowDocument* doc);
// Has ListChanged run for the list once the messages waiting have run; after a scroll, the
// thumbnails queued anew, those then in the client area first.
void ScheduleListChanged(WindowDocument* doc);
void ScheduleListScrolled(WindowDocument* doc);
// The list's WMU_LIST_WORK_DONE: the worker's results shown, or the scheduled work done.
void OnListWorkDone(HWND list, WPARAM what);
int FindListItem(HWND list, const Node* node);
// Shows a column's texts anew for every item. Size, Packed, Ratio, Method, CRC-32 and
// Modified come from a file's data, which changes whole: any of them refreshes them all.
void RefreshListColumn(HWND list, int column);
// Repaints a pane and its children (the list's header) whole, frame included: after its
// drawing was stopped while it changed, nothing of what it showed before may stay.
void RepaintWhole(HWND pane);
int CALLBACK CompareListItems(LPARAM first, LPARAM second, LPARAM sortKey);
void RepaintFolderItem(HWND tree, HTREEITEM item);
void SortItemList(WindowDocument* doc);

// Answers the list's request for an item's icon or type text (after a rename).
void AnswerListDisplayInfo(NMLVDISPINFOA* info);

// The size text of a file: its byte count grouped by the user's locale.
void FormatEntrySize(const Node* node, char* text, int size);

// View-mode commands 40020..40023 and 40045 (Thumbnails), sort commands 40024..40026 and
// 40042, 40047..40050 (by Modified, Packed, Ratio, Method, CRC-32, which only the columns'
// headers give); Up and Refresh.
void SetViewMode(HWND window, WindowDocument* doc, int command);
void SetSortKey(HWND window, WindowDocument* doc, int command);
void GoUp(WindowDocument* doc);
void RefreshList(WindowDocument* doc);

// The view-mode value of a command (40020 → 0, 40023 → 1, 40021 → 2, 40022 → 3, 40045 → 4)
// and back, and the list's style for a view mode (Thumbnails shows large icons).
uint32_t ViewModeOfCommand(int command);
int CommandOfViewMode(uint32_t viewMode);
DWORD ListStyleOfViewMode(uint32_t viewMode);
// Checks a command in the menu's radio group of sort keys or of view modes.
void CheckSortMenuItem(int command);
void CheckViewMenuItem(int command);
// The sort command checked for a sort key, or 0 when none.
int CommandOfSortKey(uint32_t sortKey);

// The folder tree's caret item and its node (the current folder).
HTREEITEM CurrentFolderItem(HWND tree);
Node* TreeItemNode(HWND tree, HTREEITEM item);
Node* ListItemNode(HWND list, int index);
