#include "window/drag_out.h"

#include <ole2.h>

#include <vector>

#include "archive/tree.h"
#include "transfer/data_object.h"
#include "transfer/drag_image.h"
#include "transfer/drop_source.h"
#include "window/archive_window.h"
#include "window/clipboard_commands.h"
#include "window/command_state.h"
#include "window/edit_commands.h"
#include "window/moved_items.h"
#include "window/undo.h"
#include "panes/views.h"

namespace {

// Runs the drag loop over items; moved receives, for each item, whether it left for good (a
// drop that moved it, and it arrived whole). Returns the link of the object dragged.
uint64_t RunDrag(WindowDocument* doc, const std::vector<NodeId>& items, bool mayMove, std::vector<bool>* moved) {
  moved->assign(items.size(), false);
  ArchiveDataObject* object = CreateDataObject(doc, doc->folderTree, items, 0);
  if (!object || !g_dropSource) {
    if (object) AsDataObject(object)->Release();
    return 0;
  }
  const uint64_t link = DataObjectLink(object);
  doc->dragSource = object;
  DWORD effect = DROPEFFECT_NONE;
  g_dropSource->AddRef();
  const DWORD allowed = DROPEFFECT_COPY | (mayMove ? DROPEFFECT_MOVE : 0);
  const HRESULT result = DoDragDrop(AsDataObject(object), g_dropSource, allowed, &effect);
  g_dropSource->Release();
  if (result == DRAGDROP_S_DROP && (effect & DROPEFFECT_MOVE)) {
    for (uint32_t i = 0; i < items.size(); ++i) (*moved)[i] = DataObjectItemMoved(object, i);
  }
  // Whoever still holds the object after the loop must not reach the nodes removed later.
  DetachDataObject(object);
  AsDataObject(object)->Release();
  doc->dragSource = nullptr;
  return link;
}

// The nodes of the items, as the clipboard check takes them.
std::vector<const Node*> NodesOf(WindowDocument* doc, const std::vector<NodeId>& items) {
  std::vector<const Node*> nodes;
  for (NodeId id : items)
    if (const Node* node = doc->tree->Find(id)) nodes.push_back(node);
  return nodes;
}

// Drags items out of the pane; a move takes away what arrived whole.
void DragItems(HWND window, WindowDocument* doc, const std::vector<NodeId>& items, HWND pane, HTREEITEM treeItem) {
  // The clipboard lets go of dragged items it holds, since a move takes them away; when it
  // keeps them, the drag may only copy.
  // Nothing leaves a game folder: it is only read.
  const bool mayMove = !IsGameFolderView(doc) && ClipboardLetsGoOf(window, doc, NodesOf(doc, items));
  POINT hotspot = {};
  HIMAGELIST image = MakeDragImage(pane, pane == doc->itemList ? 1 : 0, treeItem, &hotspot);
  BeginDragImage(image, 0, hotspot.x, hotspot.y);
  std::vector<bool> moved;
  // A drop into this same window and the removal afterwards are one step.
  EditScope step(doc, "Move", static_cast<uint32_t>(items.size()));
  const uint64_t link = RunDrag(doc, items, mayMove, &moved);
  RemoveMovedItems(window, doc, items, moved, link);
  EndDragImage();
  if (image) ImageList_Destroy(image);
}

}  // namespace

LRESULT OnBeginTreeDrag(HWND window, WindowDocument* doc, const NMTREEVIEWA* info) {
  HTREEITEM item = info->itemNew.hItem;
  const Node* folder = TreeItemNode(doc->folderTree, item);
  if (!folder || folder->IsRoot()) return 1;
  DragItems(window, doc, {folder->id()}, doc->folderTree, item);
  return 1;
}

LRESULT OnBeginListDrag(HWND window, WindowDocument* doc) {
  const std::vector<NodeId> items = SelectedListItems(doc);
  if (items.empty()) return 1;
  DragItems(window, doc, items, doc->itemList, nullptr);
  return 1;
}
