// The hook of the Save dialogs: the default extension follows the chosen file type, in
// Save As the compression list is usable exactly when a format that compresses would be
// written, and the target list names the game whose rules the save checks.
#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "archive/format.h"
#include "resources/shell_ids.h"
#include "services/core/path_length.h"
#include "services/settings.h"
#include "window/archive_window.h"
#include "window/save.h"

namespace {

// A private notification of the list: the file name changed, look at it again.
constexpr WORD kRecheckName = 0x7FFF;
const char kHookProp[] = "VellumixSaveHook";
const char kEditProcProp[] = "VellumixSaveEditProc";

struct Row {
  const char* text;
  int level;
};
const Row kRows[] = {{"Maximum", 9}, {"Normal", 6}, {"Fast", 3}, {"Super Fast", 1}, {"None", 0}};

// The target chosen in the last Save As that was confirmed.
EngineTarget g_chosenTarget = EngineTarget::Any;

// Per dialog, kept in the hook dialog's user data.
struct HookState {
  const WindowDocument* document;
  char defaultExtension[16];
};

HookState* StateOf(HWND hook) {
  return reinterpret_cast<HookState*>(GetWindowLongPtrA(hook, DWLP_USER));
}

// The edit control in which the user types the file name.
HWND FileNameEdit(HWND dialog) {
  HWND box = GetDlgItem(dialog, cmb13);
  if (box) {
    HWND edit = FindWindowExA(box, nullptr, "Edit", nullptr);
    return edit ? edit : box;
  }
  return GetDlgItem(dialog, edt1);
}

LRESULT CALLBACK FileNameEditProc(HWND edit, UINT msg, WPARAM wParam, LPARAM lParam) {
  WNDPROC previous = reinterpret_cast<WNDPROC>(GetPropA(edit, kEditProcProp));
  HWND hook = static_cast<HWND>(GetPropA(edit, kHookProp));
  if (msg == WM_NCDESTROY) {
    RemovePropA(edit, kEditProcProp);
    RemovePropA(edit, kHookProp);
    SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    return CallWindowProcA(previous, edit, msg, wParam, lParam);
  }
  LRESULT result = CallWindowProcA(previous, edit, msg, wParam, lParam);
  if ((msg == WM_SETTEXT || msg == WM_KEYUP) && hook) {
    SendMessageA(hook, WM_COMMAND, MAKEWPARAM(IDC_SAVE_COMPRESSION, kRecheckName), 0);
  }
  return result;
}

// 1: the extension names a format that compresses; 0: one that does not; -1: no format.
int CompressesByExtension(const char* extension) {
  if (!extension || !*extension) return -1;
  const ArchiveFormat* format = FormatForPath(std::string("x.") + extension);
  return format ? (format->compresses ? 1 : 0) : -1;
}

void UpdateListState(HWND hook) {
  HWND list = GetDlgItem(hook, IDC_SAVE_COMPRESSION);
  HookState* state = StateOf(hook);
  if (!list || !state) return;
  char name[kPathBufferSize] = {};
  HWND edit = FileNameEdit(GetParent(hook));
  if (edit) GetWindowTextA(edit, name, sizeof name);
  const char* dot = std::strrchr(name, '.');
  int compresses = CompressesByExtension(dot && dot[1] ? dot + 1 : nullptr);
  if (compresses < 0) compresses = CompressesByExtension(state->defaultExtension);
  if (compresses < 0) {
    const ArchiveFormat* own = state->document ? DocumentFormat(state->document) : nullptr;
    compresses = (own ? *own : DefaultFormat()).compresses;
  }
  EnableWindow(list, compresses ? TRUE : FALSE);
  InvalidateRect(list, nullptr, TRUE);
}

// The target list: every target, the document's chosen.
void FillTargetList(HWND hook, const WindowDocument* document) {
  HWND list = GetDlgItem(hook, IDC_SAVE_TARGET);
  if (!list) return;
  SendMessageA(list, CB_RESETCONTENT, 0, 0);
  const EngineTarget current = document ? document->target : TargetFromNumber(g_settings.saveTarget);
  for (EngineTarget target : EngineTargets()) {
    const LRESULT at = SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(TargetName(target)));
    SendMessageA(list, CB_SETITEMDATA, at, static_cast<LPARAM>(target));
    if (target == current) SendMessageA(list, CB_SETCURSEL, at, 0);
  }
}

// The confirmed dialog's target becomes the one the save checks and the one remembered.
void TakeTargetChoice(HWND hook) {
  HWND list = GetDlgItem(hook, IDC_SAVE_TARGET);
  if (!list) return;
  const LRESULT at = SendMessageA(list, CB_GETCURSEL, 0, 0);
  if (at < 0) return;
  g_chosenTarget = TargetFromNumber(static_cast<uint32_t>(SendMessageA(list, CB_GETITEMDATA, at, 0)));
  g_settings.saveTarget = static_cast<uint32_t>(g_chosenTarget);
}

