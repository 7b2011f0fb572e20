#include "window/commands.h"

#include "resources/command_ids.h"
#include "window/archive_window.h"
#include "window/clipboard_commands.h"
#include "window/compare.h"
#include "window/context_menu.h"
#include "window/edit_commands.h"
#include "window/filter_box.h"
#include "window/find.h"
#include "window/game_folder_view.h"
#include "window/properties.h"
#include "window/rename.h"
#include "window/save.h"
#include "window/test_archive.h"
#include "window/transfer_commands.h"
#include "window/undo.h"
#include "panes/preview_pane.h"
#include "panes/views.h"
#include "services/core/archive_text.h"
#include "services/globals.h"
#include "services/message_box.h"

namespace {

// A command that would change or save a game folder: refused with a message that says why.
bool RefusedInGameFolder(HWND window, int command) {
  switch (command) {
    case ID_FILE_SAVE:
    case ID_FILE_SAVE_AS:
    case ID_EDIT_DELETE:
    case ID_EDIT_UNDO:
    case ID_EDIT_REDO:
    case ID_EDIT_CUT:
    case ID_EDIT_PASTE:
    case ID_EDIT_RENAME:
    case ID_OBJECT_NEW_DIRECTORY:
    case ID_OBJECT_IMPORT_FILE:
    case ID_OBJECT_IMPORT_DIRECTORY:
    case ID_OBJECT_IMPORT_CONTENTS:
      ShowErrorMessage(window, kGameFolderReadOnlyMessage, kProgramName);
      return true;
    default:
      return false;
  }
}

}  // namespace

bool OnArchiveCommand(HWND window, WindowDocument* doc, int command, HWND control, int code) {
  if (!doc) return false;
  if (control && control == doc->filterBox) {
    if (code == EN_CHANGE) OnFilterChanged(window, doc);
    return true;
  }
  if (IsGameFolderView(doc) && RefusedInGameFolder(window, command)) return true;
  EngineTarget target;
  if (TargetOfSearchAsCommand(command, &target)) {
    SearchGameFolderAs(window, doc, target);
    return true;
  }
  switch (command) {
    case ID_OBJECT_SHOW_IN_ARCHIVE:
      ShowInArchive(window, doc);
      return true;
    case ID_VIEW_ONLY_SHADOWING:
      ToggleOnlyShadowing(window, doc);
      return true;
    case ID_FILE_SAVE:
      SaveDocument(window);
      return true;
    case ID_FILE_SAVE_AS:
      SaveDocumentAs(window);
      return true;
    case ID_FILE_TEST_ARCHIVE:
      TestArchive(window, doc);
      return true;
    case ID_FILE_COMPARE:
    case ID_FILE_COMPARE_FOLDER:
      CompareWithOtherSide(window, doc, command == ID_FILE_COMPARE_FOLDER);
      return true;
    case ID_EDIT_FIND:
      FindInArchive(window, doc);
      return true;
    case ID_EDIT_DELETE:
      DeleteSelection(window, doc);
      return true;
    case ID_EDIT_UNDO:
      UndoEdit(window, doc);
      return true;
    case ID_EDIT_REDO:
      RedoEdit(window, doc);
      return true;
    case ID_EDIT_CUT:
    case ID_EDIT_COPY:
      CopyOrCutSelection(window, doc, command == ID_EDIT_CUT);
      return true;
    case ID_EDIT_PASTE:
      PasteClipboard(window, doc);
      return true;
    case ID_EDIT_RENAME:
      StartRename(doc);
      return true;
    case ID_OBJECT_VIEW:
      ViewSelectedItem(doc);
      return true;
    case ID_OBJECT_NEW_DIRECTORY:
      NewDirectory(window, doc);
      return true;
    case ID_OBJECT_PROPERTIES:
      ShowProperties(window, doc);
      return true;
    case ID_OBJECT_IMPORT_FILE:
    case ID_OBJECT_IMPORT_DIRECTORY:
    case ID_OBJECT_IMPORT_CONTENTS:
    case ID_OBJECT_EXPORT:
      return OnTransferCommand(window, doc, command);
    case ID_EDIT_SELECT_ALL:
    case ID_EDIT_INVERT_SELECTION:
      SendMessageA(doc->itemList, WM_COMMAND, command, 0);
      return true;
    case ID_VIEW_LARGE_ICONS:
    case ID_VIEW_SMALL_ICONS:
    case ID_VIEW_LIST:
    case ID_VIEW_DETAILS:
    case ID_VIEW_THUMBNAILS:
      SetViewMode(window, doc, command);
      return true;
    case ID_VIEW_BY_NAME:
    case ID_VIEW_BY_TYPE:
    case ID_VIEW_BY_SIZE:
    case ID_VIEW_BY_MODIFIED:
    case ID_VIEW_BY_PACKED:
    case ID_VIEW_BY_RATIO:
    case ID_VIEW_BY_METHOD:
    case ID_VIEW_BY_CRC:
      SetSortKey(window, doc, command);
      return true;
    case ID_OBJECT_UP:
      GoUp(doc);
      return true;
    case ID_VIEW_PREVIEW_PANE:
      ShowPreviewPane(window, doc, !PreviewShown(doc));
      return true;
    case ID_VIEW_REFRESH:
      RefreshList(doc);
      return true;
    case ID_VIEW_FILTER:
      FocusFilterBox(doc);
      return true;
  }
  return false;
}
