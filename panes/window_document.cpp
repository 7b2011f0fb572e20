#include "panes/window_document.h"

#include <cstring>

#include "services/globals.h"

bool IsArchiveWindow(HWND window) {
  char name[32];
  return window && GetClassNameA(window, name, sizeof name) && std::strcmp(name, kArchiveClass) == 0;
}

WindowDocument* DocumentOf(HWND window) {
  if (!IsArchiveWindow(window)) return nullptr;
  return reinterpret_cast<WindowDocument*>(GetWindowLongPtrA(window, 0));
}

HWND NextMdiChild(HWND child) {
  return child ? GetWindow(child, GW_HWNDNEXT) : GetWindow(g_mdiClient, GW_CHILD);
}

HWND ActiveMdiChild() {
  return g_mdiClient ? reinterpret_cast<HWND>(SendMessageA(g_mdiClient, WM_MDIGETACTIVE, 0, 0)) : nullptr;
}

HWND ArchiveWindowOfPane(HWND pane) {
  // The list sits one splitter deeper than the tree, in the one it shares with the preview.
  HWND splitter = pane ? GetParent(pane) : nullptr;
  HWND above = splitter ? GetParent(splitter) : nullptr;
  if (above && !IsArchiveWindow(above) && GetParent(above) && IsArchiveWindow(GetParent(above))) return GetParent(above);
  return above;
}

void MarkModified(HWND window) {
  WindowDocument* doc = DocumentOf(window);
  if (doc) doc->modified = 1;
  // A title is a path, however many bytes its UTF-8 takes, and the mark.
  char title[kPathBufferSize + 2] = {};
  int length = GetWindowTextA(window, title, sizeof title);
  if (length <= 0 || title[length - 1] == '*') return;
  if (length + 2 < static_cast<int>(sizeof title)) {
    std::memcpy(title + length, " *", 3);
    SetWindowTextA(window, title);
  }
}

void SetModifiedMark(HWND window, bool modified) {
  if (modified) return MarkModified(window);
  WindowDocument* doc = DocumentOf(window);
  if (doc) doc->modified = 0;
  SetWindowTextA(window, TitleWithoutMark(window).c_str());
}

std::string TitleWithoutMark(HWND window) {
  char title[kPathBufferSize + 2] = {};
  int length = GetWindowTextA(window, title, sizeof title);
  if (length >= 2 && title[length - 1] == '*' && title[length - 2] == ' ') title[length - 2] = '\0';
  return title;
}
