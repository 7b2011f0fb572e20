// The Options dialog: the settings a user chooses, kept in the registry with the others, and
// whether Explorer opens the archive types with the program (read from and written to the
// user's file associations themselves, never kept as a setting).
#include <string>

#include "app/frame.h"
#include "panes/window_document.h"
#include "resources/shell_ids.h"
#include "services/file_associations.h"
#include "services/globals.h"
#include "services/message_box.h"
#include "services/settings.h"

namespace {

void ShowAssociation(HWND dialog, bool associated) {
  CheckDlgButton(dialog, IDC_OPTIONS_ASSOCIATE, associated ? BST_CHECKED : BST_UNCHECKED);
  // What the box showed, so that OK changes the associations only when the box was changed.
  SetWindowLongPtrA(dialog, DWLP_USER, associated ? 1 : 0);
}

// Associates or dissociates when the box was changed; false, after saying why, when that
// failed (the box then shows what the registry holds).
bool ApplyAssociation(HWND dialog) {
  const bool wanted = IsDlgButtonChecked(dialog, IDC_OPTIONS_ASSOCIATE) == BST_CHECKED;
  if (wanted == (GetWindowLongPtrA(dialog, DWLP_USER) != 0)) return true;
  std::string error;
  bool done = false;
  if (wanted) {
    std::wstring exe;
    ProgramPath(&exe);  // without it, Associate says the path is not known
    done = Associate(exe, &error);
  } else {
    done = Dissociate(&error);
  }
  if (done) return true;
  ShowErrorMessage(dialog, error.c_str(), kProgramName);
  ShowAssociation(dialog, IsAssociated());
  return false;
}

void OnOptionsOk(HWND dialog) {
  // A failed change keeps the dialog open, its box showing what is so.
  if (!ApplyAssociation(dialog)) return;
  g_settings.keepCase = IsDlgButtonChecked(dialog, IDC_OPTIONS_KEEP_CASE) == BST_CHECKED;
  EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      CheckDlgButton(dialog, IDC_OPTIONS_KEEP_CASE, g_settings.keepCase ? BST_CHECKED : BST_UNCHECKED);
      ShowAssociation(dialog, IsAssociated());
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        OnOptionsOk(dialog);
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
