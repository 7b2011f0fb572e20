// Edit > Find: the items of an archive whose names match a pattern, and showing one of them.
#pragma once

#include <windows.h>

class Node;
struct WindowDocument;

// Runs the modal Find dialog over the window's document. A result the user chooses has its
// folder shown in the tree and is selected and focused in the list once the dialog is gone.
void FindInArchive(HWND window, WindowDocument* doc);

// Shows the folder of node in the tree and selects node alone in the list, focused and
// scrolled into view; false when node has no folder with a tree item. The focus stays
// where it is.
bool ShowNodeInPanes(WindowDocument* doc, const Node* node);
