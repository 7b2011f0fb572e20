#include "window/disk_import.h"

#include <commctrl.h>

#include "panes/views.h"
#include "panes/window_document.h"

namespace {

// Where imports go: the drop-highlighted folder during a drop, otherwise the current one.
struct ImportTarget {
  HTREEITEM item;
  Node* node;
  bool shown;  // the item list shows this folder
};

bool FindTarget(WindowDocument* document, ImportTarget* target) {
  if (document == nullptr) return false;
  HWND tree = document->folderTree;
  HTREEITEM caret = CurrentFolderItem(tree);
  HTREEITEM item =
      reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_DROPHILITE, 0));
  if (item == nullptr) item = caret;
  Node* node = TreeItemNode(tree, item);
  if (node == nullptr) return false;
  *target = ImportTarget{item, node, item == caret};
  return true;
}

// A new item of the shown folder joins the list selected, in its sort position and in view;
// many at once (a drop) are sorted together after the last.
void AddSelected(WindowDocument* document, Node* node) {
  const int end = static_cast<int>(SendMessageA(document->itemList, LVM_GETITEMCOUNT, 0, 0));
  if (InsertListItem(document->itemList, node, end, LVIS_SELECTED, 0xFF) < 0 || document->listInBulk) return;
  SortItemList(document);
  SendMessageA(document->itemList, LVM_ENSUREVISIBLE, FindListItem(document->itemList, node), FALSE);
}

}  // namespace

bool ImportFile(HWND window, WindowDocument* document, const char* path, TransferState* state) {
  (void)window;
  ImportTarget target;
  if (path == nullptr || state == nullptr || !FindTarget(document, &target)) return false;
  const ImportedItem imported = ImportDiskFile(*document->tree, target.node, path, state);
  if (!imported.node) return false;
  if (!target.shown) return true;
  if (imported.isNew) AddSelected(document, imported.node);
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
  const ImportedItem imported = ImportDiskDirectory(*document->tree, target.node, path, state);
  if (imported.node) {
    // The folders that came in get their items in the folder tree.
    AddFolderItems(document, imported.node);
    if (imported.isNew && target.shown) AddSelected(document, imported.node);
    RepaintFolderItem(document->folderTree, target.item);
    if (target.shown) SetFocus(document->itemList);
  }
  return imported.whole;
}

void BeginImportCommand(WindowDocument* document) {
  ImportTarget target;
  if (FindTarget(document, &target) && target.shown)
    ListView_SetItemState(document->itemList, -1, 0, LVIS_SELECTED);
}

void BeginImportBatch(WindowDocument* document, TransferState* state, size_t count) {
  ImportTarget target;
  if (FindTarget(document, &target)) BeginImportBatch(target.node, state, count);
}
