#include "panes/views.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "archive/loading.h"
#include "resources/command_ids.h"
#include "services/file_types.h"
#include "services/globals.h"
#include "services/number_format.h"
#include "services/settings.h"
#include "panes/core/list_order.h"
#include "panes/header_draw.h"

namespace {

constexpr DWORD kListBaseStyle =
    WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | LVS_EDITLABELS | LVS_AUTOARRANGE | LVS_SHAREIMAGELISTS;

TreeItem InsertTreeItem(HWND tree, HTREEITEM parent, HTREEITEM after, ArchiveEntry* entry,
                        int image, int selectedImage) {
  TVINSERTSTRUCTA insert = {};
  insert.hParent = parent;
  insert.hInsertAfter = after;
  insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
  insert.item.pszText = entry->name;
  insert.item.iImage = image;
  insert.item.iSelectedImage = selectedImage;
  insert.item.lParam = reinterpret_cast<LPARAM>(entry);
  return reinterpret_cast<TreeItem>(
      SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

void InsertColumn(HWND list, int index, const char* caption, int format, int width) {
  LVCOLUMNA column = {};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
  column.fmt = format;
  column.cx = width;
  column.pszText = const_cast<char*>(caption);
  SendMessageA(list, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
}

void SetSubItemText(HWND list, int index, int subItem, const char* text) {
  LVITEMA item = {};
  item.iSubItem = subItem;
  item.pszText = const_cast<char*>(text);
  SendMessageA(list, LVM_SETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
}

// Stops the list from repainting while it changes, so that it repaints once afterwards.
class ListFreeze {
 public:
  explicit ListFreeze(HWND list) : list_(list) { SendMessageA(list_, WM_SETREDRAW, FALSE, 0); }
  ~ListFreeze() {
    SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
    RepaintWhole(list_);
  }

 private:
  HWND list_;
};

}  // namespace

TreeItem FolderTreeView::InsertRootItem(ArchiveEntry* root) {
  return InsertTreeItem(tree_, TVI_ROOT, TVI_FIRST, root, 2, 2);
}

TreeItem FolderTreeView::InsertFolderItem(TreeItem parent, ArchiveEntry* entry) {
  return InsertTreeItem(tree_, static_cast<HTREEITEM>(parent), TVI_SORT, entry, 0, 1);
}

HTREEITEM CurrentFolderItem(HWND tree) {
  return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
}

ArchiveEntry* TreeItemEntry(HWND tree, HTREEITEM item) {
  if (!item) return nullptr;
  TVITEMA tv = {};
  tv.mask = TVIF_PARAM | TVIF_HANDLE;
  tv.hItem = item;
  if (!SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv))) return nullptr;
  return reinterpret_cast<ArchiveEntry*>(tv.lParam);
}

ArchiveEntry* ListItemEntry(HWND list, int index) {
  LVITEMA item = {};
  item.mask = LVIF_PARAM;
  item.iItem = index;
  if (!SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
  return reinterpret_cast<ArchiveEntry*>(item.lParam);
}

bool BuildArchiveView(HWND window, WindowDocument* doc, std::string* why) {
  SendMessageA(doc->folderTree, TVM_SETIMAGELIST, TVSIL_NORMAL,
               reinterpret_cast<LPARAM>(FolderImageList()));
  FolderTreeView folderTree(doc->folderTree);
  doc->root = TreeBuildFromSource(doc, folderTree, why);
  if (!doc->root) return false;

  const WindowState& state = g_settings.windowState;
  InsertColumn(doc->itemList, 0, "Name", LVCFMT_LEFT, state.nameColumnWidth);
  InsertColumn(doc->itemList, 1, "Size", LVCFMT_RIGHT, state.sizeColumnWidth);
  InsertColumn(doc->itemList, 2, "Type", LVCFMT_LEFT, state.typeColumnWidth);

  HWND header = reinterpret_cast<HWND>(SendMessageA(doc->itemList, LVM_GETHEADER, 0, 0));
  if (!AttachHeaderDrawing(header, doc)) return false;
  SendMessageA(doc->itemList, LVM_SETIMAGELIST, LVSIL_SMALL,
               reinterpret_cast<LPARAM>(SystemImageListSmall()));
  SendMessageA(doc->itemList, LVM_SETIMAGELIST, LVSIL_NORMAL,
               reinterpret_cast<LPARAM>(SystemImageListLarge()));

  HTREEITEM rootItem = static_cast<HTREEITEM>(doc->root->entry->treeItem);
  SendMessageA(doc->folderTree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(rootItem));
  SendMessageA(doc->folderTree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(rootItem));
  (void)window;
  return true;
}

void RepaintWhole(HWND pane) {
  RedrawWindow(pane, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void ShowFolder(HWND window, WindowDocument* doc, HTREEITEM item) {
  (void)window;
  HTREEITEM rootItem =
      reinterpret_cast<HTREEITEM>(SendMessageA(doc->folderTree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
  SendMessageA(g_toolbar, TB_ENABLEBUTTON, ID_OBJECT_UP, MAKELONG(item != rootItem, 0));
  ArchiveEntry* entry = TreeItemEntry(doc->folderTree, item);
  ListFreeze freeze(doc->itemList);
  SendMessageA(doc->itemList, LVM_DELETEALLITEMS, 0, 0);
  SendMessageA(doc->itemList, LVM_SETITEMCOUNT, 500, 0);
  if (!entry || !entry->node || !entry->node->firstChild) return;
  int index = 0;
  for (ArchiveNode* child = entry->node->firstChild; child; child = child->nextSibling) {
    if (InsertListItem(doc->itemList, child->entry, index, 0, 0) >= 0) ++index;
  }
  SortItemList(doc);
}

void FormatEntrySize(const ArchiveEntry* entry, char* text, int size) {
  if (FormatUserNumber(EntryDisplaySize(entry), text, size) == 0) {
    std::snprintf(text, size, "%lu", static_cast<unsigned long>(EntryDisplaySize(entry)));
  }
}

int InsertListItem(HWND list, ArchiveEntry* entry, int index, UINT state, UINT stateMask) {
  const char* typeName = "";
  int icon;
  if (IsKind(entry, EntryKind::Directory)) {
    icon = FolderTypeInfo(&typeName);
  } else {
    icon = FileTypeInfo(entry->name, &typeName);
  }
  LVITEMA item = {};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
  if (state != 0) {
    item.mask |= LVIF_STATE;
    item.state = state;
    item.stateMask = stateMask;
  }
  item.iItem = index;
  item.pszText = entry->name;
  item.iImage = icon;
  item.lParam = reinterpret_cast<LPARAM>(entry);
  int at = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  if (at < 0) return -1;
  if (EntryHasSize(entry)) {
    char sizeText[32];
    FormatEntrySize(entry, sizeText, sizeof sizeText);
    SetSubItemText(list, at, 1, sizeText);
  }
  SetSubItemText(list, at, 2, typeName);
  return at;
}

int FindListItem(HWND list, const ArchiveEntry* entry) {
  LVFINDINFOA find = {};
  find.flags = LVFI_PARAM;
  find.lParam = reinterpret_cast<LPARAM>(entry);
  return static_cast<int>(SendMessageA(list, LVM_FINDITEMA, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(&find)));
}

void RefreshListColumn(HWND list, int column) {
  ListFreeze freeze(list);
  int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    ArchiveEntry* entry = ListItemEntry(list, i);
    if (!entry) continue;
    if (column == 1) {
      if (!EntryHasSize(entry)) continue;
      char sizeText[32];
      FormatEntrySize(entry, sizeText, sizeof sizeText);
      SetSubItemText(list, i, 1, sizeText);
    } else if (column == 0) {
      SetSubItemText(list, i, 0, entry->name);
    } else if (column == 2) {
      SetSubItemText(list, i, 2, FileTypeName(entry->name));
    }
  }
}

int CALLBACK CompareListItems(LPARAM first, LPARAM second, LPARAM sortKey) {
  return CompareListEntries(reinterpret_cast<const ArchiveEntry*>(first),
                            reinterpret_cast<const ArchiveEntry*>(second),
                            static_cast<uint32_t>(sortKey));
}

void SortItemList(WindowDocument* doc) {
  SendMessageA(doc->itemList, LVM_SORTITEMS, static_cast<WPARAM>(doc->sortKey),
               reinterpret_cast<LPARAM>(CompareListItems));
}

void RepaintFolderItem(HWND tree, HTREEITEM item) {
  // TVM_GETITEMRECT takes the item in the rectangle's first bytes.
  RECT rc = {};
  std::memcpy(&rc, &item, sizeof item);
  if (SendMessageA(tree, TVM_GETITEMRECT, FALSE, reinterpret_cast<LPARAM>(&rc))) {
    InvalidateRect(tree, &rc, TRUE);
  }
}

void AnswerListDisplayInfo(NMLVDISPINFOA* info) {
  const ArchiveEntry* entry = reinterpret_cast<const ArchiveEntry*>(info->item.lParam);
  if (!entry) return;
  info->item.mask |= LVIF_DI_SETITEM;
  if (info->item.mask & LVIF_IMAGE) info->item.iImage = FileTypeIcon(entry->name);
  if ((info->item.mask & LVIF_TEXT) && info->item.iSubItem == 2 && info->item.pszText &&
      info->item.cchTextMax > 0) {
    std::snprintf(info->item.pszText, info->item.cchTextMax, "%s", FileTypeName(entry->name));
  }
}

uint32_t ViewModeOfCommand(int command) {
  switch (command) {
    case ID_VIEW_DETAILS: return LVS_REPORT;
    case ID_VIEW_SMALL_ICONS: return LVS_SMALLICON;
    case ID_VIEW_LIST: return LVS_LIST;
    default: return LVS_ICON;
  }
}

int CommandOfViewMode(uint32_t viewMode) {
  switch (viewMode) {
    case LVS_REPORT: return ID_VIEW_DETAILS;
    case LVS_SMALLICON: return ID_VIEW_SMALL_ICONS;
    case LVS_LIST: return ID_VIEW_LIST;
    default: return ID_VIEW_LARGE_ICONS;
  }
}

int CommandOfSortKey(uint32_t sortKey) {
  switch (sortKey & 0xFF) {
    case 1: return ID_VIEW_BY_NAME;
    case 2: return ID_VIEW_BY_TYPE;
    case 4: return ID_VIEW_BY_SIZE;
    default: return 0;
  }
}

void SetViewMode(HWND window, WindowDocument* doc, int command) {
  (void)window;
  CheckViewMenuItem(command);
  SendMessageA(g_toolbar, TB_CHECKBUTTON, command, MAKELONG(TRUE, 0));
  uint32_t mode = ViewModeOfCommand(command);
  doc->viewMode = mode;
  g_settings.windowState.viewMode = mode;
  SetWindowLongA(doc->itemList, GWL_STYLE, static_cast<LONG>(kListBaseStyle | mode));
  // The list lays its items out anew for the new view; all of it has to be painted again.
  InvalidateRect(doc->itemList, nullptr, TRUE);
}

void CheckRadioCommand(std::initializer_list<int> group, int command) {
  // Each item is set on its own: a range given to CheckMenuRadioItem is read by command
  // numbers on some systems and by menu positions on others, and the sort group's numbers
  // (Name, Size, Type = 40024, 40026, 40025) do not follow its positions.
  for (int id : group) {
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE;
    if (!GetMenuItemInfoA(g_mainMenu, id, FALSE, &info)) continue;
    info.fType |= MFT_RADIOCHECK;
    info.fState = (info.fState & ~MFS_CHECKED) | (id == command ? MFS_CHECKED : 0);
    SetMenuItemInfoA(g_mainMenu, id, FALSE, &info);
  }
}

void CheckSortMenuItem(int command) {
  CheckRadioCommand({ID_VIEW_BY_NAME, ID_VIEW_BY_TYPE, ID_VIEW_BY_SIZE}, command);
}

void CheckViewMenuItem(int command) {
  CheckRadioCommand({ID_VIEW_LARGE_ICONS, ID_VIEW_SMALL_ICONS, ID_VIEW_LIST, ID_VIEW_DETAILS},
                    command);
}

void SetSortKey(HWND window, WindowDocument* doc, int command) {
  (void)window;
  CheckSortMenuItem(command);
  uint32_t bit = command == ID_VIEW_BY_TYPE ? 2 : (command == ID_VIEW_BY_SIZE ? 4 : 1);
  if ((doc->sortKey & 0xFF) & bit) {
    doc->sortKey ^= 0x100;
  } else {
    doc->sortKey = bit;
  }
  g_settings.windowState.sortKey = static_cast<uint16_t>(doc->sortKey);
  SortItemList(doc);
  HWND header = reinterpret_cast<HWND>(SendMessageA(doc->itemList, LVM_GETHEADER, 0, 0));
  InvalidateRect(header, nullptr, TRUE);
}

void GoUp(WindowDocument* doc) {
  HTREEITEM current = CurrentFolderItem(doc->folderTree);
  HTREEITEM parent = reinterpret_cast<HTREEITEM>(
      SendMessageA(doc->folderTree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(current)));
  if (parent) {
    SendMessageA(doc->folderTree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(parent));
  }
}

void RefreshList(WindowDocument* doc) { SortItemList(doc); }
