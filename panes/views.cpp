#include "panes/views.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <variant>

#include "archive/entry_data.h"
#include "archive/format.h"
#include "archive/loading.h"
#include "resources/command_ids.h"
#include "services/dpi.h"
#include "services/file_types.h"
#include "services/globals.h"
#include "services/icon_lists.h"
#include "services/number_format.h"
#include "services/settings.h"
#include "panes/core/list_order.h"
#include "panes/pane_dpi.h"
#include "panes/sort_arrow.h"

namespace {

constexpr DWORD kListBaseStyle =
    WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | LVS_EDITLABELS | LVS_AUTOARRANGE | LVS_SHAREIMAGELISTS;

HTREEITEM InsertTreeItem(HWND tree, HTREEITEM parent, HTREEITEM after, Node* node, int image, int selectedImage) {
  TVINSERTSTRUCTA insert = {};
  insert.hParent = parent;
  insert.hInsertAfter = after;
  insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
  insert.item.pszText = const_cast<char*>(node->name().c_str());
  insert.item.iImage = image;
  insert.item.iSelectedImage = selectedImage;
  insert.item.lParam = reinterpret_cast<LPARAM>(node);
  return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
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

// The times the Modified column shows, for one fill, refresh or sort of the list. A file of
// a format that stores no times takes the archive file's, which is asked of the disk once
// here instead of once for every file.
class ListTimes {
 public:
  explicit ListTimes(const ArchiveDocument* doc) : doc_(doc) {}
  // The node's time as EntryModified gives it; false when none is known (folders too).
  bool Of(const Node* node, int64_t* moment);

 private:
  bool TakesArchiveTime(const Node* node) const;
  enum class Archive { NotAsked, Known, Unknown };
  const ArchiveDocument* doc_;
  Archive archive_ = Archive::NotAsked;
  int64_t archiveMoment_ = 0;
};

bool ListTimes::TakesArchiveTime(const Node* node) const {
  const SourceEntry* entry = std::get_if<SourceEntry>(&node->data());
  return entry && doc_->source && entry->index < doc_->source->Count() &&
         !doc_->source->Info(entry->index).hasTime;
}

bool ListTimes::Of(const Node* node, int64_t* moment) {
  if (doc_ == nullptr || node == nullptr || !node->IsFile()) return false;
  if (!TakesArchiveTime(node)) return EntryModified(doc_, node, moment);
  if (archive_ == Archive::NotAsked)
    archive_ = EntryModified(doc_, node, &archiveMoment_) ? Archive::Known : Archive::Unknown;
  if (archive_ == Archive::Unknown) return false;
  *moment = archiveMoment_;
  return true;
}

// The document of the archive window a list belongs to, or null.
const ArchiveDocument* ListDocument(HWND list) { return DocumentOf(ArchiveWindowOfPane(list)); }

// The Modified text of a node: its time in the user's short date and time formats, or
// empty when no time is known or the system cannot show it.
void FormatEntryTime(ListTimes* times, const Node* node, char* text, int size) {
  text[0] = '\0';
  int64_t moment;
  if (times->Of(node, &moment)) FormatLocalMoment(moment, text, size);
}

constexpr int kTimeTextSize = 96;

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

HTREEITEM FolderItemOf(const WindowDocument* doc, const Node* folder) {
  if (doc == nullptr || folder == nullptr) return nullptr;
  const auto found = doc->folderItems.find(folder->id());
  return found == doc->folderItems.end() ? nullptr : found->second;
}

bool AddFolderItems(WindowDocument* doc, Node* top) {
  if (doc == nullptr || top == nullptr || !top->IsContainer()) return false;
  for (Node* n = top; n; n = NextInSubtree(n, top)) {
    if (!n->IsContainer() || FolderItemOf(doc, n)) continue;
    HTREEITEM item;
    if (n->IsRoot()) {
      item = InsertTreeItem(doc->folderTree, TVI_ROOT, TVI_FIRST, n, 2, 2);
    } else {
      HTREEITEM parent = FolderItemOf(doc, n->parent());
      if (parent == nullptr) return false;
      item = InsertTreeItem(doc->folderTree, parent, TVI_SORT, n, 0, 1);
    }
    if (item == nullptr) return false;
    doc->folderItems[n->id()] = item;
  }
  return true;
}

HTREEITEM ForgetFolderItems(WindowDocument* doc, const Node* top) {
  if (doc == nullptr || top == nullptr) return nullptr;
  HTREEITEM item = FolderItemOf(doc, top);
  for (const Node* n = top; n; n = NextInSubtree(n, top))
    if (n->IsContainer()) doc->folderItems.erase(n->id());
  return item;
}

void DropFolderItems(WindowDocument* doc, const Node* top) {
  // Deleting an item deletes the items below it: the top one is enough for the pane.
  if (HTREEITEM item = ForgetFolderItems(doc, top))
    SendMessageA(doc->folderTree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item));
}

HTREEITEM CurrentFolderItem(HWND tree) {
  return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
}

Node* TreeItemNode(HWND tree, HTREEITEM item) {
  if (!item) return nullptr;
  TVITEMA tv = {};
  tv.mask = TVIF_PARAM | TVIF_HANDLE;
  tv.hItem = item;
  if (!SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv))) return nullptr;
  return reinterpret_cast<Node*>(tv.lParam);
}

