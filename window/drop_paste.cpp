#include "window/drop_paste.h"

#include <shellapi.h>
#include <sys/stat.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/loading.h"
#include "archive/tree.h"
#include "services/code_page.h"
#include "services/core/path_length.h"
#include "services/save_window.h"
#include "services/com_ptr.h"
#include "services/globals.h"
#include "services/messages.h"
#include "window/archive_transfer.h"
#include "transfer/core/drop_files.h"
#include "transfer/data_object.h"
#include "transfer/drop_target.h"
#include "window/disk_import.h"
#include "window/archive_window.h"
#include "window/command_state.h"
#include "window/undo.h"
#include "panes/views.h"
#include "services/message_box.h"

namespace {

// From this many dropped paths on, the import shows its progress.
constexpr size_t kLongImportPaths = 1000;

// Stops the list's drawing and arranging, which would otherwise follow every item
// inserted (arranging icons after each of n items takes time in n squared). Returns the
// arrange style to give back to ResumeList.
LONG_PTR PauseList(HWND list) {
  const LONG_PTR style = GetWindowLongPtrA(list, GWL_STYLE);
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  SetWindowLongPtrA(list, GWL_STYLE, style & ~LVS_AUTOARRANGE);
  return style & LVS_AUTOARRANGE;
}

// Draws and, where it arranged itself, arranges the list once.
void ResumeList(HWND list, LONG_PTR arranged) {
  SetWindowLongPtrA(list, GWL_STYLE, GetWindowLongPtrA(list, GWL_STYLE) | arranged);
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  if (arranged) SendMessageA(list, LVM_ARRANGE, LVA_DEFAULT, 0);
  RepaintWhole(list);
}

// The folder the request goes into: a directory list item stands for its own folder, a
// file for the folder the list shows.
bool ResolveTarget(WindowDocument* doc, DropRequest* request) {
  if (!request->treeItem && request->listIndex == -1) return false;
  if (request->treeItem) return true;
  const Node* node = ListItemNode(doc->itemList, request->listIndex);
  if (!node) return false;
  request->treeItem = node->IsDirectory() ? FolderItemOf(doc, node) : CurrentFolderItem(doc->folderTree);
  return request->treeItem != nullptr;
}

// The dropped paths as full, normalised paths in the process's code page ("dir\.." and
// "dir\." name the folders they lead to, never items called ".." or "."). UTF-16 paths (the
// shell's) are converted, ANSI ones taken as another program wrote them (see
// NarrowFromForeign). A path that cannot be written in the code page or is too long for the
// system is left out and noted, never cut or guessed.
std::vector<std::string> FullDropPaths(const DroppedFiles& files, TransferState* state) {
  std::vector<std::string> paths;
  const size_t count = files.wide ? files.wide16.size() : files.narrow.size();
  paths.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    std::string path;
    bool readable;
    if (files.wide) {
      const std::u16string& w = files.wide16[i];
      readable = NarrowFromWide(reinterpret_cast<const wchar_t*>(w.data()), w.size(), &path);
    } else {
      readable = NarrowFromForeign(files.narrow[i], &path);
    }
    if (!readable || path.empty()) {
      NoteTransferFailure(state, "a dropped file", "its name cannot be written in this system's code page");
      state->skipped = true;
      continue;
    }
    char full[kPathBufferSize];
    const DWORD length =
        Utf16Length(path) <= kMaxPathUnits ? GetFullPathNameA(path.c_str(), sizeof full, full, nullptr) : 0;
    if (length == 0 || length >= sizeof full || Utf16Length(std::string_view(full, length)) > kMaxPathUnits) {
      NoteTransferFailure(state, path.c_str(), "the path is too long");
      state->skipped = true;
      continue;
    }
    paths.emplace_back(full, length);
  }
  return paths;
}

LRESULT DropShellFiles(HWND window, WindowDocument* doc, const DropRequest& request) {
  // The block is checked whole before anything reads a path from it: a damaged or hostile
  // one changes nothing.
  DroppedFiles files;
  {
    GlobalLockGuard block(request.medium);
    if (!block.Data() || !ReadDropFiles(static_cast<const uint8_t*>(block.Data()), block.Size(), &files)) return 0;
  }
  TransferState state = {0, 0, ReplaceMode::Ask};
  const std::vector<std::string> paths = FullDropPaths(files, &state);
  return ImportDiskPaths(window, doc, request.treeItem, paths, &state);
}

}  // namespace

