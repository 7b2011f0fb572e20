// The Options dialog: the settings a user chooses, kept in the registry with the others.
#include "app/frame.h"
#include "panes/window_document.h"
#include "resources/shell_ids.h"
#include "services/globals.h"
#include "services/settings.h"

namespace {

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      CheckDlgButton(dialog, IDC_OPTIONS_KEEP_CASE, g_settings.keepCase ? BST_CHECKED : BST_UNCHECKED);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        g_settings.keepCase = IsDlgButtonChecked(dialog, IDC_OPTIONS_KEEP_CASE) == BST_CHECKED;
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE: EndDialog(dialog, IDCANCEL); return TRUE;
  }
  return FALSE;
}

}  // namespace

void ShowOptions(HWND owner) {
  if (DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_OPTIONS), owner, OptionsDialogProc, 0) != IDOK) return;
  // Names given from now on, in every open archive, follow the setting; names already held
  // stay as they are until their archive is opened again.
  FindArchiveWindow(nullptr, [](WindowDocument* doc) {
    if (doc->tree) doc->tree->SetKeepsCase(g_settings.keepCase);
    return false;
  });
  SaveSettings();
}
