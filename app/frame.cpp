#include "app/frame.h"

#include <commctrl.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "resources/command_ids.h"
#include "resources/shell_ids.h"
#include "services/dpi.h"
#include "services/core/path_length.h"
#include "services/file_types.h"
#include "services/icon_lists.h"
#include "services/globals.h"
#include "services/leftovers.h"
#include "services/messages.h"
#include "services/settings.h"
#include "app/toolbar.h"
#include "panes/window_document.h"
#include "window/command_state.h"

namespace {

constexpr int kMdiClientId = 1;
constexpr int kStatusBarId = 2;

HWND CreateMdiClient(HWND frame) {
  CLIENTCREATESTRUCT client = {};
  client.hWindowMenu = GetSubMenu(GetMenu(frame), MENU_POS_WINDOW);
  client.idFirstChild = ID_MDI_FIRST_CHILD;
  return CreateWindowExA(0, "MDICLIENT", nullptr,
                         WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_VSCROLL | WS_HSCROLL, 0, 0,
                         0, 0, frame, reinterpret_cast<HMENU>(kMdiClientId), g_instance, &client);
}

HWND CreateStatusBar(HWND frame) {
  HWND bar = CreateStatusWindowA(
      WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | CCS_BOTTOM | SBARS_SIZEGRIP,
      "Ready", frame, kStatusBarId);
  if (!bar) return nullptr;
  // One text across the whole bar: the simple part, which is written as part 255.
  SendMessageA(bar, SB_SIMPLE, TRUE, 0);
  SendMessageA(bar, SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>("Ready"));
  return bar;
}

LRESULT OnCreate(HWND frame) {
  g_frameWindow = frame;
  g_mdiClient = CreateMdiClient(frame);
  if (!g_mdiClient) return -1;
  g_statusBar = CreateStatusBar(frame);
  if (!g_statusBar) return -1;
  FitStatusBarToDpi(g_statusBar, WindowDpi(frame));
  g_toolbar = CreateFrameToolbar(frame);
  if (!g_toolbar) return -1;
  return 0;
}

void OnDestroy() {
  ReleaseFileTypes();
  ReleaseIconCopies();
  ReleaseDpiFonts();
  SaveSettings();
  // The copies handed to viewers that are still running, or that took them without a
  // process to wait for.
  RemoveLeftoverFiles(TempDirectory);
  PostQuitMessage(0);
}

// WM_CLOSE and WM_QUERYENDSESSION: the frame may go only when every archive window went.
LRESULT OnCloseRequest(HWND frame, UINT msg, WPARAM wParam, LPARAM lParam) {
  SendMessageA(frame, WM_COMMAND, ID_WINDOW_CLOSE_ALL, 0);
  if (GetWindow(g_mdiClient, GW_CHILD)) return 0;
  return DefFrameProcA(frame, g_mdiClient, msg, wParam, lParam);
}

// A second start sends its path in an atom, or as the data of WM_COPYDATA, and waits for
// the answer before it lets go of them: the path is copied out and the open posted, so that
// the second start does not wait for what the open then shows (a box that waits for the user).
LRESULT PostOpenOf(HWND frame, std::string path) {
  if (path.empty()) return 0;
  auto* copy = new std::string(std::move(path));
  if (!PostMessageA(frame, WMU_OPEN_ARCHIVE, 2, reinterpret_cast<LPARAM>(copy))) {
    delete copy;
    return 0;
  }
  return 1;
}

LRESULT PostOpenFromAtom(HWND frame, ATOM atom) {
  // Room for the longest name an atom holds (255 UTF-16 units) in UTF-8.
  char path[kPathBufferSize];
  const UINT length = GlobalGetAtomNameA(atom, path, sizeof path);
  if (length == 0 || length >= sizeof path - 1) return 0;
  return PostOpenOf(frame, std::string(path, length));
}

LRESULT OnCopyData(HWND frame, const COPYDATASTRUCT* data) {
  if (!data || data->dwData != kOpenArchiveData || !data->lpData || data->cbData == 0 ||
      data->cbData >= kPathBufferSize)
    return 0;
  const char* bytes = static_cast<const char*>(data->lpData);
  // The path ends at a NUL, if the sender put one in.
  return PostOpenOf(frame, std::string(bytes, strnlen(bytes, data->cbData)));
}

LRESULT OnOpenArchive(HWND frame, WPARAM wParam, LPARAM lParam) {
  if (wParam == 1) return PostOpenFromAtom(frame, static_cast<ATOM>(LOWORD(lParam)));
  if (wParam == 2) {
    const std::unique_ptr<std::string> path(reinterpret_cast<std::string*>(lParam));
    return reinterpret_cast<LRESULT>(OpenArchiveWindow(path->c_str()));
  }
  if (wParam == 3) return reinterpret_cast<LRESULT>(OpenArchiveWindow(*reinterpret_cast<const ArchiveWindowRequest*>(lParam)));
  return reinterpret_cast<LRESULT>(OpenArchiveWindow(reinterpret_cast<const char*>(lParam)));
}

// The bar's own visibility, also while the frame itself is still hidden.
bool IsShown(HWND bar) { return bar && (GetWindowLongA(bar, GWL_STYLE) & WS_VISIBLE) != 0; }

void MoveChild(HWND child, int x, int y, int width, int height) {
  MoveWindow(child, x, y, width, height < 0 ? 0 : height, TRUE);
}

// Before its menu opens, and before a key of the accelerators runs a command of it: the
// menu's states are brought up to date for the active window (the clipboard may have
// changed meanwhile, and a grayed entry's key does nothing).
void OnFrameInitMenu() {
  HWND active = ActiveMdiChild();
  if (WindowDocument* doc = DocumentOf(active)) UpdateCommandState(active, doc);
}

}  // namespace

