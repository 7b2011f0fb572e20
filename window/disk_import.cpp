#include "window/disk_import.h"

#include <commctrl.h>

#include "panes/views.h"
#include "panes/window_document.h"

namespace {

// Where imports go: the drop-highlighted folder during a drop, otherwise the current one.
struct ImportTarget {
  HTREEITEM item;
  ArchiveNode* node;
  bool shown;  // the item list shows this folder
};

bool FindTarget(WindowDocument* document, ImportTarget* target) {
  if (document == nullptr) return false;
  HWND tree = document->folderTree;
  HTREEITEM caret = CurrentFolderItem(tree);
  HTREEITEM item =
      reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_DROPHILITE, 0));
  if (item == nullptr) item = caret;
  ArchiveEntry* entry = TreeItemEntry(tree, item);
  if (entry == nullptr || entry->node == nullptr) return false;
  *target = ImportTarget{item, entry->node, item == caret};
  return true;
}

void AppendSelected(WindowDocument* document, ArchiveEntry* entry) {
  const int end = static_cast<int>(SendMessageA(document->itemList, LVM_GETITEMCOUNT, 0, 0));
  InsertListItem(document->itemList, entry, end, LVIS_SELECTED, 0xFF);
}

}  // namespace

bool ImportFile(HWND window, WindowDocument* document, const char* path, TransferState* state) {
  (void)window;
  ImportTarget target;
  if (path == nullptr || state == nullptr || !FindTarget(document, &target)) return false;
  const ImportedItem imported = ImportDiskFile(target.node, path, state);
  if (!imported.node) return false;
  if (!target.shown) return true;
  if (imported.isNew) AppendSelected(document, imported.node->entry);
  // A drop of many files gives the list the focus once, at its end.
  if (!document->listInBulk) SetFocus(document->itemList);
  return true;
}

bool ImportDirectory(HWND window, WindowDocument* document, const char* path, TransferState* state) {
  (void)window;
  if (state == nullptr) return false;
  ImportTarget target;
  if (path == nullptr || !FindTarget(document, &target)) {
    state->skipped = true;
    return false;
  }
  FolderTreeView folderTree(document->folderTree);
  const ImportedItem imported = ImportDiskDirectory(folderTree, target.node, path, state);
  if (imported.node) {
    if (imported.isNew && target.shown) AppendSelected(document, imported.node->entry);
    RepaintFolderItem(document->folderTree, target.item);
    if (target.shown) SetFocus(document->itemList);
  }
  return imported.whole;
}

void BeginImportBatch(WindowDocument* document, TransferState* state, size_t count) {
  ImportTarget target;
  if (FindTarget(document, &target)) BeginImportBatch(target.node, state, count);
}
