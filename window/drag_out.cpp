#include "window/drag_out.h"

#include <ole2.h>

#include <cstdlib>

#include "archive/tree.h"
#include "transfer/data_object.h"
#include "transfer/drag_image.h"
#include "transfer/drop_source.h"
#include "window/archive_window.h"
#include "window/clipboard_commands.h"
#include "window/command_state.h"
#include "window/views.h"

namespace {

// Before a drag: the clipboard lets go of this window's items if it holds any of the
// dragged ones, since a move will free them.
void ReleaseClipboardOverlap(HWND window, WindowDocument* doc, ArchiveNode* const* copies, uint32_t count) {
  if (!doc->clipboardSource) return;
  for (uint32_t i = 0; i < count; ++i) {
    if (!IsDisjointFrom(static_cast<ArchiveDataObject*>(doc->clipboardSource), copies[i])) {
      FreeClipboard(window, doc);
      return;
    }
  }
}

// Runs the drag loop over copies; true when it ended in a move.
bool RunDrag(WindowDocument* doc, ArchiveNode** copies, uint32_t count) {
  ArchiveDataObject* object = CreateDataObject(doc, doc->folderTree, copies, count, 0);
  if (!object || !g_dropSource) {
    if (object) AsDataObject(object)->Release();
    return false;
  }
  doc->dragSource = object;
  DWORD effect = DROPEFFECT_NONE;
  g_dropSource->AddRef();
  const HRESULT result =
      DoDragDrop(AsDataObject(object), g_dropSource, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
  g_dropSource->Release();
  // Whoever still holds the object after the loop must not reach the items freed below.
  DetachDataObject(object);
  AsDataObject(object)->Release();
  doc->dragSource = nullptr;
  return result == DRAGDROP_S_DROP && (effect & DROPEFFECT_MOVE);
}

void RemoveFolderItem(WindowDocument* doc, ArchiveEntry* entry) {
  if (entry->treeItem) {
    SendMessageA(doc->folderTree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(entry->treeItem));
  }
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
  ReleaseClipboardOverlap(window, doc, copies, 1);
  POINT hotspot = {};
  HIMAGELIST image = MakeDragImage(doc->folderTree, 0, item, &hotspot);
  BeginDragImage(image, 0, hotspot.x, hotspot.y);
  if (RunDrag(doc, copies, 1)) {
    ArchiveNode* live = entry->node;
    if (static_cast<HTREEITEM>(entry->parentTreeItem) == CurrentFolderItem(doc->folderTree)) {
      const int index = FindListItem(doc->itemList, entry);
      if (index >= 0) SendMessageA(doc->itemList, LVM_DELETEITEM, index, 0);
    }
    RemoveFolderItem(doc, entry);
    TreeUnlink(live);
    TreeFree(live, FreeLiveEntry);
    MarkModified(window);
  }
  EndDragImage();
  if (image) ImageList_Destroy(image);
  FreeNodeCopies(copies, 1);
  return 1;
}

LRESULT OnBeginListDrag(HWND window, WindowDocument* doc) {
  uint32_t count = 0;
  ArchiveNode** copies = CopySelectedListItems(doc, &count);
  if (!copies) return 1;
  ReleaseClipboardOverlap(window, doc, copies, count);
  POINT hotspot = {};
  HIMAGELIST image = MakeDragImage(doc->itemList, 1, nullptr, &hotspot);
  BeginDragImage(image, 0, hotspot.x, hotspot.y);
  if (RunDrag(doc, copies, count)) {
    for (uint32_t i = 0; i < count; ++i) {
      ArchiveEntry* entry = copies[i]->entry;
      ArchiveNode* live = entry ? entry->node : nullptr;
      if (!live || !live->parent) continue;
      const int index = FindListItem(doc->itemList, entry);
      if (index >= 0) SendMessageA(doc->itemList, LVM_DELETEITEM, index, 0);
      if (IsKind(entry, EntryKind::Directory)) RemoveFolderItem(doc, entry);
      TreeUnlink(live);
      TreeFree(live, FreeLiveEntry);
    }
    MarkModified(window);
  }
  EndDragImage();
  if (image) ImageList_Destroy(image);
  FreeNodeCopies(copies, count);
  return 1;
}