LRESULT CALLBACK FrameWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE: return OnCreate(hwnd);
    case WM_DESTROY: OnDestroy(); return 0;
    case WM_SIZE: LayoutFrame(LOWORD(lParam), HIWORD(lParam)); return 0;
    case WM_CLOSE:
    case WM_QUERYENDSESSION: return OnCloseRequest(hwnd, msg, wParam, lParam);
    case WM_COMMAND: OnFrameCommand(hwnd, wParam, lParam); return 0;
    case WM_INITMENU: OnFrameInitMenu(); break;
    case WM_NOTIFY: return OnFrameNotify(reinterpret_cast<NMHDR*>(lParam));
    case WM_MENUSELECT:
      OnMenuSelect(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HMENU>(lParam));
      return 0;
    case WMU_OPEN_ARCHIVE: return OnOpenArchive(hwnd, wParam, lParam);
    case WM_DPICHANGED: return OnFrameDpiChanged(hwnd, LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
    case WM_NCDESTROY: ForgetWindowDpi(hwnd); break;
    case WM_COPYDATA: return OnCopyData(hwnd, reinterpret_cast<const COPYDATASTRUCT*>(lParam));
  }
  return DefFrameProcA(hwnd, g_mdiClient, msg, wParam, lParam);
}

int ToolbarHeight() {
  if (!IsShown(g_toolbar)) return 0;
  LRESULT count = SendMessageA(g_toolbar, TB_BUTTONCOUNT, 0, 0);
  if (count < 1) return 0;
  RECT button;
  if (!SendMessageA(g_toolbar, TB_GETITEMRECT, count - 1, reinterpret_cast<LPARAM>(&button))) {
    return 0;
  }
  int h = button.bottom - button.top - 1;
  return static_cast<int>(1.25 * h + 0.5);
}

void LayoutFrame(int width, int height) {
  int toolbarHeight = ToolbarHeight();
  if (toolbarHeight > 0) MoveChild(g_toolbar, 0, 0, width, toolbarHeight);
  int statusHeight = 0;
  if (IsShown(g_statusBar)) {
    RECT bar;
    GetWindowRect(g_statusBar, &bar);
    statusHeight = bar.bottom - bar.top;
    MoveChild(g_statusBar, 0, height - statusHeight, width, statusHeight);
  }
  MoveChild(g_mdiClient, 0, toolbarHeight, width, height - toolbarHeight - statusHeight);
}
