#include "transfer/replace_dialog.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "archive/quoted_name.h"
#include "resources/transfer_ids.h"
#include "services/dpi.h"
#include "services/file_types.h"
#include "services/globals.h"
#include "services/number_format.h"

namespace {

struct ReplacePair {
  const ConflictItem* existing;
  const ConflictItem* incoming;
};

constexpr int kMessageSize = 256;
// A name long enough to overflow the message is shortened so that the question still shows.
constexpr size_t kShownNameLength = 180;

void FormatMessageText(HWND dialog, const char* name) {
  char format[kMessageSize + 1] = {};
  if (GetDlgItemTextA(dialog, IDC_REPLACE_MESSAGE, format, kMessageSize) <= 0) return;
  const std::string shown = PrintableName(name, name ? std::strlen(name) : 0, false, kShownNameLength);
  DWORD_PTR args[1] = {reinterpret_cast<DWORD_PTR>(shown.c_str())};
  char text[kMessageSize] = {};
  if (FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, format, 0, 0, text,
                     sizeof text, reinterpret_cast<va_list*>(args)))
    SetDlgItemTextA(dialog, IDC_REPLACE_MESSAGE, text);
}

void PlaceDialog(HWND dialog) {
  HWND owner = GetWindow(dialog, GW_OWNER);
  const int step = ScaleToDpi(20, WindowDpi(dialog));
  int x, y;
  if (owner) {
    RECT rc;
    GetWindowRect(owner, &rc);
    x = rc.left + step;
    y = rc.top + (rc.bottom - rc.top) / 4;
  } else {
    POINT cursor = {};
    GetCursorPos(&cursor);
    x = cursor.x - step < step ? step : cursor.x - step;
    y = cursor.y - step < step ? step : cursor.y - step;
  }
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

BOOL OnInitDialog(HWND dialog, const ReplacePair* pair) {
  if (!pair || !pair->existing || !pair->incoming) return TRUE;
  char probe[kMessageSize + 1];
  if (GetDlgItemTextA(dialog, IDC_REPLACE_MESSAGE, probe, sizeof probe) > kMessageSize) return TRUE;
  FormatMessageText(dialog, pair->existing->name.c_str());
  char size[96];
  FormatReplaceSize(*pair->existing, size, sizeof size);
  SetDlgItemTextA(dialog, IDC_REPLACE_EXISTING_SIZE, size);
  FormatReplaceSize(*pair->incoming, size, sizeof size);
  SetDlgItemTextA(dialog, IDC_REPLACE_INCOMING_SIZE, size);
  SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(pair));
  PlaceDialog(dialog);
  return TRUE;
}

// The icon of the existing file's type, drawn into both icon places; the places are then
// validated so that they do not paint their empty faces over it.
BOOL OnPaint(HWND dialog) {
  PAINTSTRUCT ps;
  BeginPaint(dialog, &ps);
  EndPaint(dialog, &ps);
  const auto* pair = reinterpret_cast<const ReplacePair*>(GetWindowLongPtrA(dialog, DWLP_USER));
  if (!pair || !pair->existing) return TRUE;
  const int icon = FileTypeIcon(pair->existing->name.c_str());
  for (int id : {IDC_REPLACE_EXISTING_ICON, IDC_REPLACE_INCOMING_ICON}) {
    HWND place = GetDlgItem(dialog, id);
    if (!place) continue;
    HDC dc = GetDC(place);
    ImageList_Draw(SystemImageListLarge(), icon, dc, 0, 0, ILD_TRANSPARENT);
    ReleaseDC(place, dc);
    ValidateRect(place, nullptr);
  }
  return TRUE;
}

BOOL OnCommand(HWND dialog, int id) {
  switch (id) {
    case IDYES:
    case IDNO:
    case IDC_REPLACE_YES_TO_ALL:
    case IDC_REPLACE_NO_TO_ALL:
      EndDialog(dialog, id);
      return TRUE;
    case IDCANCEL:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
  }
  return FALSE;
}

INT_PTR CALLBACK ReplaceDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: return OnInitDialog(dialog, reinterpret_cast<const ReplacePair*>(lParam));
    case WM_PAINT: return OnPaint(dialog);
    case WM_COMMAND: return OnCommand(dialog, LOWORD(wParam));
  }
  return FALSE;
}

}  // namespace

void FormatReplaceSize(const ConflictItem& item, char* text, int size) {
  char number[64] = "?";
  if (item.hasSize && FormatUserNumber(item.size, number, sizeof number) == 0)
    std::snprintf(number, sizeof number, "%llu", static_cast<unsigned long long>(item.size));
  std::snprintf(text, size, "%s bytes", number);
}

ConflictItem DiskFileRecord(const char* name, int64_t size) {
  ConflictItem item;
  item.name = name ? name : "";
  if (size >= 0 && size <= static_cast<int64_t>(UINT32_MAX)) {
    item.size = static_cast<uint32_t>(size);
    item.hasSize = true;
  }
  return item;
}

int32_t AskReplace(const ConflictItem& existing, const ConflictItem& incoming) {
  ReplacePair pair{&existing, &incoming};
  return static_cast<int32_t>(DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_CONFIRM_REPLACE),
                                              g_frameWindow, ReplaceDialogProc,
                                              reinterpret_cast<LPARAM>(&pair)));
}
