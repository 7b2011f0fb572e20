// Renaming folders in the folder tree and items in the item list in place: the end of a
// label edit decides whether the new name is taken.
#pragma once

#include <windows.h>
#include <commctrl.h>

struct WindowDocument;

// TVN_ENDLABELEDIT of the folder tree: TRUE when the folder takes the (lower-cased) text.
LRESULT OnFolderLabelEdited(HWND window, WindowDocument* doc, NMTVDISPINFOA* info);
// LVN_ENDLABELEDIT of the item list: TRUE when the item takes the (lower-cased) text.
LRESULT OnItemLabelEdited(HWND window, WindowDocument* doc, NMLVDISPINFOA* info);

// Whether a name holds one of the characters names may not contain (string 59396), or is
// made of dots alone.
bool HasInvalidNameCharacter(const char* name);
