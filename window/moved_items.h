// Taking items out of an archive window once they have gone elsewhere (a finished move) or
// are deleted: panes first, memory last, so that neither pane ever shows a freed node.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <vector>

#include "archive/tree.h"

struct WindowDocument;

// Removes node, a node of doc's tree, from both panes and frees it with everything below
// it. When the folder shown is node or lies inside it, node's parent is shown first.
void RemoveLiveNode(WindowDocument* doc, Node* node);

// Takes node out of both panes (its parent shown first where it holds the folder shown),
// before it leaves the tree.
void TakeOutOfViews(WindowDocument* doc, Node* node);
// Files of node's subtree shown in an outside viewer stop being watched.
void StopViewingSubtree(WindowDocument* doc, const Node* node);

// Takes node out of the tree and frees it with everything under it; files shown in an
// outside viewer stop being watched as they go. Neither pane may still show any of it.
void FreeLiveSubtree(WindowDocument* doc, Node* node);

// Removes the nodes of the items (ids of doc's tree) whose flag in moved is set and that are
// still there, as one "Move" step tied to the arrivals' step by link. True when anything
// was removed; the window is then marked modified.
bool RemoveMovedItems(HWND window, WindowDocument* doc, const std::vector<NodeId>& items,
                      const std::vector<bool>& moved, uint64_t link);

// Takes the Cut mark off every list row and off dimmedFolder (a folder cut from the tree
// that is still there; null for none).
void ClearCutMarks(WindowDocument* doc, HTREEITEM dimmedFolder);
