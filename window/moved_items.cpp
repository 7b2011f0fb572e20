#include "window/moved_items.h"

#include <commctrl.h>

#include "archive/tree.h"
#include "window/archive_window.h"
#include "panes/views.h"

namespace {

bool IsOrHolds(const ArchiveNode* node, const ArchiveNode* shown) {
  return shown == node || TreeIsAncestor(node, shown);
}

}  // namespace

void ClearCutMarks(WindowDocument* doc, HTREEITEM dimmedFolder) {
  if (dimmedFolder) {
    TVITEMA item = {};
    item.mask = TVIF_STATE | TVIF_HANDLE;
    item.hItem = dimmedFolder;
    item.stateMask = TVIS_CUT;
    SendMessageA(doc->folderTree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  }
  const int total = static_cast<int>(SendMessageA(doc->itemList, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < total; ++i) {
    if (!(SendMessageA(doc->itemList, LVM_GETITEMSTATE, i, LVIS_CUT) & LVIS_CUT)) continue;
    LVITEMA state = {};
    state.stateMask = LVIS_CUT;
    SendMessageA(doc->itemList, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&state));
  }
}

void RemoveLiveNode(WindowDocument* doc, ArchiveNode* node) {
  if (node == nullptr || node->entry == nullptr || node->parent == nullptr) return;
  HWND tree = doc->folderTree;
  ArchiveEntry* entry = node->entry;
  const ArchiveEntry* parent = node->parent->entry;
  // Deleting the tree item of the folder shown (or of one that holds it) would let the
  // tree choose what to show next, possibly a folder that still lists node.
  const ArchiveEntry* shown = TreeItemEntry(tree, CurrentFolderItem(tree));
  if (shown && IsOrHolds(node, shown->node) && parent && parent->treeItem)
    SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(parent->treeItem));
  if (IsKind(entry, EntryKind::Directory) && entry->treeItem)
    SendMessageA(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(entry->treeItem));
  // Whatever the tree shows now, the list must not keep a row for node.
  const int index = FindListItem(doc->itemList, entry);
  if (index >= 0) SendMessageA(doc->itemList, LVM_DELETEITEM, index, 0);
  FreeLiveSubtree(node);
}

void FreeLiveSubtree(ArchiveNode* node) {
  TreeUnlink(node);
  TreeFree(node, FreeLiveEntry);
}

bool RemoveMovedItems(HWND window, WindowDocument* doc, ArchiveNode* const* items, uint32_t count,
                      const std::vector<bool>& moved) {
  bool removed = false;
  for (uint32_t i = 0; i < count; ++i) {
    if (i >= moved.size() || !moved[i]) continue;
    // The copy shares its entry with the live node, which a rename or an earlier move may
    // have taken out: only a node still in the tree goes.
    ArchiveEntry* entry = items[i]->entry;
    ArchiveNode* live = entry ? entry->node : nullptr;
    if (!live || !live->parent) continue;
    RemoveLiveNode(doc, live);
    removed = true;
  }
  if (removed) MarkModified(window);
  return removed;
}
