// Renaming folders in the folder tree and items in the item list in place: the end of a
// label edit decides whether the new name is taken.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

struct WindowDocument;

// TVN_ENDLABELEDIT of the folder tree: TRUE when the folder takes the (lower-cased) text.
LRESULT OnFolderLabelEdited(HWND window, WindowDocument* doc, NMTVDISPINFOA* info);
// LVN_ENDLABELEDIT of the item list: TRUE when the item takes the (lower-cased) text.
LRESULT OnItemLabelEdited(HWND window, WindowDocument* doc, NMLVDISPINFOA* info);

// The folder tree's text of a folder item; a re-sort of parent's children once the tree
// has stored an edited text.
void SetFolderItemText(HWND tree, HTREEITEM item, const std::string& text);
void SortFolderLevelLater(HWND tree, HTREEITEM parent);

// Whether a name holds one of the characters names may not contain (string 59396). Names
// the disk would not take otherwise (dots alone, a trailing dot or space, a device's) are
// refused with their own reason (TypedNameProblem).
bool HasInvalidNameCharacter(const char* name);

// The item F2 and Edit > Rename would rename: in the list, the focused item when it is
// selected, else the first selected one (its index in *listIndex); in the tree, the caret
// folder unless it is the root (*treeItem). False when the focused pane offers none.
bool FindRenameTarget(WindowDocument* doc, int* listIndex, HTREEITEM* treeItem);
// F2 and Edit > Rename: opens the label edit of that item.
void StartRename(WindowDocument* doc);
// LVN_BEGINLABELEDIT: the edit of a file's name selects the part before its extension; an
// edit reopened after a refused name shows the text typed, all of it selected.
void OnItemLabelEditBegun(WindowDocument* doc, const NMLVDISPINFOA* info);
// TVN_BEGINLABELEDIT of a folder: an edit reopened after a refused name shows the text typed.
void OnFolderLabelEditBegun(WindowDocument* doc);