LRESULT ImportDiskPaths(HWND window, WindowDocument* doc, HTREEITEM into, const std::vector<std::string>& paths,
                        TransferState* given) {
  TransferState& state = *given;
  HWND tree = doc->folderTree;
  HTREEITEM highlighted = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_DROPHILITE, 0));
  const bool highlight = into != highlighted && into != CurrentFolderItem(tree);
  // The import puts its nodes into the drop-highlighted folder when there is one.
  if (highlight) SendMessageA(tree, TVM_SELECTITEM, TVGN_DROPHILITE, reinterpret_cast<LPARAM>(into));
  BeginImportCommand(doc);
  // Named also when the step joins one already open (a paste).
  EditScope step(doc, "Import");
  step.Name("Import", static_cast<uint32_t>(paths.size()));
  BeginImportBatch(doc, &state, paths.size());
  // The list is drawn and arranged once, after all the files went in, not after each.
  const bool bulk = paths.size() >= kIndexedImportPaths;
  const LONG_PTR arranged = bulk ? PauseList(doc->itemList) : 0;
  doc->listInBulk = true;
  // A long import shows how far it is, as a save does.
  HWND progress = paths.size() >= kLongImportPaths ? ProgressOpen(window, static_cast<uint32_t>(paths.size())) : nullptr;
  if (progress) SetWindowTextA(progress, "Importing...");
  for (const std::string& path : paths) {
    if (state.cancelled) break;
    struct _stat status;
    const bool found = _stat(path.c_str(), &status) == 0;
    if (progress) {
      ProgressShowItem(progress, path.c_str(), found ? static_cast<uint32_t>(status.st_size) : 0);
      ProgressStep(progress);
      // Cancel keeps what came in so far, as stopping a copy in Explorer does.
      if (ProgressCancelled(progress)) {
        state.cancelled = true;
        break;
      }
    }
    if (!found) {
      state.skipped = true;
      continue;
    }
    if (status.st_mode & _S_IFDIR) {
      ImportDirectory(window, doc, path.c_str(), &state);
    } else {
      ImportFile(window, doc, path.c_str(), &state);
    }
  }
  if (progress) DestroyWindow(progress);
  EndImportBatch(&state);
  step.End();
  doc->listInBulk = false;
  const bool shown = !highlight && (!highlighted || highlighted == CurrentFolderItem(tree));
  if (state.changed && shown) {
    SortItemList(doc);
    SetFocus(doc->itemList);
  }
  if (bulk) ResumeList(doc->itemList, arranged);
  UpdateCommandState(window, doc);
  if (state.changed) MarkModified(window);
  if (highlight) {
    SendMessageA(tree, TVM_SELECTITEM, TVGN_DROPHILITE, 0);
  } else {
    RefreshListColumn(doc->itemList, 1);
  }
  const std::string failures = TransferFailureMessage(state, "import", "imported");
  if (!failures.empty()) ShowErrorMessage(window, failures.c_str(), "Import");
  if (state.cancelled) return 0;
  // A shell that completes moves deletes what it dropped: it is told of a move only when
  // every file was taken.
  return state.skipped ? kDroppedInPart : 1;
}

