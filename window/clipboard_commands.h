// Cut, Copy and Paste of an archive window, the finishing of a Cut when the clipboard
// lets go of the data object, and emptying the clipboard of this window's items.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "archive/tree.h"

struct WindowDocument;

void CopyOrCutSelection(HWND window, WindowDocument* doc, bool cut);
void PasteClipboard(HWND window, WindowDocument* doc);
// WMU_CLIPBOARD_RELEASED: items and count are the node ids of the released object.
LRESULT OnClipboardReleased(HWND window, WindowDocument* doc, const NodeId* items, uint32_t count);

// Empties the clipboard, trying for a few seconds while another program holds it open.
// true when this window is no longer the clipboard's source (the command state is then
// brought up to date); false when the clipboard kept the object.
bool FreeClipboard(HWND window, WindowDocument* doc);
// When the window goes: empties the clipboard if it holds this window's object; an object
// the clipboard or another program still holds is cut loose from the document, so it can
// never reach the freed tree.
void LetClipboardGo(HWND window, WindowDocument* doc);

// The nodes of every selected list item in list order; none when nothing is selected.
std::vector<NodeId> SelectedListItems(WindowDocument* doc);
