#include "window/edit_commands.h"

#include <commctrl.h>

#include <cstdio>
#include <memory>
#include <new>

#include "archive/loading.h"
#include "transfer/data_object.h"
#include "window/archive_window.h"
#include "window/clipboard_commands.h"
#include "window/command_state.h"
#include "window/moved_items.h"
#include "panes/views.h"

namespace {

constexpr char kNewDirectoryName[] = "New Directory";

HTREEITEM FolderItemOf(const ArchiveEntry* entry) {
  return IsKind(entry, EntryKind::Directory) ? static_cast<HTREEITEM>(entry->treeItem) : nullptr;
}

// The root stays; everything under it goes. False when nothing was removed.
bool EmptyArchive(HWND window, WindowDocument* doc, ArchiveNode* root) {
  if (!root->firstChild) return false;
  if (!ClipboardLetsGoOf(window, doc, &root, 1)) return false;
  // Every entry of the window lies under the root, so freeing each one with its viewer
  // watch ends every watch this window has.
  SendMessageA(doc->itemList, LVM_DELETEALLITEMS, 0, 0);
  while (ArchiveNode* child = root->firstChild) {
    HTREEITEM item = FolderItemOf(child->entry);
    FreeLiveSubtree(child);
    if (item) SendMessageA(doc->folderTree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item));
  }
  return true;
}

bool DeleteFolder(HWND window, WindowDocument* doc, HTREEITEM item, ArchiveNode* node) {
  if (!ClipboardLetsGoOf(window, doc, &node, 1)) return false;
  // The list shows this folder's children. It is emptied before their entries are freed,
  // so that no list item points at freed memory until the tree has selected another folder.
  SendMessageA(doc->itemList, LVM_DELETEALLITEMS, 0, 0);
  FreeLiveSubtree(node);
  SendMessageA(doc->folderTree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item));
  return true;
}

bool DeleteCaretFolder(HWND window, WindowDocument* doc) {
  HTREEITEM item = CurrentFolderItem(doc->folderTree);
  ArchiveEntry* entry = TreeItemEntry(doc->folderTree, item);
  if (!entry || !entry->node) return false;
  if (entry->parentTreeItem == TVI_ROOT) return EmptyArchive(window, doc, entry->node);
  return DeleteFolder(window, doc, item, entry->node);
}

int NextSelected(HWND list, int after) {
  return static_cast<int>(
      SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(after), MAKELPARAM(LVNI_SELECTED, 0)));
}

bool DeleteSelectedItems(HWND window, WindowDocument* doc) {
  HWND list = doc->itemList;
  int selected = static_cast<int>(SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0));
  if (selected <= 0) return false;
  std::unique_ptr<ArchiveNode*[]> nodes(new (std::nothrow) ArchiveNode*[selected]);
  if (!nodes) return false;
  // Every item is read before anything goes, so an unreadable one leaves the archive whole.
  size_t count = 0;
  for (int i = NextSelected(list, -1); i >= 0 && count < static_cast<size_t>(selected);
       i = NextSelected(list, i)) {
    ArchiveEntry* entry = ListItemEntry(list, i);
    if (!entry || !entry->node) return false;
    nodes[count++] = entry->node;
  }
  if (!ClipboardLetsGoOf(window, doc, nodes.get(), count)) return false;
  for (size_t i = 0; i < count; ++i) {
    if (FindListItem(list, nodes[i]->entry) < 0) continue;
    RemoveLiveNode(doc, nodes[i]);
  }
  return true;
}

}  // namespace

bool ClipboardLetsGoOf(HWND window, WindowDocument* doc, ArchiveNode* const* nodes, size_t count) {
  if (!doc->clipboardSource) return true;
  ArchiveDataObject* object = doc->clipboardSource;
  for (size_t i = 0; i < count; ++i) {
    if (!IsDisjointFrom(object, nodes[i])) return FreeClipboard(window, doc);
  }
  return true;
}

void DeleteSelection(HWND window, WindowDocument* doc) {
  HWND focus = GetFocus();
  if (!focus) return;
  if (focus == doc->folderTree) {
    if (DeleteCaretFolder(window, doc)) MarkModified(window);
  } else if (focus == doc->itemList) {
    if (!DeleteSelectedItems(window, doc)) return;
    MarkModified(window);
    UpdateCommandState(window, doc);
  }
}

void ChooseNewDirectoryName(const ArchiveNode* parent, char (&name)[kNewDirectoryNameSize]) {
  std::snprintf(name, sizeof name, "%s", kNewDirectoryName);
  // Each number gives a different name, so this ends within one more step than parent
  // has children.
  for (unsigned long n = 2; FindChildNamed(parent, name); ++n) {
    std::snprintf(name, sizeof name, "%s (%lu)", kNewDirectoryName, n);
  }
}

void NewDirectory(HWND window, WindowDocument* doc) {
  HTREEITEM folder = CurrentFolderItem(doc->folderTree);
  ArchiveEntry* target = TreeItemEntry(doc->folderTree, folder);
  if (!target || !target->node) return;
  char name[kNewDirectoryNameSize];
  ChooseNewDirectoryName(target->node, name);
  FolderTreeView folderTree(doc->folderTree);
  ArchiveNode* node = AddDirectoryNode(folderTree, target->node, name);
  if (!node) return;
  int count = static_cast<int>(SendMessageA(doc->itemList, LVM_GETITEMCOUNT, 0, 0));
  int index = InsertListItem(doc->itemList, node->entry, count, 0, 0);
  SetFocus(doc->itemList);
  if (index >= 0) SendMessageA(doc->itemList, LVM_EDITLABELA, index, 0);
  RepaintFolderItem(doc->folderTree, folder);
  MarkModified(window);
}
