// One-line help in the status bar for the highlighted menu item or toolbar button.
#include <windows.h>
#include <commctrl.h>

#include "resources/command_ids.h"
#include "resources/shell_ids.h"
#include "app/frame.h"
#include "services/globals.h"
#include "window/folder_status.h"

namespace {

constexpr int kHelpTextSize = 512;

bool IsRecentFilesMenu(HMENU menu) {
  HMENU fileMenu = GetSubMenu(GetMenu(g_frameWindow), MENU_POS_FILE);
  return fileMenu && menu == GetSubMenu(fileMenu, FILE_MENU_POS_RECENT);
}

// Shows the help string with the given id; false when there is none.
bool ShowHelpString(UINT id) {
  char text[kHelpTextSize];
  if (LoadStringA(g_instance, id, text, sizeof text) <= 0) return false;
  ShowStatusText(text);
  return true;
}

}  // namespace

void ShowStatusText(const char* text) {
  SendMessageA(g_statusBar, SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>(text));
}

void OnMenuSelect(UINT item, UINT flags, HMENU menu) {
  if (!menu) {
    // The menu closed. Posted, so that it lands after whatever the chosen command shows;
    // the text lives on in this buffer until the bar reads it.
    static char idle[256];
    lstrcpynA(idle, IdleStatusText().c_str(), sizeof idle);
    PostMessageA(g_statusBar, SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>(idle));
    return;
  }
  if (flags & MF_SYSMENU) return;
  if (flags & MF_HILITE) {
    // Separators and submenus have no string: the text stays as it is.
    ShowHelpString(IsRecentFilesMenu(menu) ? IDS_RECENT_FILE_HELP : item);
    return;
  }
  ShowStatusText("");
}

LRESULT OnFrameNotify(NMHDR* header) {
  switch (header->code) {
    case TTN_NEEDTEXTA: {
      TOOLTIPTEXTA* tip = reinterpret_cast<TOOLTIPTEXTA*>(header);
      tip->hinst = g_instance;
      tip->lpszText = MAKEINTRESOURCEA(header->idFrom + TOOLTIP_OFFSET);
      return 0;
    }
    case TTN_SHOW:
      if (!ShowHelpString(static_cast<UINT>(header->idFrom))) ShowStatusText("");
      return 0;
    case TTN_POP: ShowStatusText(IdleStatusText().c_str()); return 0;
  }
  return 0;
}
