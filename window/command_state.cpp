#include "window/command_state.h"

#include <commctrl.h>

#include <initializer_list>

#include "resources/command_ids.h"
#include "services/globals.h"
#include "services/settings.h"
#include "window/archive_window.h"
#include "window/game_folder_view.h"
#include "window/rename.h"
#include "window/undo.h"
#include "panes/preview_pane.h"
#include "panes/views.h"

namespace {

void EnableItem(int command, bool enable) {
  EnableMenuItem(g_mainMenu, command, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

void EnableButton(int command, bool enable) {
  SendMessageA(g_toolbar, TB_ENABLEBUTTON, command, MAKELONG(enable ? TRUE : FALSE, 0));
}

void EnableBoth(int command, bool enable) {
  EnableItem(command, enable);
  EnableButton(command, enable);
}

bool MenuHasCommand(HMENU menu, int command) {
  int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    if (static_cast<int>(GetMenuItemID(menu, i)) == command) return true;
  }
  return false;
}

// Popups are found by a command they hold rather than by a fixed position: while an
// archive window is maximized, the menu bar starts with that window's system menu.
void EnablePopupHolding(HMENU menu, int command, bool enable) {
  int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    HMENU popup = GetSubMenu(menu, i);
    if (popup && MenuHasCommand(popup, command)) {
      EnableMenuItem(menu, i, MF_BYPOSITION | (enable ? MF_ENABLED : MF_GRAYED));
      return;
    }
  }
}

HMENU PopupHolding(HMENU menu, int command) {
  int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    HMENU popup = GetSubMenu(menu, i);
    if (popup && MenuHasCommand(popup, command)) return popup;
  }
  return nullptr;
}

void EnableArrangeIcons(bool enable) {
  if (HMENU view = PopupHolding(g_mainMenu, ID_VIEW_LARGE_ICONS)) {
    EnablePopupHolding(view, ID_VIEW_BY_NAME, enable);
  }
}

// View > Search As: open for a game folder, with the target it is searched as checked.
void ShowSearchTarget(bool gameFolder, EngineTarget target) {
  HMENU view = PopupHolding(g_mainMenu, ID_VIEW_LARGE_ICONS);
  if (view == nullptr) return;
  EnablePopupHolding(view, ID_VIEW_SEARCH_AS_ANY, gameFolder);
  if (HMENU searchAs = PopupHolding(view, ID_VIEW_SEARCH_AS_ANY))
    CheckMenuRadioItem(searchAs, ID_VIEW_SEARCH_AS_ANY, ID_VIEW_SEARCH_AS_QUAKE3, SearchAsCommand(target),
                       MF_BYCOMMAND);
}

void CheckViewMode(uint32_t viewMode) {
  int command = CommandOfViewMode(viewMode);
  CheckViewMenuItem(command);
  SendMessageA(g_toolbar, TB_CHECKBUTTON, command, MAKELONG(TRUE, 0));
}

const int kViewCommands[] = {ID_VIEW_LARGE_ICONS, ID_VIEW_SMALL_ICONS, ID_VIEW_LIST,
                             ID_VIEW_DETAILS, ID_VIEW_THUMBNAILS};

void OnFirstActivation() {
  for (int command : {ID_FILE_CLOSE, ID_FILE_SAVE, ID_FILE_SAVE_AS, ID_FILE_SAVE_ALL, ID_FILE_COMPARE,
                      ID_FILE_COMPARE_FOLDER}) {
    EnableItem(command, true);
  }
  EnableButton(ID_FILE_SAVE, true);
  EnablePopupHolding(g_mainMenu, ID_EDIT_CUT, true);
  EnablePopupHolding(g_mainMenu, ID_OBJECT_NEW_DIRECTORY, true);
  EnablePopupHolding(g_mainMenu, ID_WINDOW_CASCADE, true);
  EnableArrangeIcons(true);
  for (int command : kViewCommands) EnableBoth(command, true);
  EnableItem(ID_VIEW_REFRESH, true);
  EnableItem(ID_VIEW_PREVIEW_PANE, true);
  EnableItem(ID_VIEW_FILTER, true);
}

void OnLastDeactivation() {
  for (int command : {ID_FILE_CLOSE, ID_FILE_SAVE, ID_FILE_SAVE_AS, ID_FILE_SAVE_ALL, ID_FILE_TEST_ARCHIVE,
                      ID_FILE_COMPARE, ID_FILE_COMPARE_FOLDER}) {
    EnableItem(command, false);
  }
  EnableButton(ID_FILE_SAVE, false);
  EnableItem(ID_OBJECT_SHOW_IN_ARCHIVE, false);
  EnableItem(ID_VIEW_ONLY_SHADOWING, false);
  ShowSearchTarget(false, EngineTarget::Any);
  EnablePopupHolding(g_mainMenu, ID_EDIT_CUT, false);
  for (int command : {ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, ID_EDIT_DELETE}) {
    EnableButton(command, false);
  }
  for (int command : kViewCommands) EnableBoth(command, false);
  CheckViewMode(g_settings.windowState.viewMode);
  EnableArrangeIcons(false);
  EnableItem(ID_VIEW_REFRESH, false);
  EnableItem(ID_VIEW_PREVIEW_PANE, false);
  EnableItem(ID_VIEW_FILTER, false);
  UpdateUndoCommands(nullptr);
  CheckMenuItem(g_mainMenu, ID_VIEW_PREVIEW_PANE, g_settings.windowState.previewShown == 1 ? MF_CHECKED : MF_UNCHECKED);
  EnablePopupHolding(g_mainMenu, ID_OBJECT_NEW_DIRECTORY, false);
  EnablePopupHolding(g_mainMenu, ID_WINDOW_CASCADE, false);
  EnableButton(ID_OBJECT_UP, false);
  EnableButton(ID_OBJECT_NEW_DIRECTORY, false);
  DrawMenuBar(g_frameWindow);
}

}  // namespace

