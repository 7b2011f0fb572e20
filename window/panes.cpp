#include "window/panes.h"

#include <commctrl.h>

#include "window/view_entry.h"
#include "resources/command_ids.h"
#include "services/dpi.h"
#include "services/globals.h"
#include "services/settings.h"
#include "services/splitter.h"
#include "window/archive_window.h"
#include "window/command_state.h"
#include "window/context_menu.h"
#include "panes/pane_dpi.h"
#include "panes/preview_pane.h"
#include "panes/views.h"

namespace {

LRESULT TreeDefault(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcA(g_treeViewProc, hwnd, msg, wParam, lParam);
}

LRESULT ListDefault(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcA(g_listViewProc, hwnd, msg, wParam, lParam);
}

// What the list shows moved: the thumbnails come in the order of what is in view then.
LRESULT ScrollList(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = ListDefault(hwnd, msg, wParam, lParam);
  if (WindowDocument* doc = DocumentOf(ArchiveWindowOfPane(hwnd))) ScheduleListScrolled(doc);
  return result;
}

void OnPaneFocused(HWND pane) {
  HWND window = ArchiveWindowOfPane(pane);
  if (WindowDocument* doc = DocumentOf(window)) {
    doc->focusedPane = pane;
    UpdateCommandState(window, doc);
  }
}

// Backspace goes up a folder from either pane, as the Up command does.
bool GoUpFromPane(HWND pane) {
  WindowDocument* doc = DocumentOf(ArchiveWindowOfPane(pane));
  if (!doc) return false;
  GoUp(doc);
  return true;
}

LRESULT OnTreeKeyDown(HWND hwnd, WPARAM wParam, LPARAM lParam) {
  if (wParam == VK_BACK && GoUpFromPane(hwnd)) return 0;
  if (MoveFocusOnKey(hwnd, wParam)) return 0;
  return TreeDefault(hwnd, WM_KEYDOWN, wParam, lParam);
}

void OnHeaderChanged(HWND list, const NMHDR* header) {
  if (header->code != HDN_ITEMCHANGEDA && header->code != HDN_ITEMCHANGEDW) return;
  // The A and W forms share their layout up to the item pointer; only the width is read.
  const NMHEADERA* nm = reinterpret_cast<const NMHEADERA*>(header);
  if (nm->pitem && (nm->pitem->mask & HDI_WIDTH))
    RememberColumnWidth(DocumentOf(ArchiveWindowOfPane(list)), nm->iItem, nm->pitem->cxy);
}

// The folder pane's width for new windows, in 96-DPI units as the settings keep it.
void RememberFolderPaneWidth(HWND tree) {
  g_settings.windowState.folderPaneWidth =
      static_cast<uint16_t>(ScaleFromDpi(GetSplitterPosition(GetParent(tree)), WindowDpi(tree)));
}

void SetEverySelection(HWND list, bool invert) {
  SetFocus(list);
  int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    UINT state = LVIS_SELECTED;
    if (invert) {
      state = static_cast<UINT>(SendMessageA(list, LVM_GETITEMSTATE, i, LVIS_SELECTED)) ^ LVIS_SELECTED;
    }
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = state;
    SendMessageA(list, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&item));
  }
}

LRESULT OnListCommand(HWND hwnd, WPARAM wParam, LPARAM lParam) {
  switch (LOWORD(wParam)) {
    case ID_EDIT_SELECT_ALL: SetEverySelection(hwnd, false); return 0;
    case ID_EDIT_INVERT_SELECTION: SetEverySelection(hwnd, true); return 0;
  }
  ListDefault(hwnd, WM_COMMAND, wParam, lParam);
  return 0;
}

LRESULT OnListKeyDown(HWND hwnd, WPARAM wParam, LPARAM lParam) {
  if (wParam == VK_BACK && GoUpFromPane(hwnd)) return 0;
  if (MoveFocusOnKey(hwnd, wParam)) return 0;
  if (wParam != VK_RETURN) return ScrollList(hwnd, WM_KEYDOWN, wParam, lParam);
  int index = static_cast<int>(
      SendMessageA(hwnd, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED | LVNI_SELECTED));
  if (index >= 0) OpenListItem(hwnd, index);
  return 0;
}

