#include "archive/game_folder.h"
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
#include "panes/core/name_pattern.h"
#include "panes/pane_dpi.h"
#include "panes/sort_arrow.h"
#include "panes/thumbnails.h"
#include "services/core/window_state.h"

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

void SetSubItemText(HWND list, int index, int subItem, const char* text) {
  LVITEMA item = {};
  item.iSubItem = subItem;
  item.pszText = const_cast<char*>(text);
  SendMessageA(list, LVM_SETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
}

// The document of the archive window a list belongs to, or null.
WindowDocument* ListDocument(HWND list) { return DocumentOf(ArchiveWindowOfPane(list)); }

// Stops a pane from repainting while it changes, so that it repaints once afterwards. The
// tree also lays out its items and scroll bars only then, not after each one inserted.
class PaneFreeze {
 public:
  explicit PaneFreeze(HWND pane) : pane_(pane) { SendMessageA(pane_, WM_SETREDRAW, FALSE, 0); }
  ~PaneFreeze() {
    SendMessageA(pane_, WM_SETREDRAW, TRUE, 0);
    RepaintWhole(pane_);
  }

 private:
  HWND pane_;
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
  {
    PaneFreeze freeze(doc->folderTree);
    if (!AddFolderItems(doc, doc->root())) {
      *why = Fail(Problem::NoMemory);
      return false;
    }
  }

  InsertListColumns(doc);
  ShowSortArrow(doc->itemList, doc->sortKey);
  if (doc->viewMode == kViewThumbnails) ShowThumbnailImages(doc);

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
  // With the Type column hidden the marks are still counted, for the status bar.
  const int type = ColumnPosition(doc, kTypeColumn);
  for (int i = 0; i < count; ++i) {
    const Node* node = ListItemNode(list, i);
    if (node == nullptr || !node->IsFile()) continue;
    if (type < 0) {
      if (shadows.IsShadowed(node)) ++doc->shadowedInList;
      continue;
    }
    if (shadows.IsShadowed(node)) {
      ++doc->shadowedInList;
      SetSubItemText(list, i, type, (std::string(FileTypeName(node->name().c_str())) + " (shadowed)").c_str());
    } else if (wasMarked) {
      SetSubItemText(list, i, type, FileTypeName(node->name().c_str()));
    }
  }
}

void FormatEntrySize(const Node* node, char* text, int size) {
  if (FormatUserNumber(EntryDisplaySize(node), text, size) == 0) {
    std::snprintf(text, size, "%lu", static_cast<unsigned long>(EntryDisplaySize(node)));
  }
}

namespace {

int InsertItem(WindowDocument* doc, Node* node, int index, UINT state, UINT stateMask, ColumnTexts* texts) {
  HWND list = doc->itemList;
  const char* typeName = "";
  const int icon = node->IsDirectory() ? FolderTypeInfo(&typeName) : FileTypeInfo(node->name().c_str(), &typeName);
  LVITEMA item = {};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
  if (state != 0) {
    item.mask |= LVIF_STATE;
    item.state = state;
    item.stateMask = stateMask;
  }
  item.iItem = index;
  item.pszText = const_cast<char*>(node->name().c_str());
  item.iImage = ListItemImage(doc, node, icon);
  item.lParam = reinterpret_cast<LPARAM>(node);
  CoverIconIndex(list, icon);
  int at = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  if (at < 0) return -1;
  SetColumnTexts(doc, texts, at, node, true);
  return at;
}

// The sort of the list's items under a key, and the values an order by one compares.
struct SortContext {
  uint32_t sortKey;
  EntryValues values;
};

int CALLBACK CompareWithValues(LPARAM first, LPARAM second, LPARAM context) {
  const SortContext* sort = reinterpret_cast<const SortContext*>(context);
  return CompareListEntries(reinterpret_cast<const Node*>(first), reinterpret_cast<const Node*>(second),
                            sort->sortKey, &sort->values);
}

void SortItems(WindowDocument* doc, ColumnTexts* texts) {
  if (!SortsByValue(doc->sortKey)) {
    SendMessageA(doc->itemList, LVM_SORTITEMS, static_cast<WPARAM>(doc->sortKey),
                 reinterpret_cast<LPARAM>(CompareListItems));
    return;
  }
  // Each value is looked up once before the sort, not in each of its many comparisons.
  SortContext sort{doc->sortKey, ListedValues(doc, texts, doc->sortKey)};
  SendMessageA(doc->itemList, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&sort),
               reinterpret_cast<LPARAM>(CompareWithValues));
}

}  // namespace

