#include "window/moved_items.h"

#include <commctrl.h>

#include "archive/edit_history.h"
#include "archive/tree.h"
#include "panes/views.h"
#include "services/viewer_watch.h"
#include "window/archive_window.h"
#include "window/undo.h"

namespace {

bool IsOrHolds(const Node* node, const Node* shown) { return shown == node || IsAncestor(node, shown); }

}  // namespace

void ClearCutMarks(WindowDocument* doc, HTREEITEM dimmedFolder) {
  doc->cutItems.clear();
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

void RemoveLiveNode(WindowDocument* doc, Node* node) {
  if (node == nullptr || node->parent() == nullptr) return;
  TakeOutOfViews(doc, node);
  FreeLiveSubtree(doc, node);
}

void TakeOutOfViews(WindowDocument* doc, Node* node) {
  HWND tree = doc->folderTree;
  // Deleting the tree item of the folder shown (or of one that holds it) would let the
  // tree choose what to show next, possibly a folder that still lists node.
  const Node* shown = TreeItemNode(tree, CurrentFolderItem(tree));
  HTREEITEM parentItem = FolderItemOf(doc, node->parent());
  if (shown && IsOrHolds(node, shown) && parentItem)
    SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(parentItem));
  if (node->IsDirectory()) DropFolderItems(doc, node);
  // Whatever the tree shows now, the list must not keep a row for node.
  const int index = FindListItem(doc->itemList, node);
  if (index >= 0) SendMessageA(doc->itemList, LVM_DELETEITEM, index, 0);
}

void FreeLiveSubtree(WindowDocument* doc, Node* node) {
  StopViewingSubtree(doc, node);
  doc->tree->Remove(node);
}

void StopViewingSubtree(WindowDocument* doc, const Node* node) {
  if (!doc->viewing.empty()) {
    HWND window = ArchiveWindowOfPane(doc->folderTree);
    std::vector<NodeId> viewed;
    for (const Node* n = node; n; n = NextInSubtree(n, node))
      if (doc->viewing.count(n->id())) viewed.push_back(n->id());
    for (NodeId id : viewed) StopWatchingNode(window, id);
  }
}

bool RemoveMovedItems(HWND window, WindowDocument* doc, const std::vector<NodeId>& items,
                      const std::vector<bool>& moved, uint64_t link) {
  uint32_t count = 0;
  for (size_t i = 0; i < items.size() && i < moved.size(); ++i) count += moved[i] ? 1 : 0;
  if (count == 0) return false;
  // Moved within this window (a Cut and a Paste here): the departures join the arrivals'
  // step, so that one undo takes back the whole move.
  EditHistory& history = doc->tree->history();
  const bool joined = history.Reopen(link);
  bool removed = false;
  {
    EditScope step(doc, "Move", count);
    if (!joined) step.Link(link, false);
    for (size_t i = 0; i < items.size(); ++i) {
      if (i >= moved.size() || !moved[i]) continue;
      // A rename, a delete or an earlier move may have taken the node out: only one still in
      // the tree goes.
      Node* live = doc->tree->Find(items[i]);
      if (!live || !live->parent()) continue;
      RemoveLiveNode(doc, live);
      removed = true;
    }
  }
  if (joined) {
    history.End();
    UpdateUndoCommands(DocumentOf(ActiveMdiChild()));
  }
  if (removed) MarkModified(window);
  return removed;
}
