#include "window/drag_out.h"

#include <ole2.h>

#include <cstdlib>
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
#include "panes/views.h"

namespace {

// Runs the drag loop over copies; moved receives, for each item, whether it left for good
// (a drop that moved it, and it arrived whole).
void RunDrag(WindowDocument* doc, ArchiveNode** copies, uint32_t count, bool mayMove,
             std::vector<bool>* moved) {
  moved->assign(count, false);
  ArchiveDataObject* object = CreateDataObject(doc, doc->folderTree, copies, count, 0);
  if (!object || !g_dropSource) {
    if (object) AsDataObject(object)->Release();
    return;
  }
  doc->dragSource = object;
  DWORD effect = DROPEFFECT_NONE;
  g_dropSource->AddRef();
  const DWORD allowed = DROPEFFECT_COPY | (mayMove ? DROPEFFECT_MOVE : 0);
  const HRESULT result = DoDragDrop(AsDataObject(object), g_dropSource, allowed, &effect);
  g_dropSource->Release();
  if (result == DRAGDROP_S_DROP && (effect & DROPEFFECT_MOVE)) {
    for (uint32_t i = 0; i < count; ++i) (*moved)[i] = DataObjectItemMoved(object, i);
  }
  // Whoever still holds the object after the loop must not reach the items freed later.
  DetachDataObject(object);
  AsDataObject(object)->Release();
  doc->dragSource = nullptr;
}

}  // namespace

LRESULT OnBeginTreeDrag(HWND window, WindowDocument* doc, const NMTREEVIEWA* info) {
  HTREEITEM item = info->itemNew.hItem;
  ArchiveEntry* entry = TreeItemEntry(doc->folderTree, item);
  if (!entry || !entry->node || entry->parentTreeItem == TVI_ROOT) return 1;
  ArchiveNode* copy = TreeCopy(entry->node, nullptr, nullptr);
  if (!copy) return 1;
  auto** copies = static_cast<ArchiveNode**>(std::malloc(sizeof(ArchiveNode*)));
  if (!copies) {
    TreeFree(copy, nullptr);
    return 1;
  }
  copies[0] = copy;
  // The clipboard lets go of dragged items it holds, since a move frees them; when it keeps
  // them, the drag may only copy.
  const bool mayMove = ClipboardLetsGoOf(window, doc, copies, 1);
  POINT hotspot = {};
  HIMAGELIST image = MakeDragImage(doc->folderTree, 0, item, &hotspot);
  BeginDragImage(image, 0, hotspot.x, hotspot.y);
  std::vector<bool> moved;
  RunDrag(doc, copies, 1, mayMove, &moved);
  RemoveMovedItems(window, doc, copies, 1, moved);
  EndDragImage();
  if (image) ImageList_Destroy(image);
  FreeNodeCopies(copies, 1);
  return 1;
}

LRESULT OnBeginListDrag(HWND window, WindowDocument* doc) {
  uint32_t count = 0;
  ArchiveNode** copies = CopySelectedListItems(doc, &count);
  if (!copies) return 1;
  const bool mayMove = ClipboardLetsGoOf(window, doc, copies, count);
  POINT hotspot = {};
  HIMAGELIST image = MakeDragImage(doc->itemList, 1, nullptr, &hotspot);
  BeginDragImage(image, 0, hotspot.x, hotspot.y);
  std::vector<bool> moved;
  RunDrag(doc, copies, count, mayMove, &moved);
  RemoveMovedItems(window, doc, copies, count, moved);
  EndDragImage();
  if (image) ImageList_Destroy(image);
  FreeNodeCopies(copies, count);
  return 1;
}
