// The About box: the program's name and version with its icon.
#include <string>

#include "resources/shell_ids.h"
#include "app/frame.h"
#include "services/core/version.h"
#include "services/globals.h"

namespace {

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT msg, WPARAM, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, (std::string("Version ") + kProductVersion).c_str());
      return TRUE;
    case WM_COMMAND:
    case WM_CLOSE: EndDialog(dialog, 0); return TRUE;
  }
  return FALSE;
}

}  // namespace

void ShowAboutBox(HWND owner) {
  DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutDialogProc, 0);
}