void OnInitDialog(HWND hook) {
  auto* state = new (std::nothrow) HookState();
  SetWindowLongPtrA(hook, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
  FillTargetList(hook, nullptr);
  if (HWND list = GetDlgItem(hook, IDC_SAVE_COMPRESSION)) {
    for (const Row& row : kRows) SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.text));
    SendMessageA(list, CB_SETCURSEL,
                 CompressionPositionOfLevel(static_cast<int>(g_settings.zipCompressionLevel)), 0);
    HWND edit = FileNameEdit(GetParent(hook));
    if (edit && !GetPropA(edit, kEditProcProp)) {
      SetPropA(edit, kHookProp, hook);
      SetPropA(edit, kEditProcProp,
               reinterpret_cast<HANDLE>(SetWindowLongPtrA(
                   edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FileNameEditProc))));
    }
  }
}

// The default extension a filter pattern stands for: none for a list of patterns or a
// pattern with a wildcard left after its leading "*" and ".".
void ExtensionOfPattern(const char* pattern, char* out, size_t size) {
  out[0] = '\0';
  if (!pattern || std::strchr(pattern, ';')) return;
  if (*pattern == '*') ++pattern;
  if (*pattern == '.') ++pattern;
  if (std::strchr(pattern, '*') || std::strlen(pattern) >= size) return;
  std::strcpy(out, pattern);
}

// The pattern of the 1-based filter index in a NUL-separated filter list.
const char* FilterPattern(const char* filter, DWORD index) {
  for (DWORD i = 1; filter && *filter; ++i) {
    const char* pattern = filter + std::strlen(filter) + 1;
    if (i == index) return pattern;
    filter = pattern + std::strlen(pattern) + 1;
  }
  return nullptr;
}

void OnTypeChange(HWND hook, const OPENFILENAMEA* ofn) {
  HookState* state = StateOf(hook);
  if (!state) return;
  ExtensionOfPattern(FilterPattern(ofn->lpstrFilter, ofn->nFilterIndex), state->defaultExtension,
                     sizeof state->defaultExtension);
  SendMessageA(GetParent(hook), CDM_SETDEFEXT, 0,
               reinterpret_cast<LPARAM>(state->defaultExtension[0] ? state->defaultExtension : nullptr));
  UpdateListState(hook);
}

UINT_PTR OnNotify(HWND hook, const OFNOTIFYA* notify) {
  HookState* state = StateOf(hook);
  if (!state) return 0;
  switch (notify->hdr.code) {
    case CDN_INITDONE:
      state->defaultExtension[0] = '\0';
      state->document = reinterpret_cast<const WindowDocument*>(notify->lpOFN->lCustData);
      FillTargetList(hook, state->document);
      UpdateListState(hook);
      break;
    case CDN_FILEOK:
      TakeTargetChoice(hook);
      break;
    case CDN_TYPECHANGE:
      OnTypeChange(hook, notify->lpOFN);
      break;
  }
  return 0;
}

void OnCommand(HWND hook, WORD id, WORD code) {
  if (id != IDC_SAVE_COMPRESSION) return;
  if (code == CBN_SELCHANGE) {
    LRESULT position = SendDlgItemMessageA(hook, IDC_SAVE_COMPRESSION, CB_GETCURSEL, 0, 0);
    g_settings.zipCompressionLevel = static_cast<uint32_t>(CompressionLevelOfPosition(static_cast<int>(position)));
  } else if (code == kRecheckName) {
    UpdateListState(hook);
  }
}

}  // namespace

EngineTarget ChosenSaveTarget() { return g_chosenTarget; }

int CompressionLevelOfPosition(int position) {
  if (position < 0 || position >= static_cast<int>(sizeof kRows / sizeof kRows[0])) return 6;
  return kRows[position].level;
}

int CompressionPositionOfLevel(int level) {
  if (level <= 0) return 4;
  if (level <= 2) return 3;
  if (level <= 4) return 2;
  if (level <= 7) return 1;
  return 0;
}

UINT_PTR CALLBACK SaveDialogHook(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    // FALSE: the dialog's own first control, the file name box, keeps the focus rather
    // than the compression list of this template.
    case WM_INITDIALOG: OnInitDialog(dialog); return FALSE;
    case WM_NOTIFY: return OnNotify(dialog, reinterpret_cast<const OFNOTIFYA*>(lParam));
    case WM_COMMAND: OnCommand(dialog, LOWORD(wParam), HIWORD(wParam)); return 0;
    case WM_NCDESTROY:
      delete StateOf(dialog);
      SetWindowLongPtrA(dialog, DWLP_USER, 0);
      return 0;
  }
  return 0;
}
