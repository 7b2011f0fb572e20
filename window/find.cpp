#include "window/find.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/quoted_name.h"
#include "panes/core/name_pattern.h"
#include "panes/views.h"
#include "resources/find_ids.h"
#include "services/dpi.h"
#include "services/globals.h"
#include "services/message_box.h"
#include "services/number_format.h"
#include "panes/preview_pane.h"
#include "window/list_text.h"

namespace {

const char kFindCaption[] = "Find";

// One item found: its name, the folder shown beside it, and the names leading to it from
// the root. The path, not the node, is kept: the node is looked up again when the result is
// chosen, so a result whose item went away meanwhile is refused instead of followed.
struct FoundItem {
  std::string name;
  std::string folder;
  std::vector<std::string> path;
};

struct FindState {
  WindowDocument* doc;
  HWND window = nullptr;
  std::vector<FoundItem> found;
  int chosen = -1;  // the result to show once the dialog is gone
};

// The pattern of the last search, offered again the next time.
std::string g_lastPattern;

// Byte order with ASCII letters folded: the same for every locale, and quick enough to sort
// tens of thousands of results at once.
int CompareFolded(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Results are listed folder by folder ("/" first), each folder's items by name.
bool ListedBefore(const FoundItem& a, const FoundItem& b) {
  const int folder = CompareFolded(a.folder, b.folder);
  return folder != 0 ? folder < 0 : CompareFolded(a.name, b.name) < 0;
}

FindState* StateOf(HWND dialog) { return reinterpret_cast<FindState*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

HWND Results(HWND dialog) { return GetDlgItem(dialog, IDC_FIND_RESULTS); }

std::vector<std::string> PathOf(const Node* node) {
  std::vector<std::string> path;
  for (const Node* n = node; n && n->parent(); n = n->parent()) path.push_back(n->name());
  return std::vector<std::string>(path.rbegin(), path.rend());
}

void AddColumn(HWND list, int index, const char* title, int width) {
  LVCOLUMNA column = {};
  column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  column.pszText = const_cast<char*>(title);
  column.cx = width;
  column.iSubItem = index;
  SendMessageA(list, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
}

void UpdateShowButton(HWND dialog) {
  const bool selected = SendMessageA(Results(dialog), LVM_GETSELECTEDCOUNT, 0, 0) > 0;
  EnableWindow(GetDlgItem(dialog, IDC_FIND_SHOW), selected);
}

void ShowCount(HWND dialog, size_t count) {
  char text[96];
  if (count == 0) {
    std::snprintf(text, sizeof text, "No items found.");
  } else {
    char number[64];
    if (FormatUserNumber(static_cast<uint32_t>(count), number, sizeof number) == 0)
      std::snprintf(number, sizeof number, "%u", static_cast<unsigned>(count));
    std::snprintf(text, sizeof text, count == 1 ? "%s item found." : "%s items found.", number);
  }
  SetDlgItemTextA(dialog, IDC_FIND_STATUS, text);
}

void RunSearch(HWND dialog, FindState* state) {
  char typed[1024] = {};
  GetDlgItemTextA(dialog, IDC_FIND_PATTERN, typed, sizeof typed);
  g_lastPattern = typed;
  const NamePattern pattern(typed);
  HWND list = Results(dialog);
  SendMessageA(list, LVM_SETITEMCOUNT, 0, 0);
  state->found.clear();
  if (pattern.Empty()) {
    SetDlgItemTextA(dialog, IDC_FIND_STATUS, "Type a name or a pattern such as *.wav.");
    UpdateShowButton(dialog);
    return;
  }
  const std::vector<const Node*> nodes = FindMatchingNodes(state->doc->root(), pattern);
  state->found.reserve(nodes.size());
  // Results come folder by folder, so a folder's text is made once for the run of its items.
  const Node* lastParent = nullptr;
  std::string folder;
  for (const Node* node : nodes) {
    if (node->parent() != lastParent) {
      lastParent = node->parent();
      folder = FolderPathOf(node);
    }
    state->found.push_back(FoundItem{node->name(), folder, PathOf(node)});
  }
  std::sort(state->found.begin(), state->found.end(), ListedBefore);
  SendMessageA(list, LVM_SETITEMCOUNT, state->found.size(), 0);
  if (!state->found.empty()) {
    LVITEMA item = {};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&item));
  }
  ShowCount(dialog, state->found.size());
  UpdateShowButton(dialog);
}

void Choose(HWND dialog, FindState* state, int index) {
  if (index < 0 || static_cast<size_t>(index) >= state->found.size()) return;
  state->chosen = index;
  EndDialog(dialog, IDOK);
}

int SelectedResult(HWND dialog) {
  return static_cast<int>(SendMessageA(Results(dialog), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

// Enter: in the results it chooses the selected one, anywhere else it searches.
void OnEnter(HWND dialog, FindState* state) {
  if (GetFocus() == Results(dialog) && SelectedResult(dialog) >= 0) {
    Choose(dialog, state, SelectedResult(dialog));
    return;
  }
  RunSearch(dialog, state);
}

// The owner-data list asks for each text it draws.
template <typename Info>
void AnswerDisplayInfo(FindState* state, Info* info) {
  const int index = info->item.iItem;
  const bool known = index >= 0 && static_cast<size_t>(index) < state->found.size();
  const FoundItem* found = known ? &state->found[static_cast<size_t>(index)] : nullptr;
  GiveListText(info, !found ? std::string() : info->item.iSubItem == 0 ? found->name : found->folder);
}

Node* NodeAt(Node* root, const std::vector<std::string>& path);

// The preview pane, where it shows, follows the result that takes the focus.
void PreviewFocusedResult(FindState* state, const NMLISTVIEW* change) {
  if (change->iItem < 0 || !(change->uChanged & LVIF_STATE) || !(change->uNewState & LVIS_FOCUSED) ||
      (change->uOldState & LVIS_FOCUSED) || static_cast<size_t>(change->iItem) >= state->found.size())
    return;
  if (Node* node = NodeAt(state->doc->root(), state->found[static_cast<size_t>(change->iItem)].path))
    PreviewNode(state->window, state->doc, node);
}

LRESULT OnNotify(HWND dialog, FindState* state, NMHDR* header) {
  if (header->idFrom != IDC_FIND_RESULTS) return 0;
  switch (header->code) {
    case LVN_GETDISPINFOA: AnswerDisplayInfo(state, reinterpret_cast<NMLVDISPINFOA*>(header)); return 0;
    case LVN_GETDISPINFOW: AnswerDisplayInfo(state, reinterpret_cast<NMLVDISPINFOW*>(header)); return 0;
    case LVN_ITEMCHANGED:
      UpdateShowButton(dialog);
      PreviewFocusedResult(state, reinterpret_cast<const NMLISTVIEW*>(header));
      return 0;
    case NM_DBLCLK: Choose(dialog, state, reinterpret_cast<NMITEMACTIVATE*>(header)->iItem); return 0;
  }
  return 0;
}

BOOL OnInitDialog(HWND dialog, FindState* state) {
  SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
  HWND list = Results(dialog);
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  RECT client = {};
  GetClientRect(list, &client);
  const int nameWidth = (client.right - client.left) * 2 / 5;
  AddColumn(list, 0, "Name", nameWidth);
  AddColumn(list, 1, "Folder", client.right - client.left - nameWidth - MetricForDpi(SM_CXVSCROLL, WindowDpi(dialog)));
  HWND edit = GetDlgItem(dialog, IDC_FIND_PATTERN);
  SendMessageA(edit, EM_LIMITTEXT, 1000, 0);
  SetWindowTextA(edit, g_lastPattern.c_str());
  SendMessageA(edit, EM_SETSEL, 0, -1);
  SetFocus(edit);
  return FALSE;  // the focus was set here
}

INT_PTR CALLBACK FindDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  FindState* state = StateOf(dialog);
  switch (message) {
    case WM_INITDIALOG: return OnInitDialog(dialog, reinterpret_cast<FindState*>(lParam));
    case WM_NOTIFY:
      if (state) SetWindowLongPtrA(dialog, DWLP_MSGRESULT, OnNotify(dialog, state, reinterpret_cast<NMHDR*>(lParam)));
      return TRUE;
    case WM_COMMAND:
      if (!state) return FALSE;
      switch (LOWORD(wParam)) {
        case IDOK: OnEnter(dialog, state); return TRUE;
        case IDC_FIND_SHOW: Choose(dialog, state, SelectedResult(dialog)); return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

// The node at a path of names from the root, or null when one of them is gone.
Node* NodeAt(Node* root, const std::vector<std::string>& path) {
  Node* node = root;
  for (const std::string& name : path) {
    node = FindChildNamed(node, name);
    if (!node) return nullptr;
  }
  return node == root ? nullptr : node;
}

void ShowFound(HWND window, WindowDocument* doc, const FoundItem& found) {
  Node* node = NodeAt(doc->root(), found.path);
  if (!node || !ShowNodeInPanes(doc, node)) {
    std::string text = PrintableName(found.name) + " is no longer in " + PrintableName(found.folder) + ".";
    ShowErrorMessage(window, text.c_str(), kFindCaption);
    return;
  }
  SetFocus(doc->itemList);
}

void SelectOnly(HWND list, int index) {
  LVITEMA item = {};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  SendMessageA(list, LVM_SETSELECTIONMARK, 0, index);
  SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
}

}  // namespace

bool ShowNodeInPanes(WindowDocument* doc, const Node* node) {
  HTREEITEM folderItem = node && node->parent() ? FolderItemOf(doc, node->parent()) : nullptr;
  if (!folderItem) return false;
  SendMessageA(doc->folderTree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(folderItem));
  SendMessageA(doc->folderTree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(folderItem));
  const int index = FindListItem(doc->itemList, node);
  if (index >= 0) SelectOnly(doc->itemList, index);
  return true;
}

void FindInArchive(HWND window, WindowDocument* doc) {
  if (!doc || !doc->root()) return;
  FindState state;
  state.doc = doc;
  state.window = window;
  const INT_PTR answer = DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_FIND), window, FindDialogProc,
                                         reinterpret_cast<LPARAM>(&state));
  if (answer != IDOK || state.chosen < 0) return;
  ShowFound(window, doc, state.found[static_cast<size_t>(state.chosen)]);
}
