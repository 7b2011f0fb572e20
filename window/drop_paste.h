// Carrying out a drop or a paste into an archive window (WMU_DROP): shell file lists are
// imported, "Vellumix Data" items are copied or moved in.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

class ArchiveDataObject;
struct TransferState;
struct DropRequest;
struct WindowDocument;

// Nonzero when the request was carried out and not cancelled (kDroppedInPart when files
// of a shell drop were left out); the origin of a move removes its items only then, and
// only those that arrived.
LRESULT OnDropRequest(HWND window, WindowDocument* doc, DropRequest* request);

// Imports disk files and folders (full paths) into the folder of the tree's item into, as
// one step named "Import": a progress window for many, the replace questions, the failures
// named at the end; what state already noted is reported with them. Returns as
// OnDropRequest does.
LRESULT ImportDiskPaths(HWND window, WindowDocument* doc, HTREEITEM into, const std::vector<std::string>& paths,
                        TransferState* state);

// The data object of this process that made a "Vellumix Data" payload, or null.
ArchiveDataObject* PayloadMaker(HGLOBAL medium);

// Creates, locks and registers the window's drop target; without one the window simply
// takes no drops.
void AttachDropTarget(HWND window, WindowDocument* doc);
// Revokes the registration and lets the target go; nothing when there is none.
void DetachDropTarget(HWND window, WindowDocument* doc);
