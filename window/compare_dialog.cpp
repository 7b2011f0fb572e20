#include "window/compare_dialog.h"

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "archive/disk.h"
#include "archive/quoted_name.h"
#include "archive/tree.h"
#include "panes/window_document.h"
#include "resources/compare_ids.h"
#include "services/core/archive_text.h"
#include "services/globals.h"
#include "services/message_box.h"
#include "services/number_format.h"
#include "window/compare_patch_save.h"
#include "window/find.h"
#include "window/list_text.h"

namespace {

const char kCompareCaption[] = "Compare";

// The filter's rows: which kinds each shows. The differences (the first row, shown first)
// are everything but the same files.
constexpr unsigned Bit(CompareKind kind) { return 1u << static_cast<unsigned>(kind); }
constexpr unsigned kEveryKind = (1u << kCompareKinds) - 1;
struct FilterRow {
  const char* text;
  unsigned kinds;
};
const FilterRow kFilterRows[] = {
    {"Differences", kEveryKind & ~Bit(CompareKind::Same)},
    {"All files", kEveryKind},
    {"Added", Bit(CompareKind::Added)},
    {"Removed", Bit(CompareKind::Removed)},
    {"Changed", Bit(CompareKind::Changed)},
    {"The same", Bit(CompareKind::Same)},
    {"Unreadable", Bit(CompareKind::Unreadable)},
};

enum Column { kPathColumn, kKindColumn, kSizeAColumn, kSizeBColumn, kNoteColumn };

struct CompareState {
  CompareOutcome* outcome;
  // The items the filter shows, as indexes into the comparison's items.
  std::vector<uint32_t> shown;
};

CompareState* StateOf(HWND dialog) { return reinterpret_cast<CompareState*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

HWND Items(HWND dialog) { return GetDlgItem(dialog, IDC_COMPARE_ITEMS); }

const char* KindText(CompareKind kind) {
  switch (kind) {
    case CompareKind::Added: return "added";
    case CompareKind::Removed: return "removed";
    case CompareKind::Changed: return "changed";
    case CompareKind::Same: return "the same";
    case CompareKind::Unreadable: return "unreadable";
  }
  return "";
}

std::string Number(uint64_t value) {
  char text[64];
  if (FormatUserNumber(value, text, sizeof text) == 0)
    std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(value));
  return text;
}

// "3 added, 1 removed, 2 changed, 340 the same", and the unreadable ones when there are any.
std::string CountsText(const Comparison& comparison) {
  std::string text;
  for (CompareKind kind : {CompareKind::Added, CompareKind::Removed, CompareKind::Changed, CompareKind::Same}) {
    if (!text.empty()) text += ", ";
    text += Number(comparison.Count(kind)) + " " + KindText(kind);
  }
  if (comparison.Count(CompareKind::Unreadable) > 0)
    text += ", " + Number(comparison.Count(CompareKind::Unreadable)) + " unreadable";
  return text;
}

// What the comparison could not look at, which the list cannot show; or that there is no
// difference at all, which an empty list of differences would leave to guess.
std::string LimitsText(const Comparison& comparison) {
  if (comparison.Identical()) return "A and B hold the same files.";
  std::string text;
  const size_t folders = comparison.unreadableFolders.size();
  if (folders > 0)
    text = Number(folders) + (folders == 1 ? " folder of B could not be read" : " folders of B could not be read") +
           ": what they hold is not compared.";
  const size_t twins = comparison.caseTwins.size();
  if (twins > 0)
    text += std::string(text.empty() ? "" : " ") + Number(twins) +
            (twins == 1 ? " file of B is" : " files of B are") +
            " left out: another file of its folder has the same name but for case.";
  return text;
}

std::string SidesText(const CompareOutcome& outcome) {
  const char* path = DocumentPath(outcome.doc);
  std::string a = path ? path : TitleWithoutMark(outcome.window);
  if (outcome.doc->modified) a += " (as edited here)";
  return "A: " + a + "\nB: " + outcome.pathB + (outcome.folderB ? " (folder)" : outcome.gameFolderB ? " (game folder)" : "");
}

std::string CellText(const ComparedItem& item, int column) {
  switch (column) {
    case kPathColumn: return item.path;
    case kKindColumn: return KindText(item.kind);
    case kSizeAColumn: return item.a.present() ? Number(item.a.size) : std::string();
    case kSizeBColumn: return item.b.present() ? Number(item.b.size) : std::string();
    case kNoteColumn:
      if (item.kind != CompareKind::Unreadable) return std::string();
      return std::string(item.failedInA ? "in A: " : "in B: ") + FailureReason(item.failure);
  }
  return std::string();
}

template <typename Info>
void AnswerDisplayInfo(CompareState* state, Info* info) {
  const int row = info->item.iItem;
  std::string text;
  if (row >= 0 && static_cast<size_t>(row) < state->shown.size()) {
    const Comparison& comparison = state->outcome->comparison;
    text = CellText(comparison.items[state->shown[static_cast<size_t>(row)]], info->item.iSubItem);
  }
  GiveListText(info, text);
}

int SelectedRow(HWND dialog) {
  return static_cast<int>(SendMessageA(Items(dialog), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void UpdateShowButton(HWND dialog) { EnableWindow(GetDlgItem(dialog, IDC_COMPARE_SHOW), SelectedRow(dialog) >= 0); }

// Lists the items of the kinds the filter's row shows, the first one selected.
void ApplyFilter(HWND dialog, CompareState* state) {
  LRESULT row = SendDlgItemMessageA(dialog, IDC_COMPARE_FILTER, CB_GETCURSEL, 0, 0);
  if (row < 0 || static_cast<size_t>(row) >= sizeof kFilterRows / sizeof kFilterRows[0]) row = 0;
  const unsigned kinds = kFilterRows[row].kinds;
  const std::vector<ComparedItem>& items = state->outcome->comparison.items;
  state->shown.clear();
  for (size_t i = 0; i < items.size(); ++i)
    if (kinds & Bit(items[i].kind)) state->shown.push_back(static_cast<uint32_t>(i));
  HWND list = Items(dialog);
  SendMessageA(list, LVM_SETITEMCOUNT, state->shown.size(), 0);
  if (!state->shown.empty()) {
    LVITEMA item = {};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&item));
    SendMessageA(list, LVM_ENSUREVISIBLE, 0, FALSE);
  }
  InvalidateRect(list, nullptr, TRUE);
  UpdateShowButton(dialog);
}

// The node at a stored path of files and folders ("maps/e1m1.bsp"), or null.
Node* NodeAtPath(Node* root, const std::string& path) {
  Node* node = root;
  for (size_t start = 0; node && start < path.size();) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    node = FindChildNamed(node, path.substr(start, slash - start));
    start = slash + 1;
  }
  return node == root ? nullptr : node;
}

void Activate(HWND window) {
  if (ActiveMdiChild() != window) SendMessageA(g_mdiClient, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(window), 0);
}

// An item of A is shown in the compared window; one only in B in the window that shows B's
// archive, if one does. The dialog stays, and keeps the focus.
void ShowItem(HWND dialog, CompareState* state, int row) {
  if (row < 0 || static_cast<size_t>(row) >= state->shown.size()) return;
  const CompareOutcome& outcome = *state->outcome;
  const ComparedItem& item = outcome.comparison.items[state->shown[static_cast<size_t>(row)]];
  OwnedMessageBox box(dialog);
  if (item.a.present()) {
    const Node* node = outcome.doc->tree ? outcome.doc->tree->Find(item.a.node) : nullptr;
    Activate(outcome.window);
    if (!node || !ShowNodeInPanes(outcome.doc, node))
      box.ShowMessage((PrintableName(item.path) + " is no longer in the archive.").c_str(), kCompareCaption,
                      MessageIcon::Information);
    return;
  }
  std::string text = PrintableName(item.path) + " is only in " + outcome.pathB;
  if (outcome.folderB) {
    box.ShowMessage((text + ", the folder compared with.").c_str(), kCompareCaption, MessageIcon::Information);
    return;
  }
  HWND other = FindArchiveWindow(outcome.window, [&](const WindowDocument* doc) {
    const char* path = DocumentPath(doc);
    return path && SameDiskFile(path, outcome.pathB);
  });
  WindowDocument* otherDoc = DocumentOf(other);
  Node* node = otherDoc ? NodeAtPath(otherDoc->root(), item.path) : nullptr;
  if (node && node->IsFile()) {
    Activate(other);
    if (ShowNodeInPanes(otherDoc, node)) return;
  }
  text += other                 ? ", and its window no longer holds it."
          : outcome.gameFolderB ? ". Open that game folder to see it there."
                                : ". Open that archive to see it there.";
  box.ShowMessage(text.c_str(), kCompareCaption, MessageIcon::Information);
}

void AddColumn(HWND list, int index, const char* title, int width, int format = LVCFMT_LEFT) {
  LVCOLUMNA column = {};
  column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
  column.fmt = format;
  column.pszText = const_cast<char*>(title);
  column.cx = width;
  column.iSubItem = index;
  SendMessageA(list, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
}

void AddColumns(HWND list) {
  RECT client = {};
  GetClientRect(list, &client);
  const int width = client.right - client.left - GetSystemMetrics(SM_CXVSCROLL);
  AddColumn(list, kPathColumn, "Path", width * 40 / 100);
  AddColumn(list, kKindColumn, "Kind", width * 14 / 100);
  AddColumn(list, kSizeAColumn, "Size in A", width * 14 / 100, LVCFMT_RIGHT);
  AddColumn(list, kSizeBColumn, "Size in B", width * 14 / 100, LVCFMT_RIGHT);
  AddColumn(list, kNoteColumn, "Note", width - 3 * (width * 14 / 100) - width * 40 / 100);
}

void SaveDifferences(HWND dialog, CompareState* state) {
  std::string note;
  if (SavePatchOfComparison(dialog, *state->outcome, &note)) SetDlgItemTextA(dialog, IDC_COMPARE_NOTE, note.c_str());
}

BOOL OnInitDialog(HWND dialog, CompareState* state) {
  SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
  const Comparison& comparison = state->outcome->comparison;
  SetDlgItemTextA(dialog, IDC_COMPARE_SIDES, SidesText(*state->outcome).c_str());
  SetDlgItemTextA(dialog, IDC_COMPARE_COUNTS, CountsText(comparison).c_str());
  SetDlgItemTextA(dialog, IDC_COMPARE_NOTE, LimitsText(comparison).c_str());
  HWND filter = GetDlgItem(dialog, IDC_COMPARE_FILTER);
  for (const FilterRow& row : kFilterRows) SendMessageA(filter, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.text));
  SendMessageA(filter, CB_SETCURSEL, 0, 0);
  HWND list = Items(dialog);
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  AddColumns(list);
  ApplyFilter(dialog, state);
  const uint32_t patched = comparison.Count(CompareKind::Added) + comparison.Count(CompareKind::Changed);
  EnableWindow(GetDlgItem(dialog, IDC_COMPARE_SAVE), patched > 0);
  SetFocus(list);
  return FALSE;  // the focus was set here
}

LRESULT OnNotify(HWND dialog, CompareState* state, NMHDR* header) {
  if (header->idFrom != IDC_COMPARE_ITEMS) return 0;
  switch (header->code) {
    case LVN_GETDISPINFOA: AnswerDisplayInfo(state, reinterpret_cast<NMLVDISPINFOA*>(header)); return 0;
    case LVN_GETDISPINFOW: AnswerDisplayInfo(state, reinterpret_cast<NMLVDISPINFOW*>(header)); return 0;
    case LVN_ITEMCHANGED: UpdateShowButton(dialog); return 0;
    case NM_DBLCLK: ShowItem(dialog, state, reinterpret_cast<NMITEMACTIVATE*>(header)->iItem); return 0;
  }
  return 0;
}

BOOL OnCommand(HWND dialog, CompareState* state, WORD id, WORD code) {
  switch (id) {
    case IDC_COMPARE_FILTER:
      if (code == CBN_SELCHANGE) ApplyFilter(dialog, state);
      return TRUE;
    // Enter: in the list it shows the selected item.
    case IDOK:
      if (GetFocus() == Items(dialog)) ShowItem(dialog, state, SelectedRow(dialog));
      return TRUE;
    case IDC_COMPARE_SHOW: ShowItem(dialog, state, SelectedRow(dialog)); return TRUE;
    case IDC_COMPARE_SAVE: SaveDifferences(dialog, state); return TRUE;
    case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
  }
  return FALSE;
}

INT_PTR CALLBACK CompareDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  CompareState* state = StateOf(dialog);
  switch (message) {
    case WM_INITDIALOG: return OnInitDialog(dialog, reinterpret_cast<CompareState*>(lParam));
    case WM_NOTIFY:
      if (state) SetWindowLongPtrA(dialog, DWLP_MSGRESULT, OnNotify(dialog, state, reinterpret_cast<NMHDR*>(lParam)));
      return TRUE;
    case WM_COMMAND: return state ? OnCommand(dialog, state, LOWORD(wParam), HIWORD(wParam)) : FALSE;
  }
  return FALSE;
}

}  // namespace

void ShowCompareDialog(CompareOutcome* outcome) {
  CompareState state;
  state.outcome = outcome;
  DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_COMPARE), outcome->window, CompareDialogProc,
                  reinterpret_cast<LPARAM>(&state));
}
