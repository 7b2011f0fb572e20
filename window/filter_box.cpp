#include "window/filter_box.h"

#include <commctrl.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "panes/core/name_pattern.h"
#include "panes/pane_dpi.h"
#include "panes/views.h"
#include "panes/window_document.h"
#include "services/globals.h"
#include "services/splitter.h"
#include "services/subclass.h"
#include "window/folder_status.h"
#include "window/panes.h"

namespace {

// Every filter box shares the edit control's procedure.
WNDPROC g_editProc = nullptr;

// Esc empties the box and gives the list the focus; Enter only gives it the focus; Ctrl+E
// (which led here) and Ctrl+A select the text. None of these keys, nor Tab, reaches the
// control as a character (it would beep or take it as text).
LRESULT CALLBACK FilterBoxProc(HWND box, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_KEYDOWN && (wParam == 'E' || wParam == 'A') && GetKeyState(VK_CONTROL) < 0 &&
      GetKeyState(VK_MENU) >= 0) {
    SendMessageA(box, EM_SETSEL, 0, -1);
    return 0;
  }
  if (msg == WM_CHAR && (wParam == 0x05 || wParam == 0x01)) return 0;  // Ctrl+E, Ctrl+A
  if (msg == WM_KEYDOWN && (wParam == VK_ESCAPE || wParam == VK_RETURN)) {
    WindowDocument* doc = DocumentOf(ArchiveWindowOfPane(box));
    if (doc) {
      if (wParam == VK_ESCAPE) SetWindowTextA(box, "");
      SetFocus(doc->itemList);
    }
    return 0;
  }
  if (msg == WM_KEYDOWN && MoveFocusOnKey(box, wParam)) return 0;
  if (msg == WM_CHAR && (wParam == VK_ESCAPE || wParam == '\r' || wParam == '\t')) return 0;
  return CallWindowProcA(g_editProc, box, msg, wParam, lParam);
}

std::vector<NodeId> SelectedIds(HWND list) {
  std::vector<NodeId> ids;
  for (int i = -1; (i = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, i, LVNI_SELECTED))) != -1;)
    if (const Node* node = ListItemNode(list, i)) ids.push_back(node->id());
  return ids;
}

}  // namespace

bool CreateFilterBox(HWND window, WindowDocument* doc) {
  (void)window;
  doc->filterBox = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
                                   0, 0, 0, 0, doc->previewSplitter,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFilterBoxId)), g_instance, nullptr);
  if (!doc->filterBox || !SubclassWindow(doc->filterBox, FilterBoxProc, &g_editProc)) return false;
  // The hint shows while the box is empty and has no focus (a control of version 6).
  SendMessageW(doc->filterBox, EM_SETCUEBANNER, FALSE, reinterpret_cast<LPARAM>(L"Filter (Ctrl+E)"));
  FitFilterBox(doc);
  return true;
}

void OnFilterChanged(HWND window, WindowDocument* doc) {
  const int length = GetWindowTextLengthA(doc->filterBox);
  std::string typed(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
  typed.resize(static_cast<size_t>(GetWindowTextA(doc->filterBox, &typed[0], length + 1)));
  // Spaces alone filter nothing, as they find nothing.
  if (NamePattern(typed).Empty()) typed.clear();
  if (typed == doc->filterText) return;
  HTREEITEM item = CurrentFolderItem(doc->folderTree);
  const Node* folder = TreeItemNode(doc->folderTree, item);
  if (!folder) return;
  doc->filterText = typed;
  doc->filterFolder = folder->id();
  // The selected items that still show stay selected.
  const std::vector<NodeId> selected = SelectedIds(doc->itemList);
  ShowFolder(window, doc, item);
  for (NodeId id : selected) {
    const int at = FindListItem(doc->itemList, doc->tree->Find(id));
    if (at >= 0) ListView_SetItemState(doc->itemList, at, LVIS_SELECTED, LVIS_SELECTED);
  }
  ShowFolderStatusNow(window);
}

void FocusFilterBox(WindowDocument* doc) {
  if (!doc->filterBox) return;
  SetFocus(doc->filterBox);
  SendMessageA(doc->filterBox, EM_SETSEL, 0, -1);
}