namespace {

// The document whose live data object made payload, or null: a payload from another
// process, or one whose object is gone, names addresses that must not be followed.
ArchiveDocument* LiveSourceOf(const VellumixDataPayload& payload, ArchiveDataObject** maker = nullptr) {
  const auto* items = reinterpret_cast<const NodeId*>(payload.items);
  ArchiveDocument* source = nullptr;
  FindArchiveWindow(nullptr, [&](WindowDocument* doc) {
    if (reinterpret_cast<uintptr_t>(static_cast<ArchiveDocument*>(doc)) != payload.sourceRef) return false;
    for (ArchiveDataObject* candidate : {doc->dragSource, doc->clipboardSource}) {
      if (candidate && DataObjectHolds(candidate, items, payload.count)) {
        if (maker) *maker = candidate;
        source = doc;
        return true;
      }
    }
    return false;
  });
  return source;
}

LRESULT DropArchiveItems(HWND window, WindowDocument* doc, const DropRequest& request) {
  GlobalLockGuard block(request.medium);
  const auto* payload = static_cast<const VellumixDataPayload*>(block.Data());
  if (!payload || block.Size() < sizeof(VellumixDataPayload) || payload->count == 0 || payload->items == 0)
    return 0;
  Node* targetDir = TreeItemNode(doc->folderTree, request.treeItem);
  if (!targetDir) return 0;
  ArchiveDataObject* maker = nullptr;
  ArchiveDocument* sourceDocument = LiveSourceOf(*payload, &maker);
  if (!sourceDocument) return 0;
  const bool same = sourceDocument == static_cast<ArchiveDocument*>(doc);
  const bool move = (request.effect & DROPEFFECT_MOVE) != 0;
  // The items are found in their tree as they are now; one gone meanwhile is passed over.
  TransferPayload items{sourceDocument, {}};
  for (NodeId id : DataObjectItems(maker))
    if (const Node* node = sourceDocument->tree->Find(id)) items.items.push_back(node);
  block.Unlock();
  if (items.items.empty()) return 0;
  // Items dropped onto the folder that holds them: nothing to do.
  if (same && items.items[0]->parent() == targetDir) return 0;
  if (!CheckTransfer(window, doc, targetDir, items, move)) return 0;
  const bool shown = request.treeItem == CurrentFolderItem(doc->folderTree);
  TransferState state = {0, 0, ReplaceMode::Ask};
  std::vector<bool> arrived;
  // Named also when the step joins one already open (a drag within this window).
  EditScope step(doc, "Copy");
  step.Name(move ? "Move" : doc->pasting ? "Paste" : "Copy", static_cast<uint32_t>(items.items.size()));
  if (move) step.Link(DataObjectLink(maker), true);
  const bool done = RunTransfer(window, doc, targetDir, items, &state, &arrived);
  step.End();
  // The origin of a move takes away exactly what arrived here.
  if (move && maker) DataObjectSetArrivals(maker, arrived);
  if (state.changed) MarkModified(window);
  RepaintFolderItem(doc->folderTree, request.treeItem);
  SetFocus(window);
  if (shown) {
    RefreshListColumn(doc->itemList, 1);
    SetFocus(doc->itemList);
  }
  const std::string failures = TransferFailureMessage(state, "copy", "copied");
  if (!failures.empty()) ShowErrorMessage(window, failures.c_str(), move ? "Move" : "Copy");
  return done && !state.cancelled ? 1 : 0;
}

}  // namespace

ArchiveDataObject* PayloadMaker(HGLOBAL medium) {
  GlobalLockGuard block(medium);
  const auto* payload = static_cast<const VellumixDataPayload*>(block.Data());
  ArchiveDataObject* maker = nullptr;
  if (payload && block.Size() >= sizeof(VellumixDataPayload)) LiveSourceOf(*payload, &maker);
  return maker;
}

LRESULT OnDropRequest(HWND window, WindowDocument* doc, DropRequest* request) {
  if (!doc || !request || !request->medium) return 0;
  if (!ResolveTarget(doc, request)) return 0;
  if (request->format == CF_HDROP) return DropShellFiles(window, doc, *request);
  if (g_cfVellumixData && request->format == g_cfVellumixData) return DropArchiveItems(window, doc, *request);
  return 0;
}

void AttachDropTarget(HWND window, WindowDocument* doc) {
  // A game folder takes nothing in: it is only read.
  if (!doc || IsGameFolderView(doc)) return;
  ComPtr<IDropTarget> target(CreateDropTarget(window));
  if (!target) return;
  CoLockObjectExternal(target, TRUE, TRUE);
  if (RegisterDragDrop(window, target) != S_OK) {
    CoLockObjectExternal(target, FALSE, TRUE);
    return;
  }
  doc->dropTarget = std::move(target);
}

void DetachDropTarget(HWND window, WindowDocument* doc) {
  if (!doc || !doc->dropTarget) return;
  ComPtr<IDropTarget> target = std::move(doc->dropTarget);
  RevokeDragDrop(window);
  CoLockObjectExternal(target, FALSE, TRUE);
}