void UpdateCommandState(HWND window, WindowDocument* doc) {
  HWND focus = GetFocus();
  bool inTree = focus && focus == doc->folderTree;
  bool inList = focus && focus == doc->itemList;
  bool inPane = inTree || inList;
  HTREEITEM caret = CurrentFolderItem(doc->folderTree);
  bool hasSelection = (inTree && caret) ||
                      (inList && SendMessageA(doc->itemList, LVM_GETSELECTEDCOUNT, 0, 0) > 0);
  HTREEITEM rootItem = reinterpret_cast<HTREEITEM>(
      SendMessageA(doc->folderTree, TVM_GETNEXTITEM, TVGN_ROOT, 0));

  for (int command : {ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_DELETE}) EnableBoth(command, hasSelection);
  int renameIndex;
  HTREEITEM renameItem;
  EnableItem(ID_EDIT_RENAME, FindRenameTarget(doc, &renameIndex, &renameItem));
  bool objectCommands = hasSelection || inPane;
  for (int command : {ID_OBJECT_NEW_DIRECTORY, ID_OBJECT_IMPORT_FILE, ID_OBJECT_IMPORT_DIRECTORY,
                      ID_OBJECT_IMPORT_CONTENTS}) {
    EnableItem(command, objectCommands);
  }
  EnableButton(ID_OBJECT_NEW_DIRECTORY, objectCommands);
  if (objectCommands) {
    if (caret != rootItem) EnableButton(ID_OBJECT_UP, true);
  } else {
    EnableButton(ID_OBJECT_UP, false);
  }
  EnableItem(ID_OBJECT_EXPORT, hasSelection);
  EnableItem(ID_OBJECT_PROPERTIES, true);

  bool paste = inPane && ((g_cfVellumixData && IsClipboardFormatAvailable(g_cfVellumixData)) ||
                          IsClipboardFormatAvailable(CF_HDROP));
  EnableBoth(ID_EDIT_PASTE, paste);
  EnableItem(ID_EDIT_SELECT_ALL, true);
  EnableItem(ID_EDIT_INVERT_SELECTION, true);
  EnableItem(ID_EDIT_FIND, true);
  // A document never saved has no file to test yet.
  EnableItem(ID_FILE_TEST_ARCHIVE, DocumentPath(doc) != nullptr);
  // A game folder is shown as the game reads it: nothing of it is edited or saved, and a
  // file of it can be shown in the archive it is read from.
  const bool gameFolder = IsGameFolderView(doc);
  if (gameFolder) {
    for (int command : {ID_EDIT_CUT, ID_EDIT_DELETE, ID_EDIT_PASTE, ID_OBJECT_NEW_DIRECTORY}) EnableBoth(command, false);
    for (int command : {ID_EDIT_RENAME, ID_OBJECT_IMPORT_FILE, ID_OBJECT_IMPORT_DIRECTORY, ID_OBJECT_IMPORT_CONTENTS,
                        ID_FILE_SAVE, ID_FILE_SAVE_AS})
      EnableItem(command, false);
    EnableButton(ID_FILE_SAVE, false);
  } else if (ActiveMdiChild() == window) {
    EnableItem(ID_FILE_SAVE, true);
    EnableItem(ID_FILE_SAVE_AS, true);
    EnableButton(ID_FILE_SAVE, true);
  }
  EnableItem(ID_OBJECT_SHOW_IN_ARCHIVE, gameFolder && inList && hasSelection);
  EnableItem(ID_VIEW_ONLY_SHADOWING, gameFolder);
  if (ActiveMdiChild() == window) {
    CheckMenuItem(g_mainMenu, ID_VIEW_ONLY_SHADOWING, doc->onlyShadowing ? MF_CHECKED : MF_UNCHECKED);
    ShowSearchTarget(gameFolder, doc->target);
  }
  // The menus speak for the active window, whichever window changed.
  const WindowDocument* active = DocumentOf(ActiveMdiChild());
  UpdateUndoCommands(active ? active : doc);
}

void OnArchiveActivate(HWND window, WindowDocument* doc, HWND activated, HWND deactivated) {
  if (!activated) {
    OnLastDeactivation();
    return;
  }
  if (!deactivated) OnFirstActivation();
  UpdateCommandState(window, doc);
  CheckViewMode(doc->viewMode);
  int sortCommand = CommandOfSortKey(doc->sortKey);
  if (sortCommand) CheckSortMenuItem(sortCommand);
  CheckMenuItem(g_mainMenu, ID_VIEW_PREVIEW_PANE, PreviewShown(doc) ? MF_CHECKED : MF_UNCHECKED);
  DrawMenuBar(g_frameWindow);
}
