#include "window/context_menu.h"

#include <commctrl.h>

#include <cstring>

#include "resources/command_ids.h"
#include "resources/shell_ids.h"
#include "services/globals.h"
#include "panes/views.h"
#include "window/archive_window.h"
#include "window/command_state.h"
#include "window/folder_status.h"
#include "window/panes.h"

namespace {

// Where a context menu opens and whether it is about items or about the folder's space.
struct MenuPlace {
  POINT at;
  bool onItems;
};

void SelectOnlyListItem(HWND list, int index) {
  LVITEMA item = {};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
  if (index < 0) return;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

POINT ScreenPoint(HWND pane, LONG x, LONG y) {
  POINT p = {x, y};
  ClientToScreen(pane, &p);
  return p;
}

// From the keyboard the menu opens at the selected item, else at the pane's corner. A right
// click on an item that is not selected selects it alone; one beside the items clears the
// selection, as the menu then speaks of the folder.
MenuPlace PlaceInList(HWND list, LPARAM at) {
  if (at == -1) {
    int index = SelectedListItem(list);
    RECT rc = {};
    rc.left = LVIR_LABEL;
    if (index >= 0) SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rc));
    return {ScreenPoint(list, rc.left, rc.bottom), index >= 0};
  }
  MenuPlace place = {{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))}, false};
  LVHITTESTINFO hit = {};
  hit.pt = place.at;
  ScreenToClient(list, &hit.pt);
  int index = static_cast<int>(SendMessageA(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  place.onItems = index >= 0 && (hit.flags & LVHT_ONITEM);
  if (!place.onItems) {
    SelectOnlyListItem(list, -1);
  } else if (!SendMessageA(list, LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_SELECTED)) {
    SelectOnlyListItem(list, index);
  }
  return place;
}

// A right click on a folder makes it the current folder, which the menu's commands act on.
MenuPlace PlaceInTree(HWND tree, LPARAM at) {
  if (at == -1) {
    HTREEITEM caret = CurrentFolderItem(tree);
    RECT rc = {};
    std::memcpy(&rc, &caret, sizeof caret);  // TVM_GETITEMRECT takes the item in the rectangle
    if (caret) SendMessageA(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rc));
    return {ScreenPoint(tree, rc.left, rc.bottom), caret != nullptr};
  }
  MenuPlace place = {{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))}, false};
  TVHITTESTINFO hit = {};
  hit.pt = place.at;
  ScreenToClient(tree, &hit.pt);
  auto item = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  place.onItems = item && (hit.flags & TVHT_ONITEM);
  if (place.onItems) SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
  return place;
}

bool MainMenuEnables(int command) {
  return !(GetMenuState(g_mainMenu, command, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED));
}

// Each entry takes the state its main-menu command has; View goes with Export, as both
// need a selected item.
void EnableLikeMainMenu(HMENU popup) {
  int count = GetMenuItemCount(popup);
  for (int i = 0; i < count; ++i) {
    int command = static_cast<int>(GetMenuItemID(popup, i));
    if (command <= 0) continue;
    bool enable = MainMenuEnables(command == ID_OBJECT_VIEW ? ID_OBJECT_EXPORT : command);
    EnableMenuItem(popup, i, MF_BYPOSITION | (enable ? MF_ENABLED : MF_GRAYED));
    // Undo and Redo are named after the step they take, as in the main menu.
    if (command == ID_EDIT_UNDO || command == ID_EDIT_REDO) {
      char text[256] = {};
      if (GetMenuStringA(g_mainMenu, command, text, sizeof text, MF_BYCOMMAND) > 0)
        ModifyMenuA(popup, i, MF_BYPOSITION | MF_STRING | (enable ? MF_ENABLED : MF_GRAYED), command, text);
    }
  }
}

}  // namespace

bool OnPaneContextMenu(HWND window, WindowDocument* doc, HWND pane, LPARAM at) {
  if (!doc || (pane != doc->itemList && pane != doc->folderTree)) return false;
  SetFocus(pane);
  MenuPlace place = pane == doc->itemList ? PlaceInList(pane, at) : PlaceInTree(pane, at);
  UpdateCommandState(window, doc);
  // A right click on a folder has just shown it: the bar counts it before the menu opens.
  ShowFolderStatusNow(window);
  HMENU menus = LoadMenuA(g_instance, MAKEINTRESOURCEA(IDR_CONTEXT_MENUS));
  if (!menus) return true;
  HMENU popup = GetSubMenu(menus, place.onItems ? CONTEXT_MENU_ITEMS : CONTEXT_MENU_SPACE);
  // Only a game folder's files lie in an archive of their own.
  if (!IsGameFolderView(doc)) DeleteMenu(popup, ID_OBJECT_SHOW_IN_ARCHIVE, MF_BYCOMMAND);
  EnableLikeMainMenu(popup);
  // The frame owns the menu so that the status bar shows each entry's help.
  int command = TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, place.at.x, place.at.y, 0,
                               g_frameWindow, nullptr);
  DestroyMenu(menus);
  if (command) SendMessageA(window, WM_COMMAND, command, 0);
  return true;
}

void ViewSelectedItem(WindowDocument* doc) {
  HWND focus = GetFocus();
  if (focus == doc->folderTree) {
    SetFocus(doc->itemList);
    return;
  }
  if (focus != doc->itemList) return;
  int index = SelectedListItem(doc->itemList);
  if (index >= 0) OpenListItem(doc->itemList, index);
}
