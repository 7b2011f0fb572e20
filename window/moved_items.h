// Taking items out of an archive window once they have gone elsewhere (a finished move) or
// are deleted: panes first, memory last, so that neither pane ever shows a freed node.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <vector>

struct ArchiveNode;
struct WindowDocument;

// Removes node, a live node of doc's tree, from both panes and frees it with everything
// below it. When the folder shown is node or lies inside it, node's parent is shown first.
void RemoveLiveNode(WindowDocument* doc, ArchiveNode* node);

// Takes node out of the tree and frees it with everything under it; entries shown in an
// outside viewer stop being watched as they go. Neither pane may still show any of it.
void FreeLiveSubtree(ArchiveNode* node);

// Removes the live nodes of the items (node copies sharing the live entries) whose flag in
// moved is set. True when anything was removed; the window is then marked modified.
bool RemoveMovedItems(HWND window, WindowDocument* doc, ArchiveNode* const* items, uint32_t count,
                      const std::vector<bool>& moved);

// Takes the Cut mark off every list row and off dimmedFolder (a folder cut from the tree
// that is still there; null for none).
void ClearCutMarks(WindowDocument* doc, HTREEITEM dimmedFolder);
