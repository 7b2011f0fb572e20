#include "window/folder_status.h"

#include <commctrl.h>

#include "panes/core/list_order.h"
#include "panes/views.h"
#include "panes/window_document.h"
#include "services/globals.h"
#include "services/number_format.h"

namespace {

constexpr UINT kSettleMs = 30;

std::string Number(uint64_t value) {
  char text[64];
  return FormatUserNumber(value, text, sizeof text) > 0 ? text : std::to_string(value);
}

HWND ActiveArchiveWindow() {
  HWND active = ActiveMdiChild();
  return DocumentOf(active) ? active : nullptr;
}

}  // namespace

std::string FolderStatusText(const WindowDocument* doc) {
  HWND list = doc->itemList;
  const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  std::string text = Number(static_cast<uint64_t>(count)) + (count == 1 ? " item" : " items");
  // A filter shows part of the folder: how much of it.
  if (!doc->filterText.empty()) {
    uint64_t all = 0;
    if (const Node* folder = TreeItemNode(doc->folderTree, CurrentFolderItem(doc->folderTree)))
      for (const Node* child = folder->firstChild(); child; child = child->nextSibling()) ++all;
    text = Number(static_cast<uint64_t>(count)) + " of " + Number(all) + (all == 1 ? " item" : " items");
  }
  if (doc->shadowedInList > 0) text += " (" + Number(doc->shadowedInList) + " shadowed)";
  const int selected = static_cast<int>(SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0));
  if (selected <= 0) return text;
  uint64_t bytes = 0;
  for (int i = -1; (i = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, i, LVNI_SELECTED))) != -1;)
    bytes += EntryDisplaySize(ListItemNode(list, i));
  return text + ", " + Number(static_cast<uint64_t>(selected)) + " selected (" + Number(bytes) +
         (bytes == 1 ? " byte)" : " bytes)");
}

std::string IdleStatusText() {
  HWND window = ActiveArchiveWindow();
  if (!window) return "Ready";
  WindowDocument* doc = DocumentOf(window);
  if (!doc->statusNote.empty() && static_cast<LONG>(doc->statusNoteEnds - GetTickCount()) > 0) return doc->statusNote;
  doc->statusNote.clear();
  return FolderStatusText(doc);
}

void ScheduleFolderStatus(HWND window) { SetTimer(window, kFolderStatusTimer, kSettleMs, nullptr); }

void ShowFolderStatusNow(HWND window) {
  KillTimer(window, kFolderStatusTimer);
  if (window != ActiveArchiveWindow() || !g_statusBar) return;
  const std::string text = IdleStatusText();
  SendMessageA(g_statusBar, SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>(text.c_str()));
}

void OnFolderStatusTimer(HWND window) {
  KillTimer(window, kFolderStatusTimer);
  // Only the active window speaks for the status bar, and only while it is not in a menu.
  if (window != ActiveArchiveWindow() || !g_statusBar) return;
  GUITHREADINFO gui = {};
  gui.cbSize = sizeof gui;
  if (GetGUIThreadInfo(GetCurrentThreadId(), &gui) && (gui.flags & GUI_INMENUMODE)) return;
  const std::string text = IdleStatusText();
  // A note gives way to the counts once its time is up.
  WindowDocument* doc = DocumentOf(window);
  if (!doc->statusNote.empty())
    SetTimer(window, kFolderStatusTimer, static_cast<UINT>(doc->statusNoteEnds - GetTickCount()) + 1, nullptr);
  SendMessageA(g_statusBar, SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>(text.c_str()));
}