int InsertListItem(HWND list, Node* node, int index, UINT state, UINT stateMask) {
  WindowDocument* doc = ListDocument(list);
  if (doc == nullptr) return -1;
  ColumnTexts texts(doc);
  const int at = InsertItem(doc, node, index, state, stateMask, &texts);
  if (at >= 0) ScheduleListChanged(doc);
  return at;
}

void ListChanged(WindowDocument* doc) {
  QueueMissingCrcs(doc);
  QueueThumbnails(doc);
  // The other views show no columns: they are fitted when Details shows them.
  if (doc->viewMode == kViewDetails) FitColumnWidths(doc);
}

// Whether node is a file of the game folder that shadows another, or a folder holding one.
bool ShadowsBelow(const GameFolderSource& folder, const Node* node) {
  for (const Node* n = node; n; n = NextInSubtree(n, node)) {
    const SourceEntry* entry = n->IsFile() ? n->source() : nullptr;
    if (entry && entry->index < folder.Count() && folder.ShadowsAnother(entry->index)) return true;
  }
  return false;
}

void ShowFolder(HWND window, WindowDocument* doc, HTREEITEM item) {
  (void)window;
  HTREEITEM rootItem =
      reinterpret_cast<HTREEITEM>(SendMessageA(doc->folderTree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
  SendMessageA(g_toolbar, TB_ENABLEBUTTON, ID_OBJECT_UP, MAKELONG(item != rootItem, 0));
  Node* folder = TreeItemNode(doc->folderTree, item);
  // A filter holds for the folder it was typed in: another folder shows whole.
  if (!doc->filterText.empty() && (!folder || folder->id() != doc->filterFolder)) {
    doc->filterText.clear();
    if (doc->filterBox) SetWindowTextA(doc->filterBox, "");
  }
  PaneFreeze freeze(doc->itemList);
  SendMessageA(doc->itemList, LVM_DELETEALLITEMS, 0, 0);
  SendMessageA(doc->itemList, LVM_SETITEMCOUNT, 500, 0);
  doc->shadowedInList = 0;
  if (!folder || !folder->firstChild()) return;
  ColumnTexts texts(doc);
  const NamePattern filter(doc->filterText);
  const GameFolderSource* shadowing = doc->onlyShadowing && doc->source ? doc->source->AsGameFolder() : nullptr;
  int index = 0;
  for (Node* child = folder->firstChild(); child; child = child->nextSibling()) {
    if (!filter.Empty() && !filter.Matches(child->name().c_str())) continue;
    if (shadowing && !ShadowsBelow(*shadowing, child)) continue;
    const UINT cut = doc->cutItems.count(child->id()) ? LVIS_CUT : 0;
    if (InsertItem(doc, child, index, cut, cut, &texts) >= 0) ++index;
  }
  MarkShadowedItems(doc);
  SortItems(doc, &texts);
  ListChanged(doc);
}

int FindListItem(HWND list, const Node* node) {
  LVFINDINFOA find = {};
  find.flags = LVFI_PARAM;
  find.lParam = reinterpret_cast<LPARAM>(node);
  return static_cast<int>(SendMessageA(list, LVM_FINDITEMA, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(&find)));
}

void RefreshListColumn(HWND list, int column) {
  WindowDocument* doc = ListDocument(list);
  if (doc == nullptr) return;
  PaneFreeze freeze(list);
  ColumnTexts texts(doc);
  const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    Node* node = ListItemNode(list, i);
    if (!node) continue;
    if (column == kNameColumn) {
      SetSubItemText(list, i, 0, node->name().c_str());
    } else if (column == kTypeColumn) {
      const int type = ColumnPosition(doc, kTypeColumn);
      if (type >= 0) SetSubItemText(list, i, type, texts.Of(node, kTypeColumn).c_str());
    } else {
      // A file's data gives its size, stored form and time: new data changes them together.
      SetColumnTexts(doc, &texts, i, node, false);
    }
  }
  if (column != kNameColumn && column != kTypeColumn) {
    DropChangedThumbnails(doc);
    ListChanged(doc);
  }
}

int CALLBACK CompareListItems(LPARAM first, LPARAM second, LPARAM sortKey) {
  return CompareListEntries(reinterpret_cast<const Node*>(first), reinterpret_cast<const Node*>(second),
                            static_cast<uint32_t>(sortKey));
}

void SortItemList(WindowDocument* doc) {
  ColumnTexts texts(doc);
  SortItems(doc, &texts);
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
  WindowDocument* doc = ListDocument(info->hdr.hwndFrom);
  if (info->item.mask & LVIF_IMAGE) {
    const int icon = FileTypeIcon(node->name().c_str());
    CoverIconIndex(info->hdr.hwndFrom, icon);
    info->item.iImage = ListItemImage(doc, node, icon);
  }
  if ((info->item.mask & LVIF_TEXT) && info->item.iSubItem == ColumnPosition(doc, kTypeColumn) &&
      info->item.pszText && info->item.cchTextMax > 0) {
    std::snprintf(info->item.pszText, info->item.cchTextMax, "%s", FileTypeName(node->name().c_str()));
  }
}

uint32_t ViewModeOfCommand(int command) {
  switch (command) {
    case ID_VIEW_DETAILS: return kViewDetails;
    case ID_VIEW_SMALL_ICONS: return kViewSmallIcons;
    case ID_VIEW_LIST: return kViewList;
    case ID_VIEW_THUMBNAILS: return kViewThumbnails;
    default: return kViewLargeIcons;
  }
}

int CommandOfViewMode(uint32_t viewMode) {
  switch (viewMode) {
    case kViewDetails: return ID_VIEW_DETAILS;
    case kViewSmallIcons: return ID_VIEW_SMALL_ICONS;
    case kViewList: return ID_VIEW_LIST;
    case kViewThumbnails: return ID_VIEW_THUMBNAILS;
    default: return ID_VIEW_LARGE_ICONS;
  }
}

DWORD ListStyleOfViewMode(uint32_t viewMode) {
  // The first four modes are the list's own styles; Thumbnails is its large icons with
  // thumbnails for images.
  return viewMode == kViewThumbnails ? LVS_ICON : (viewMode & LVS_TYPEMASK);
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
  const uint32_t mode = ViewModeOfCommand(command);
  const bool thumbnails = doc->viewMode == kViewThumbnails;
  doc->viewMode = mode;
  g_settings.windowState.viewMode = mode;
  SetWindowLongA(doc->itemList, GWL_STYLE, static_cast<LONG>(kListBaseStyle | ListStyleOfViewMode(mode)));
  if (thumbnails != (mode == kViewThumbnails)) ShowThumbnailImages(doc);
  if (mode == kViewDetails) FitColumnWidths(doc);
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
  CheckRadioCommand({ID_VIEW_LARGE_ICONS, ID_VIEW_SMALL_ICONS, ID_VIEW_LIST, ID_VIEW_DETAILS, ID_VIEW_THUMBNAILS},
                    command);
}

void SetSortKey(HWND window, WindowDocument* doc, int command) {
  (void)window;
  CheckSortMenuItem(command);
  uint32_t bit = SortKeyOfCommand(command);
  if (bit == 0) bit = kSortByName;
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
