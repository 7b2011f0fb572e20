// The frame's commands: the application-wide ones are handled here, those that concern
// one archive go to the active archive window.
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

#include "resources/command_ids.h"
#include "resources/shell_ids.h"
#include "services/dpi.h"
#include "services/core/path_length.h"
#include "services/file_dialogs.h"
#include "app/frame.h"
#include "panes/window_document.h"
#include "services/globals.h"
#include "services/messages.h"
#include "services/settings.h"
#include "window/archive_window.h"
#include "window/save.h"

namespace {

// Commands the active archive window carries out.
constexpr int kDocumentCommands[] = {
    ID_FILE_SAVE,          ID_FILE_SAVE_AS,        ID_FILE_TEST_ARCHIVE,
    ID_FILE_COMPARE,       ID_FILE_COMPARE_FOLDER,
    ID_EDIT_UNDO,          ID_EDIT_REDO,
    ID_EDIT_FIND,          ID_EDIT_CUT,
    ID_EDIT_COPY,          ID_EDIT_PASTE,          ID_EDIT_DELETE,
    ID_EDIT_RENAME,
    ID_EDIT_SELECT_ALL,    ID_EDIT_INVERT_SELECTION, ID_OBJECT_UP,
    ID_OBJECT_NEW_DIRECTORY, ID_OBJECT_IMPORT_FILE, ID_OBJECT_IMPORT_DIRECTORY,
    ID_OBJECT_EXPORT,      ID_VIEW_REFRESH,        ID_VIEW_LARGE_ICONS,
    ID_VIEW_SMALL_ICONS,   ID_VIEW_LIST,           ID_VIEW_DETAILS,
    ID_VIEW_BY_NAME,       ID_VIEW_BY_TYPE,        ID_VIEW_BY_SIZE,
    ID_VIEW_PREVIEW_PANE,  ID_VIEW_FILTER,         ID_OBJECT_IMPORT_CONTENTS,
};

bool IsDocumentCommand(int id) {
  for (int command : kDocumentCommands) {
    if (command == id) return true;
  }
  return false;
}

void Forward(WPARAM wParam, LPARAM lParam) {
  HWND active = ActiveMdiChild();
  if (active) SendMessageA(active, WM_COMMAND, wParam, lParam);
}

// A new archive window follows the state of the active one.
void TakeChildStyleFromActive() {
  HWND active = ActiveMdiChild();
  WINDOWPLACEMENT placement = {};
  placement.length = sizeof placement;
  if (!active || !GetWindowPlacement(active, &placement)) return;
  g_settings.windowState.childStyle =
      placement.showCmd == SW_SHOWMAXIMIZED ? kWindowStateMaximize : 0;
}

void ToggleBar(HWND frame, HWND bar, int command) {
  bool shown = (GetWindowLongA(bar, GWL_STYLE) & WS_VISIBLE) != 0;
  CheckMenuItem(GetMenu(frame), command, MF_BYCOMMAND | (shown ? MF_UNCHECKED : MF_CHECKED));
  ShowWindow(bar, shown ? SW_HIDE : SW_SHOW);
  RECT client;
  GetClientRect(frame, &client);
  PostMessageA(frame, WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
}

void SendActiveToBack() {
  HWND active = ActiveMdiChild();
  if (!active) return;
  SendMessageA(g_mdiClient, WM_MDINEXT, reinterpret_cast<WPARAM>(active), 0);
  SetWindowPos(active, HWND_BOTTOM, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

void OpenFromDialog() {
  static char selection[16384];
  if (ShowOpenDialog(selection, sizeof selection, nullptr, kArchiveFilter, "Open PAK File",
                     OFN_HIDEREADONLY | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST |
                         OFN_NONETWORKBUTTON)) {
    OpenArchivesFromSelection(selection);
  }
}

void OpenGameFolderFromDialog(HWND frame) {
  char chosen[kPathBufferSize] = {};
  if (BrowseForDirectory(frame, chosen, "Select the game folder to open (id1, baseq2, baseq3 or a mod's folder)"))
    OpenArchiveWindow(chosen);
}

void OpenRecentFile(HWND frame, int index) {
  // The placeholder item of an empty list has no entry behind it: nothing to open.
  const char* path = g_recentFiles.At(index);
  if (path) PostMessageA(frame, WMU_OPEN_ARCHIVE, 0, reinterpret_cast<LPARAM>(path));
}

}  // namespace

HWND OpenArchiveWindow(const char* path) {
  ArchiveWindowRequest request;
  request.path = path;
  return OpenArchiveWindow(request);
}

HWND OpenArchiveWindow(const ArchiveWindowRequest& request) {
  TakeChildStyleFromActive();
  const WindowState& state = g_settings.windowState;
  // The remembered size is in 96-DPI units, the system's default size as it is.
  const UINT dpi = WindowDpi(g_mdiClient);
  const int width = state.childWidth == kUseDefaultSize ? kUseDefaultSize : ScaleToDpi(state.childWidth, dpi);
  const int height = state.childHeight == kUseDefaultSize ? kUseDefaultSize : ScaleToDpi(state.childHeight, dpi);
  return CreateMDIWindowA(kArchiveClass, "", state.childStyle, CW_USEDEFAULT, CW_USEDEFAULT, width, height,
                          g_mdiClient, g_instance, reinterpret_cast<LPARAM>(&request));
}

int OpenArchivesFromSelection(const char* selection) {
  if (!selection || selection[0] == '\0') return 0;
  const char* firstName = selection + std::strlen(selection) + 1;
  // A single chosen file comes back as its full path alone.
  if (firstName[0] == '\0') return OpenArchiveWindow(selection) ? 1 : 0;

  std::string directory = selection;
  const char last = directory.back();
  if (last != '\\' && last != '/') directory += '\\';
  const size_t directoryUnits = Utf16Length(directory);
  int opened = 0;
  for (const char* name = firstName; *name; name += std::strlen(name) + 1) {
    // Names that would not fit the system's path limit cannot be opened.
    if (directoryUnits + Utf16Length(name) > kMaxPathUnits) continue;
    const std::string path = directory + name;
    if (OpenArchiveWindow(path.c_str())) ++opened;
  }
  return opened;
}

void CloseActiveWindow() {
  HWND active = ActiveMdiChild();
  if (active && SendMessageA(active, WM_QUERYENDSESSION, 0, 0)) {
    SendMessageA(g_mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(active), 0);
  }
}

void CloseAllWindows() {
  // Activating and destroying windows reorders the client's children, so take the list first.
  std::vector<HWND> windows;
  for (HWND child = GetWindow(g_mdiClient, GW_CHILD); child;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (!GetWindow(child, GW_OWNER)) windows.push_back(child);
  }
  for (HWND window : windows) {
    if (!IsWindow(window)) continue;
    uint32_t childStyle = g_settings.windowState.childStyle;
    SendMessageA(g_mdiClient, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(window), 0);
    ShowWindow(window, childStyle == kWindowStateMaximize ? SW_SHOWMAXIMIZED : SW_RESTORE);
    if (SendMessageA(window, WM_QUERYENDSESSION, 0, 0)) {
      SendMessageA(g_mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(window), 0);
      g_settings.windowState.childStyle = childStyle;
    }
  }
}

// File > Save All: every archive window with changes is saved in the order the windows lie,
// top first; a new one through Save As, whose Cancel (or failure) stops the rest. Each is
// brought to the front first, so that the user sees which archive a dialog is about.
void SaveAllWindows() {
  std::vector<HWND> windows;
  for (HWND child = GetWindow(g_mdiClient, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (!GetWindow(child, GW_OWNER)) windows.push_back(child);
  for (HWND window : windows) {
    if (!IsWindow(window)) continue;
    const WindowDocument* doc = DocumentOf(window);
    if (doc == nullptr || !doc->modified) continue;
    const bool isNew = DocumentPath(doc) == nullptr;
    SendMessageA(g_mdiClient, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(window), 0);
    if (!SaveDocument(window) && isNew) return;
  }
}

void OnFrameCommand(HWND frame, WPARAM wParam, LPARAM lParam) {
  int id = LOWORD(wParam);
  if (IsDocumentCommand(id)) {
    Forward(wParam, lParam);
    return;
  }
  if (id >= ID_FILE_MRU_FIRST && id <= ID_FILE_MRU_LAST) {
    OpenRecentFile(frame, id - ID_FILE_MRU_FIRST);
    return;
  }
  switch (id) {
    case ID_FILE_NEW: PostMessageA(frame, WMU_OPEN_ARCHIVE, 0, 0); return;
    case ID_FILE_OPEN: OpenFromDialog(); return;
    case ID_FILE_OPEN_GAME_FOLDER: OpenGameFolderFromDialog(frame); return;
    case ID_FILE_CLOSE:
    case ID_WINDOW_CLOSE: CloseActiveWindow(); return;
    case ID_APP_EXIT: SendMessageA(frame, WM_CLOSE, 0, 0); return;
    case ID_VIEW_TOOLBAR: ToggleBar(frame, g_toolbar, ID_VIEW_TOOLBAR); return;
    case ID_VIEW_STATUS_BAR: ToggleBar(frame, g_statusBar, ID_VIEW_STATUS_BAR); return;
    case ID_WINDOW_CLOSE_ALL: CloseAllWindows(); return;
    case ID_WINDOW_NEXT: SendMessageA(g_mdiClient, WM_MDINEXT, 0, 0); return;
    case ID_WINDOW_PREVIOUS: SendMessageA(g_mdiClient, WM_MDINEXT, 0, 1); return;
    case ID_WINDOW_CASCADE: SendMessageA(g_mdiClient, WM_MDICASCADE, 0, 0); return;
    case ID_WINDOW_TILE_HORZ: SendMessageA(g_mdiClient, WM_MDITILE, MDITILE_HORIZONTAL, 0); return;
    case ID_WINDOW_TILE_VERT: SendMessageA(g_mdiClient, WM_MDITILE, MDITILE_VERTICAL, 0); return;
    case ID_WINDOW_ARRANGE: SendMessageA(g_mdiClient, WM_MDIICONARRANGE, 0, 0); return;
    case ID_WINDOW_SEND_TO_BACK: SendActiveToBack(); return;
    case ID_APP_ABOUT: ShowAboutBox(frame); return;
    case ID_VIEW_OPTIONS: ShowOptions(frame); return;
    case ID_FILE_SAVE_ALL: SaveAllWindows(); return;
  }
  DefFrameProcA(frame, g_mdiClient, WM_COMMAND, wParam, lParam);
}
