// Delete and New Directory of an archive window, and the clipboard check every command
// that frees entries of the document goes through first.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

#include "archive/tree.h"

struct WindowDocument;

// Delete (40008): removes the focused pane's selection from the archive without asking.
void DeleteSelection(HWND window, WindowDocument* doc);
// New Directory (40032): adds "New Directory" (or "New Directory (n)") to the current
// folder, appends it to the item list and opens its name for editing.
void NewDirectory(HWND window, WindowDocument* doc);

// Before nodes of the document (and everything under them) are freed or moved: true when
// the clipboard holds none of them, or has let go of them; false when it keeps them, and
// the caller must then leave the nodes alone.
bool ClipboardLetsGoOf(HWND window, WindowDocument* doc, const std::vector<const Node*>& nodes);

// The name New Directory gives a new directory under parent: "New Directory", or
// "New Directory (n)" with the smallest n from 2 that no child of parent has.
constexpr size_t kNewDirectoryNameSize = 32;
void ChooseNewDirectoryName(const Node* parent, char (&name)[kNewDirectoryNameSize]);