Node* ListItemNode(HWND list, int index) {
  LVITEMA item = {};
  item.mask = LVIF_PARAM;
  item.iItem = index;
  if (!SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
  return reinterpret_cast<Node*>(item.lParam);
}

bool BuildArchiveView(HWND window, WindowDocument* doc, Failure* why) {
  doc->dpi = WindowDpi(window);
  ApplyPaneDpi(doc);
  *why = BuildTree(doc, g_settings.keepCase);
  if (*why) return false;
  if (!AddFolderItems(doc, doc->root())) {
    *why = Fail(Problem::NoMemory);
    return false;
  }

  InsertColumn(doc->itemList, 0, "Name", LVCFMT_LEFT, RememberedColumnWidth(0, doc->dpi));
  InsertColumn(doc->itemList, 1, "Size", LVCFMT_RIGHT, RememberedColumnWidth(1, doc->dpi));
  InsertColumn(doc->itemList, 2, "Type", LVCFMT_LEFT, RememberedColumnWidth(2, doc->dpi));
  InsertColumn(doc->itemList, kModifiedColumn, "Modified", LVCFMT_LEFT,
               RememberedColumnWidth(kModifiedColumn, doc->dpi));
  ShowSortArrow(doc->itemList, doc->sortKey);

  HTREEITEM rootItem = FolderItemOf(doc, doc->root());
  SendMessageA(doc->folderTree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(rootItem));
  SendMessageA(doc->folderTree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(rootItem));
  return true;
}

void RepaintWhole(HWND pane) {
  RedrawWindow(pane, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void MarkShadowedItems(WindowDocument* doc) {
  HWND list = doc->itemList;
  Shadows shadows(doc->source.get());
  const bool wasMarked = doc->shadowedInList != 0;
  doc->shadowedInList = 0;
  const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    const Node* node = ListItemNode(list, i);
    if (node == nullptr || !node->IsFile()) continue;
    if (shadows.IsShadowed(node)) {
      ++doc->shadowedInList;
      SetSubItemText(list, i, 2, (std::string(FileTypeName(node->name().c_str())) + " (shadowed)").c_str());
    } else if (wasMarked) {
      SetSubItemText(list, i, 2, FileTypeName(node->name().c_str()));
    }
  }
}

void FormatEntrySize(const Node* node, char* text, int size) {
  if (FormatUserNumber(EntryDisplaySize(node), text, size) == 0) {
    std::snprintf(text, size, "%lu", static_cast<unsigned long>(EntryDisplaySize(node)));
  }
}

namespace {

int InsertItem(HWND list, Node* node, int index, UINT state, UINT stateMask, ListTimes* times) {
  const char* typeName = "";
  int icon;
  if (node->IsDirectory()) {
    icon = FolderTypeInfo(&typeName);
  } else {
    icon = FileTypeInfo(node->name().c_str(), &typeName);
  }
  LVITEMA item = {};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
  if (state != 0) {
    item.mask |= LVIF_STATE;
    item.state = state;
    item.stateMask = stateMask;
  }
  item.iItem = index;
  item.pszText = const_cast<char*>(node->name().c_str());
  item.iImage = icon;
  item.lParam = reinterpret_cast<LPARAM>(node);
  CoverIconIndex(list, icon);
  int at = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  if (at < 0) return -1;
  if (EntryHasSize(node)) {
    char sizeText[32];
    FormatEntrySize(node, sizeText, sizeof sizeText);
    SetSubItemText(list, at, 1, sizeText);
  }
  SetSubItemText(list, at, 2, typeName);
  char timeText[kTimeTextSize];
  FormatEntryTime(times, node, timeText, sizeof timeText);
  if (timeText[0] != '\0') SetSubItemText(list, at, kModifiedColumn, timeText);
  return at;
}

// The sort of the list's items under a key, and what the Modified order compares.
struct SortContext {
  uint32_t sortKey;
  EntryMoments moments;
};

int CALLBACK CompareWithMoments(LPARAM first, LPARAM second, LPARAM context) {
  const SortContext* sort = reinterpret_cast<const SortContext*>(context);
  return CompareListEntries(reinterpret_cast<const Node*>(first), reinterpret_cast<const Node*>(second),
                            sort->sortKey, &sort->moments);
}

void SortItems(WindowDocument* doc, ListTimes* times) {
  if ((doc->sortKey & 0xFF) != kSortByModified) {
    SendMessageA(doc->itemList, LVM_SORTITEMS, static_cast<WPARAM>(doc->sortKey),
                 reinterpret_cast<LPARAM>(CompareListItems));
    return;
  }
  // Each time is looked up once before the sort, not in each of its many comparisons.
  SortContext sort{doc->sortKey, {}};
  const int count = static_cast<int>(SendMessageA(doc->itemList, LVM_GETITEMCOUNT, 0, 0));
  sort.moments.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const Node* node = ListItemNode(doc->itemList, i);
    int64_t moment;
    if (node && times->Of(node, &moment)) sort.moments[node] = moment;
  }
  SendMessageA(doc->itemList, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&sort),
               reinterpret_cast<LPARAM>(CompareWithMoments));
}

}  // namespace

