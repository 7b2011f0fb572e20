#include "window/game_folder_view.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "archive/disk.h"
#include "archive/game_folder.h"
#include "panes/views.h"
#include "resources/command_ids.h"
#include "services/globals.h"
#include "services/message_box.h"
#include "services/messages.h"
#include "window/find.h"

namespace {

// The file node reading from entry of doc's source, or null.
const Node* NodeOfEntry(const WindowDocument* doc, uint32_t entry) {
  const Node* root = doc->root();
  for (const Node* node = root; node; node = NextInSubtree(node, root)) {
    const SourceEntry* source = node->IsFile() ? node->source() : nullptr;
    if (source && source->index == entry) return node;
  }
  return nullptr;
}

}  // namespace

void ShowInArchive(HWND window, WindowDocument* doc) {
  const GameFolderSource* folder = doc && doc->source ? doc->source->AsGameFolder() : nullptr;
  if (folder == nullptr) return;
  const int selected = static_cast<int>(SendMessageA(doc->itemList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  const Node* node = selected >= 0 ? ListItemNode(doc->itemList, selected) : nullptr;
  const SourceEntry* entry = node && node->IsFile() ? node->source() : nullptr;
  if (entry == nullptr || entry->index >= folder->Count()) {
    ShowErrorMessage(window, "Select a file to show in the archive it is read from.", kProgramName);
    return;
  }
  const GameFolderMember& member = folder->MemberOf(entry->index);
  if (member.loose()) {
    // A loose file lies in the folder itself: the shell shows it there.
    const std::string parameters = "/select,\"" + folder->LoosePath(entry->index) + "\"";
    ShellExecuteA(window, "open", "explorer.exe", parameters.c_str(), nullptr, SW_SHOWNORMAL);
    return;
  }
  const uint32_t wanted = folder->HoldersBegin(entry->index)->entry;
  const auto showing = [&member](WindowDocument* other) {
    return other->source && !IsGameFolderView(other) && SameDiskFile(other->source->path(), member.path);
  };
  HWND archive = FindArchiveWindow(nullptr, showing);
  if (archive == nullptr)
    archive = reinterpret_cast<HWND>(
        SendMessageA(g_frameWindow, WMU_OPEN_ARCHIVE, 0, reinterpret_cast<LPARAM>(member.path.c_str())));
  if (archive == nullptr) archive = FindArchiveWindow(nullptr, showing);
  WindowDocument* other = archive ? DocumentOf(archive) : nullptr;
  if (other == nullptr) return;  // the archive could not be opened: its window said why
  SendMessageA(g_mdiClient, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(archive), 0);
  // The archive's own entry, found by its number: a path it stores twice shows the one read.
  const Node* shown = NodeOfEntry(other, wanted);
  if (shown == nullptr || !ShowNodeInPanes(other, shown))
    ShowErrorMessage(archive, "The file is no longer where the game folder found it in this archive.", kProgramName);
}

void ToggleOnlyShadowing(HWND window, WindowDocument* doc) {
  if (!IsGameFolderView(doc)) return;
  doc->onlyShadowing = !doc->onlyShadowing;
  CheckMenuItem(g_mainMenu, ID_VIEW_ONLY_SHADOWING, doc->onlyShadowing ? MF_CHECKED : MF_UNCHECKED);
  ShowFolder(window, doc, CurrentFolderItem(doc->folderTree));
}
