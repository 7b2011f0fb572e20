#include "app/toolbar.h"

#include <commctrl.h>

#include "resources/command_ids.h"
#include "services/globals.h"

namespace {

constexpr int kToolbarId = 3;
// The view bitmap's images follow the fifteen images of the standard bitmap.
constexpr int kViewImageBase = 15;

TBBUTTON Button(int image, int command, BYTE state, BYTE style) {
  TBBUTTON button = {};
  button.iBitmap = image;
  button.idCommand = command;
  button.fsState = state;
  button.fsStyle = style;
  return button;
}

TBBUTTON Separator() { return Button(0, 0, 0, TBSTYLE_SEP); }

// The tooltip telling that it appears or disappears: the frame shows the button's help
// then. Some versions of the control keep these to themselves, so they are passed on
// here; a second delivery only sets the same status text again.
LRESULT OnNotify(HWND hwnd, WPARAM wParam, LPARAM lParam) {
  LRESULT result = CallWindowProcA(g_toolbarProc, hwnd, WM_NOTIFY, wParam, lParam);
  const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
  HWND tooltip =
      reinterpret_cast<HWND>(CallWindowProcA(g_toolbarProc, hwnd, TB_GETTOOLTIPS, 0, 0));
  if (header->hwndFrom == tooltip && (header->code == TTN_SHOW || header->code == TTN_POP)) {
    SendMessageA(GetParent(hwnd), WM_NOTIFY, wParam, lParam);
  }
  return result;
}

}  // namespace

LRESULT CALLBACK ToolbarWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    // The class brush (the menu colour) paints the background, not the control.
    case WM_ERASEBKGND: return DefWindowProcA(hwnd, msg, wParam, lParam);
    case WM_NOTIFY: return OnNotify(hwnd, wParam, lParam);
  }
  return CallWindowProcA(g_toolbarProc, hwnd, msg, wParam, lParam);
}

HWND CreateFrameToolbar(HWND frame) {
  HWND toolbar = CreateWindowExA(
      0, kToolbarClass, nullptr,
      WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | CCS_TOP | CCS_NORESIZE | TBSTYLE_TOOLTIPS |
          TBSTYLE_FLAT,
      0, 0, 0, 0, frame, reinterpret_cast<HMENU>(kToolbarId), g_instance, nullptr);
  if (!toolbar) return nullptr;
  // The button record of this system: 20 bytes in the 32-bit program, 32 in a 64-bit build
  // (wider padding and data fields).
  static_assert(sizeof(TBBUTTON) == (sizeof(void*) == 4 ? 20 : 32), "toolbar button record");
  SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  TBADDBITMAP standard = {HINST_COMMCTRL, IDB_STD_SMALL_COLOR};
  SendMessageA(toolbar, TB_ADDBITMAP, 15, reinterpret_cast<LPARAM>(&standard));
  TBADDBITMAP view = {HINST_COMMCTRL, IDB_VIEW_SMALL_COLOR};
  SendMessageA(toolbar, TB_ADDBITMAP, 12, reinterpret_cast<LPARAM>(&view));

  const BYTE on = TBSTATE_ENABLED;
  const BYTE off = 0;
  const BYTE group = TBSTYLE_CHECKGROUP;
  TBBUTTON buttons[kToolbarButtonCount] = {
      Button(STD_FILENEW, ID_FILE_NEW, on, TBSTYLE_BUTTON),
      Button(STD_FILEOPEN, ID_FILE_OPEN, on, TBSTYLE_BUTTON),
      Button(STD_FILESAVE, ID_FILE_SAVE, off, TBSTYLE_BUTTON),
      Separator(),
      Button(kViewImageBase + VIEW_PARENTFOLDER, ID_OBJECT_UP, off, TBSTYLE_BUTTON),
      Button(kViewImageBase + VIEW_NEWFOLDER, ID_OBJECT_NEW_DIRECTORY, off, TBSTYLE_BUTTON),
      Separator(),
      Button(STD_CUT, ID_EDIT_CUT, off, TBSTYLE_BUTTON),
      Button(STD_COPY, ID_EDIT_COPY, off, TBSTYLE_BUTTON),
      Button(STD_PASTE, ID_EDIT_PASTE, off, TBSTYLE_BUTTON),
      Button(STD_DELETE, ID_EDIT_DELETE, off, TBSTYLE_BUTTON),
      Separator(),
      Button(kViewImageBase + VIEW_LARGEICONS, ID_VIEW_LARGE_ICONS, off, group),
      Button(kViewImageBase + VIEW_SMALLICONS, ID_VIEW_SMALL_ICONS, off, group),
      Button(kViewImageBase + VIEW_LIST, ID_VIEW_LIST, off, group),
      Button(kViewImageBase + VIEW_DETAILS, ID_VIEW_DETAILS, off, group),
  };
  if (!SendMessageA(toolbar, TB_ADDBUTTONSA, kToolbarButtonCount,
                    reinterpret_cast<LPARAM>(buttons))) {
    DestroyWindow(toolbar);
    return nullptr;
  }
  return toolbar;
}
