#include "window/notifications.h"

#include <commctrl.h>

#include "resources/command_ids.h"
#include "window/archive_window.h"
#include "window/command_state.h"
#include "window/context_menu.h"
#include "window/drag_out.h"
#include "window/folder_status.h"
#include "window/rename.h"
#include "panes/pane_dpi.h"
#include "panes/preview_pane.h"
#include "panes/views.h"

namespace {

// Collapsing a folder above the shown one hides the shown one: the collapsed folder becomes
// the current folder first (and is shown), so the list never shows a folder the tree hides.
void SelectCollapsingAncestor(HWND tree, const NMTREEVIEWA* change) {
  if ((change->action & (TVE_COLLAPSE | TVE_EXPAND)) != TVE_COLLAPSE) return;
  HTREEITEM collapsing = change->itemNew.hItem;
  HTREEITEM caret = CurrentFolderItem(tree);
  if (!collapsing || caret == collapsing) return;
  for (HTREEITEM up = caret; up;
       up = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(up)))) {
    if (up == collapsing) {
      SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(collapsing));
      return;
    }
  }
}

LRESULT OnFolderTreeNotify(HWND window, WindowDocument* doc, NMHDR* header) {
  switch (header->code) {
    case TVN_BEGINLABELEDITA:
    case TVN_BEGINLABELEDITW: {
      // The root keeps its name: it is the one item whose parent is the top level.
      auto* info = reinterpret_cast<NMTVDISPINFOA*>(header);
      const auto* node = reinterpret_cast<const Node*>(info->item.lParam);
      if ((node && node->IsRoot()) || IsGameFolderView(doc)) return TRUE;
      OnFolderLabelEditBegun(doc);
      return FALSE;
    }
    case TVN_ENDLABELEDITA:
      return OnFolderLabelEdited(window, doc, reinterpret_cast<NMTVDISPINFOA*>(header));
    case TVN_BEGINDRAGA:
      return OnBeginTreeDrag(window, doc, reinterpret_cast<NMTREEVIEWA*>(header));
    case TVN_ITEMEXPANDINGA:
    case TVN_ITEMEXPANDINGW:
      SelectCollapsingAncestor(doc->folderTree, reinterpret_cast<NMTREEVIEWA*>(header));
      return FALSE;
    case TVN_SELCHANGEDA:
    case TVN_SELCHANGEDW:
      ShowFolder(window, doc, reinterpret_cast<NMTREEVIEWA*>(header)->itemNew.hItem);
      PreviewFocusedItemSoon(doc);
      UpdateCommandState(window, doc);  // the root cannot be renamed
      ScheduleFolderStatus(window);
      return 0;
  }
  return 0;
}

void OnListItemChanged(HWND window, WindowDocument* doc, const NMLISTVIEW* change) {
  if (change->iItem != -1) {
    if (!doc->listInBulk) UpdateCommandState(window, doc);
    // The preview follows the focus: the item that gains it, or the folder when it goes.
    if ((change->uChanged & LVIF_STATE) && ((change->uNewState ^ change->uOldState) & LVIS_FOCUSED))
      PreviewFocusedItemSoon(doc);
    if (change->uChanged & LVIF_STATE) ScheduleFolderStatus(window);
    return;
  }
  int width = static_cast<int>(SendMessageA(doc->itemList, LVM_GETCOLUMNWIDTH, change->iSubItem, 0));
  RememberColumnWidth(doc, change->iSubItem, width);
}

LRESULT OnItemListNotify(HWND window, WindowDocument* doc, NMHDR* header) {
  switch (header->code) {
    case LVN_GETDISPINFOA:
      AnswerListDisplayInfo(reinterpret_cast<NMLVDISPINFOA*>(header));
      return 0;
    case LVN_BEGINDRAG:
      return OnBeginListDrag(window, doc);
    case LVN_COLUMNCLICK: {
      int command = SortCommandOfColumn(ColumnAt(doc, reinterpret_cast<NMLISTVIEW*>(header)->iSubItem));
      if (command) SendMessageA(window, WM_COMMAND, command, 0);
      return 0;
    }
    case LVN_BEGINLABELEDITA:
      if (IsGameFolderView(doc)) return TRUE;
      OnItemLabelEditBegun(doc, reinterpret_cast<NMLVDISPINFOA*>(header));
      return FALSE;
    case LVN_ENDLABELEDITA:
      return OnItemLabelEdited(window, doc, reinterpret_cast<NMLVDISPINFOA*>(header));
    case LVN_ITEMCHANGED:
      OnListItemChanged(window, doc, reinterpret_cast<NMLISTVIEW*>(header));
      return 0;
    case LVN_INSERTITEM:
    case LVN_DELETEITEM:
    case LVN_DELETEALLITEMS:
      ScheduleFolderStatus(window);
      return 0;
  }
  return 0;
}

}  // namespace

LRESULT OnArchiveNotify(HWND window, WindowDocument* doc, NMHDR* header) {
  if (!doc || !header) return 0;
  if (header->code == NM_RCLICK && (header->hwndFrom == doc->folderTree || header->hwndFrom == doc->itemList)) {
    // A right click opens the pane's context menu where it was made; answered, so that the
    // pane sends no WM_CONTEXTMENU of its own after it.
    return OnPaneContextMenu(window, doc, header->hwndFrom, static_cast<LPARAM>(GetMessagePos())) ? TRUE : FALSE;
  }
  if (header->hwndFrom == doc->folderTree) return OnFolderTreeNotify(window, doc, header);
  if (header->hwndFrom == doc->itemList) return OnItemListNotify(window, doc, header);
  return 0;
}