LRESULT OnListDoubleClick(HWND hwnd, LPARAM lParam) {
  LVHITTESTINFO hit = {};
  hit.pt.x = static_cast<short>(LOWORD(lParam));
  hit.pt.y = static_cast<short>(HIWORD(lParam));
  int index = static_cast<int>(SendMessageA(hwnd, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  if (index >= 0 && (hit.flags & LVHT_ONITEM)) OpenListItem(hwnd, index);
  return 0;
}

// The context menu of a pane, at a point on the screen or, for -1, at its selection. The
// panes take WM_CONTEXTMENU themselves: passed up through the splitter, the message would
// name the splitter instead of the pane.
bool ShowPaneMenu(HWND pane, LPARAM at) {
  HWND window = ArchiveWindowOfPane(pane);
  return OnPaneContextMenu(window, DocumentOf(window), pane, at);
}

// Shift+F10 and the Menu key open the pane's context menu when they are let go. Both strokes
// are the pane's: the controls pass neither on to where the system would make a menu of
// them (the tree not at all), and one that reached it would open a second menu.
bool OnContextMenuKey(HWND pane, UINT msg, WPARAM key) {
  const bool shiftF10 = key == VK_F10 && GetKeyState(VK_SHIFT) < 0 && (msg == WM_SYSKEYDOWN || msg == WM_SYSKEYUP);
  const bool menuKey = key == VK_APPS && (msg == WM_KEYDOWN || msg == WM_KEYUP);
  if (!shiftF10 && !menuKey) return false;
  if (msg == WM_SYSKEYUP || msg == WM_KEYUP) ShowPaneMenu(pane, -1);
  return true;
}

// A right click on the list's header chooses the columns it shows: its menu, not the
// items' one.
bool OnHeaderContextMenu(HWND list, WPARAM from, LPARAM at) {
  HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
  if (!header || reinterpret_cast<HWND>(from) != header) return false;
  HWND window = ArchiveWindowOfPane(list);
  WindowDocument* doc = DocumentOf(window);
  if (!doc) return true;
  POINT p = {static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
  if (at == -1) {
    RECT rc;
    GetWindowRect(header, &rc);
    p = {rc.left, rc.bottom};
  }
  ShowHeaderMenu(window, doc, p);
  return true;
}

}  // namespace

bool MoveFocusOnKey(HWND from, WPARAM key) {
  if ((key != VK_TAB && key != VK_F6) || GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0 || !from)
    return false;
  // The preview pane's controls sit below it; the tree's and the list's edit boxes (a name
  // being typed) keep their keys.
  HWND above = GetParent(from);
  HWND window = ArchiveWindowOfPane(from);
  WindowDocument* doc = DocumentOf(window);
  if (!doc) doc = DocumentOf(ArchiveWindowOfPane(above));
  if (!doc) return false;
  HWND preview = PreviewFocusTarget(doc);
  const HWND stops[] = {doc->folderTree, doc->filterBox, doc->itemList, preview};
  constexpr int kStops = sizeof stops / sizeof stops[0];
  int at = -1;
  for (int i = 0; i < kStops; ++i) {
    if (stops[i] && stops[i] == from) at = i;
  }
  if (at < 0 && preview && (from == doc->previewPane || above == doc->previewPane)) at = kStops - 1;
  if (at < 0) return false;
  const int step = GetKeyState(VK_SHIFT) < 0 ? kStops - 1 : 1;
  for (int i = (at + step) % kStops; i != at; i = (i + step) % kStops) {
    if (stops[i] && IsWindowVisible(stops[i])) {
      SetFocus(stops[i]);
      return true;
    }
  }
  return true;
}

int SelectedListItem(HWND list) {
  int index = static_cast<int>(
      SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED | LVNI_SELECTED));
  if (index >= 0) return index;
  return static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void OpenListItem(HWND list, int index) {
  Node* node = ListItemNode(list, index);
  HWND window = ArchiveWindowOfPane(list);
  WindowDocument* doc = DocumentOf(window);
  if (!node || !doc) return;
  if (node->IsDirectory())
    SendMessageA(doc->folderTree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(FolderItemOf(doc, node)));
  else
    ViewEntry(window, node);
}

LRESULT CALLBACK FolderTreePaneProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (OnContextMenuKey(hwnd, msg, wParam)) return 0;
  switch (msg) {
    case WM_SIZE:
      RememberFolderPaneWidth(hwnd);
      break;
    case WM_SETFOCUS:
      OnPaneFocused(hwnd);
      break;
    case WM_KEYDOWN: return OnTreeKeyDown(hwnd, wParam, lParam);
    case WM_CHAR:
      // The Tab that moved the focus is no letter of an item's name to look for.
      if (wParam == '\t') return 0;
      break;
    case WM_CONTEXTMENU:
      if (ShowPaneMenu(hwnd, lParam)) return 0;
      break;
  }
  return TreeDefault(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK ItemListPaneProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (OnContextMenuKey(hwnd, msg, wParam)) return 0;
  switch (msg) {
    case WM_SETFOCUS:
      OnPaneFocused(hwnd);
      break;
    case WM_NOTIFY:
      OnHeaderChanged(hwnd, reinterpret_cast<const NMHDR*>(lParam));
      break;
    case WM_KEYDOWN: return OnListKeyDown(hwnd, wParam, lParam);
    case WM_CHAR:
      if (wParam == '\t') return 0;
      break;
    case WM_LBUTTONDBLCLK: return OnListDoubleClick(hwnd, lParam);
    case WM_COMMAND: return OnListCommand(hwnd, wParam, lParam);
    case WM_CONTEXTMENU:
      if (OnHeaderContextMenu(hwnd, wParam, lParam) || ShowPaneMenu(hwnd, lParam)) return 0;
      break;
    case WMU_LIST_WORK_DONE:
      OnListWorkDone(hwnd, wParam);
      return 0;
    case WM_VSCROLL:
    case WM_MOUSEWHEEL:
    case WM_SIZE:
      return ScrollList(hwnd, msg, wParam, lParam);
  }
  return ListDefault(hwnd, msg, wParam, lParam);
}
