#include "window/game_folder_view.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/disk.h"
#include "archive/game_folder.h"
#include "archive/tree.h"
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

int SearchAsCommand(EngineTarget target) {
  const std::vector<EngineTarget>& targets = EngineTargets();
  const auto at = std::find(targets.begin(), targets.end(), target);
  return ID_VIEW_SEARCH_AS_ANY + static_cast<int>(at == targets.end() ? 0 : at - targets.begin());
}

bool TargetOfSearchAsCommand(int command, EngineTarget* target) {
  const std::vector<EngineTarget>& targets = EngineTargets();
  const int at = command - ID_VIEW_SEARCH_AS_ANY;
  if (at < 0 || at >= static_cast<int>(targets.size()) || command > ID_VIEW_SEARCH_AS_QUAKE3) return false;
  *target = targets[static_cast<size_t>(at)];
  return true;
}

void SearchGameFolderAs(HWND window, WindowDocument* doc, EngineTarget target) {
  if (!IsGameFolderView(doc) || doc->target == target) return;
  const std::string path = DocumentPath(doc);
  const Node* shown = TreeItemNode(doc->folderTree, CurrentFolderItem(doc->folderTree));
  const std::string folder = shown ? StoredPath(shown) : std::string();
  WINDOWPLACEMENT placement = {};
  placement.length = sizeof placement;
  const bool placed = GetWindowPlacement(window, &placement) != 0;

  ArchiveWindowRequest request;
  request.path = path.c_str();
  request.target = &target;
  request.replacing = window;
  HWND opened = reinterpret_cast<HWND>(SendMessageA(g_frameWindow, WMU_OPEN_ARCHIVE, 3, reinterpret_cast<LPARAM>(&request)));
  WindowDocument* other = opened ? DocumentOf(opened) : nullptr;
  if (other == nullptr) return;  // the open said why; this view stays
  if (placed && placement.showCmd != SW_SHOWMAXIMIZED) {
    placement.showCmd = SW_SHOWNORMAL;
    SetWindowPlacement(opened, &placement);
  }
  // The folder shown before, as far down as the new search still holds it.
  const Node* node = other->root();
  size_t at = 0;
  while (at < folder.size()) {
    const size_t end = folder.find('/', at);
    const Node* child = FindChildNamed(node, folder.substr(at, end - at));
    if (child == nullptr || !child->IsDirectory()) break;
    node = child;
    at = end == std::string::npos ? folder.size() : end + 1;
  }
  // The filter of the shadowing files stays as it was; the root is shown already.
  other->onlyShadowing = doc->onlyShadowing;
  HTREEITEM item = FolderItemOf(other, node);
  if (item && node != other->root())
    SendMessageA(other->folderTree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
  else if (other->onlyShadowing)
    ShowFolder(opened, other, CurrentFolderItem(other->folderTree));
  // This window shows nothing the new one does not: it closes as any window does, letting
  // go of its viewers' copies and its clipboard data.
  SendMessageA(window, WM_CLOSE, 0, 0);
  SendMessageA(g_mdiClient, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(opened), 0);
}
