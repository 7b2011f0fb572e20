#include "window/edit_commands.h"

#include <commctrl.h>

#include <cstdio>
#include <vector>

#include "transfer/data_object.h"
#include "window/archive_window.h"
#include "window/clipboard_commands.h"
#include "window/command_state.h"
#include "window/moved_items.h"
#include "window/undo.h"
#include "panes/views.h"

namespace {

constexpr char kNewDirectoryName[] = "New Directory";

// The root stays; everything under it goes. False when nothing was removed.
bool EmptyArchive(HWND window, WindowDocument* doc, Node* root) {
  if (!root->firstChild()) return false;
  if (!ClipboardLetsGoOf(window, doc, {root})) return false;
  // Every file of the window lies under the root, so freeing each one with its viewer
  // watch ends every watch this window has.
  SendMessageA(doc->itemList, LVM_DELETEALLITEMS, 0, 0);
  while (Node* child = root->firstChild()) {
    HTREEITEM item = ForgetFolderItems(doc, child);
    FreeLiveSubtree(doc, child);
    if (item) SendMessageA(doc->folderTree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item));
  }
  return true;
}

bool DeleteFolder(HWND window, WindowDocument* doc, Node* node) {
  if (!ClipboardLetsGoOf(window, doc, {node})) return false;
  // The list shows this folder's children. It is emptied before they are freed, and the
  // folder's item goes only after them, so that no list item points at a freed node when the
  // tree selects another folder.
  SendMessageA(doc->itemList, LVM_DELETEALLITEMS, 0, 0);
  HTREEITEM item = ForgetFolderItems(doc, node);
  FreeLiveSubtree(doc, node);
  SendMessageA(doc->folderTree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item));
  return true;
}

bool DeleteCaretFolder(HWND window, WindowDocument* doc) {
  Node* folder = TreeItemNode(doc->folderTree, CurrentFolderItem(doc->folderTree));
  if (!folder) return false;
  if (folder->IsRoot()) return EmptyArchive(window, doc, folder);
  return DeleteFolder(window, doc, folder);
}

int NextSelected(HWND list, int after) {
  return static_cast<int>(
      SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(after), MAKELPARAM(LVNI_SELECTED, 0)));
}

bool DeleteSelectedItems(HWND window, WindowDocument* doc) {
  HWND list = doc->itemList;
  // Every item is read before anything goes.
  std::vector<const Node*> nodes;
  for (int i = NextSelected(list, -1); i >= 0; i = NextSelected(list, i)) {
    const Node* node = ListItemNode(list, i);
    if (!node) return false;
    nodes.push_back(node);
  }
  if (nodes.empty() || !ClipboardLetsGoOf(window, doc, nodes)) return false;
  for (const Node* node : nodes) {
    if (FindListItem(list, node) < 0) continue;
    RemoveLiveNode(doc, const_cast<Node*>(node));
  }
  return true;
}

}  // namespace

bool ClipboardLetsGoOf(HWND window, WindowDocument* doc, const std::vector<const Node*>& nodes) {
  if (!doc->clipboardSource) return true;
  ArchiveDataObject* object = doc->clipboardSource;
  for (const Node* node : nodes) {
    if (!IsDisjointFrom(object, node)) return FreeClipboard(window, doc);
  }
  return true;
}

void DeleteSelection(HWND window, WindowDocument* doc) {
  HWND focus = GetFocus();
  if (!focus) return;
  // Delete asks nothing: an undo brings everything back.
  if (focus == doc->folderTree) {
    const Node* folder = TreeItemNode(doc->folderTree, CurrentFolderItem(doc->folderTree));
    const uint32_t items = folder && folder->IsRoot() ? CountFiles(folder->firstChild()) : 1;
    bool deleted;
    {
      EditScope step(doc, "Delete", items);
      deleted = DeleteCaretFolder(window, doc);
    }
    if (!deleted) return;
    MarkModified(window);
    UpdateCommandState(window, doc);
    ShowStatusNote(window, doc, DeletedNote(items));
  } else if (focus == doc->itemList) {
    const uint32_t items = static_cast<uint32_t>(SendMessageA(doc->itemList, LVM_GETSELECTEDCOUNT, 0, 0));
    {
      EditScope step(doc, "Delete", items);
      if (!DeleteSelectedItems(window, doc)) return;
    }
    // A file deleted may have shadowed another of its name, which is now the one shown.
    MarkShadowedItems(doc);
    MarkModified(window);
    UpdateCommandState(window, doc);
    ShowStatusNote(window, doc, DeletedNote(items));
  }
}

void ChooseNewDirectoryName(const Node* parent, char (&name)[kNewDirectoryNameSize]) {
  std::snprintf(name, sizeof name, "%s", kNewDirectoryName);
  // Each number gives a different name, so this ends within one more step than parent
  // has children.
  for (unsigned long n = 2; FindChildNamed(parent, name); ++n) {
    std::snprintf(name, sizeof name, "%s (%lu)", kNewDirectoryName, n);
  }
}

void NewDirectory(HWND window, WindowDocument* doc) {
  HTREEITEM folder = CurrentFolderItem(doc->folderTree);
  Node* target = TreeItemNode(doc->folderTree, folder);
  if (!target) return;
  char name[kNewDirectoryNameSize];
  ChooseNewDirectoryName(target, name);
  Node* node;
  {
    EditScope step(doc, "New Directory");
    node = doc->tree->AddDirectory(target, name);
    if (node && !AddFolderItems(doc, node)) {
      // Taken out again within the step: there is nothing to undo.
      doc->tree->Remove(node);
      node = nullptr;
    }
  }
  if (!node) return;
  int count = static_cast<int>(SendMessageA(doc->itemList, LVM_GETITEMCOUNT, 0, 0));
  int index = InsertListItem(doc->itemList, node, count, 0, 0);
  SetFocus(doc->itemList);
  if (index >= 0) SendMessageA(doc->itemList, LVM_EDITLABELA, index, 0);
  RepaintFolderItem(doc->folderTree, folder);
  MarkModified(window);
}