int InsertListItem(HWND list, Node* node, int index, UINT state, UINT stateMask) {
  ListTimes times(ListDocument(list));
  return InsertItem(list, node, index, state, stateMask, &times);
}

void ShowFolder(HWND window, WindowDocument* doc, HTREEITEM item) {
  (void)window;
  HTREEITEM rootItem =
      reinterpret_cast<HTREEITEM>(SendMessageA(doc->folderTree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
  SendMessageA(g_toolbar, TB_ENABLEBUTTON, ID_OBJECT_UP, MAKELONG(item != rootItem, 0));
  Node* folder = TreeItemNode(doc->folderTree, item);
  ListFreeze freeze(doc->itemList);
  SendMessageA(doc->itemList, LVM_DELETEALLITEMS, 0, 0);
  SendMessageA(doc->itemList, LVM_SETITEMCOUNT, 500, 0);
  doc->shadowedInList = 0;
  if (!folder || !folder->firstChild()) return;
  ListTimes times(doc);
  int index = 0;
  for (Node* child = folder->firstChild(); child; child = child->nextSibling()) {
    if (InsertItem(doc->itemList, child, index, 0, 0, &times) >= 0) ++index;
  }
  MarkShadowedItems(doc);
  SortItems(doc, &times);
}

int FindListItem(HWND list, const Node* node) {
  LVFINDINFOA find = {};
  find.flags = LVFI_PARAM;
  find.lParam = reinterpret_cast<LPARAM>(node);
  return static_cast<int>(SendMessageA(list, LVM_FINDITEMA, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(&find)));
}

void RefreshListColumn(HWND list, int column) {
  ListFreeze freeze(list);
  ListTimes times(ListDocument(list));
  int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    Node* node = ListItemNode(list, i);
    if (!node) continue;
    if (column == kSizeColumn || column == kModifiedColumn) {
      // A file's data gives both its size and its time: new data changes them together.
      char timeText[kTimeTextSize];
      FormatEntryTime(&times, node, timeText, sizeof timeText);
      SetSubItemText(list, i, kModifiedColumn, timeText);
      if (!EntryHasSize(node)) continue;
      char sizeText[32];
      FormatEntrySize(node, sizeText, sizeof sizeText);
      SetSubItemText(list, i, 1, sizeText);
    } else if (column == 0) {
      SetSubItemText(list, i, 0, node->name().c_str());
    } else if (column == 2) {
      SetSubItemText(list, i, 2, FileTypeName(node->name().c_str()));
    }
  }
}

int CALLBACK CompareListItems(LPARAM first, LPARAM second, LPARAM sortKey) {
  return CompareListEntries(reinterpret_cast<const Node*>(first), reinterpret_cast<const Node*>(second),
                            static_cast<uint32_t>(sortKey));
}

void SortItemList(WindowDocument* doc) {
  ListTimes times(doc);
  SortItems(doc, &times);
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
  const Node* node = reinterpret_cast<const Node*>(info->item.lParam);
  if (!node) return;
  info->item.mask |= LVIF_DI_SETITEM;
  if (info->item.mask & LVIF_IMAGE) {
    info->item.iImage = FileTypeIcon(node->name().c_str());
    CoverIconIndex(info->hdr.hwndFrom, info->item.iImage);
  }
  if ((info->item.mask & LVIF_TEXT) && info->item.iSubItem == 2 && info->item.pszText &&
      info->item.cchTextMax > 0) {
    std::snprintf(info->item.pszText, info->item.cchTextMax, "%s", FileTypeName(node->name().c_str()));
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
    case kSortByModified: return ID_VIEW_BY_MODIFIED;
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
  // The order by Modified has no item of its own: none of the others is checked then.
  CheckRadioCommand({ID_VIEW_BY_NAME, ID_VIEW_BY_TYPE, ID_VIEW_BY_SIZE}, command);
}

void CheckViewMenuItem(int command) {
  CheckRadioCommand({ID_VIEW_LARGE_ICONS, ID_VIEW_SMALL_ICONS, ID_VIEW_LIST, ID_VIEW_DETAILS},
                    command);
}

void SetSortKey(HWND window, WindowDocument* doc, int command) {
  (void)window;
  CheckSortMenuItem(command);
  uint32_t bit = command == ID_VIEW_BY_TYPE       ? kSortByType
                 : command == ID_VIEW_BY_SIZE     ? kSortBySize
                 : command == ID_VIEW_BY_MODIFIED ? kSortByModified
                                                  : kSortByName;
  if ((doc->sortKey & 0xFF) & bit) {
    doc->sortKey ^= 0x100;
  } else {
    doc->sortKey = bit;
  }
  g_settings.windowState.sortKey = static_cast<uint16_t>(doc->sortKey);
  SortItemList(doc);
  ShowSortArrow(doc->itemList, doc->sortKey);
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
