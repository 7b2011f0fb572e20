#include "window/clipboard_commands.h"

#include <commctrl.h>
#include <ole2.h>

#include <cstdlib>
#include <initializer_list>
#include <new>
#include <vector>

#include "archive/tree.h"
#include "services/com_ptr.h"
#include "services/globals.h"
#include "services/messages.h"
#include "transfer/data_object.h"
#include "transfer/drop_target.h"
#include "window/archive_window.h"
#include "window/command_state.h"
#include "window/drop_paste.h"
#include "window/moved_items.h"
#include "panes/views.h"

namespace {

constexpr DWORD kClipboardRetryMs = 5;
// Another program may keep the clipboard open for a moment; one that keeps it longer than
// this is not waited for, and the caller goes on as if the clipboard had kept the object.
constexpr DWORD kClipboardPatienceMs = 3000;

bool SetClipboardPatiently(IDataObject* object) {
  const DWORD start = GetTickCount();
  while (OleSetClipboard(object) != S_OK) {
    if (GetTickCount() - start >= kClipboardPatienceMs) return false;
    Sleep(kClipboardRetryMs);
  }
  return true;
}

// A 4-byte shared block holding value, set as format on object.
bool SetEffect(IDataObject* object, UINT format, DWORD value) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, sizeof value);
  if (!block) return false;
  auto* p = static_cast<DWORD*>(GlobalLock(block));
  if (!p) {
    GlobalFree(block);
    return false;
  }
  *p = value;
  GlobalUnlock(block);
  FORMATETC f = {static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium = {};
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = block;
  const bool set = object->SetData(&f, &medium, FALSE) == S_OK;
  GlobalFree(block);
  return set;
}

// The 32-bit value of format, or fallback when it cannot be read.
DWORD ReadEffect(IDataObject* object, UINT format, DWORD fallback, bool* read = nullptr) {
  if (read) *read = false;
  FORMATETC f = {static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium = {};
  if (object->GetData(&f, &medium) != S_OK) return fallback;
  DWORD value = fallback;
  if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal && GlobalSize(medium.hGlobal) >= sizeof value) {
    if (const auto* p = static_cast<const DWORD*>(GlobalLock(medium.hGlobal))) {
      value = *p;
      GlobalUnlock(medium.hGlobal);
      if (read) *read = true;
    }
  }
  ReleaseStgMedium(&medium);
  return value;
}

// The folder the tree's caret is on, unless it is the root, which cannot leave.
std::vector<NodeId> CaretFolder(WindowDocument* doc) {
  const Node* folder = TreeItemNode(doc->folderTree, CurrentFolderItem(doc->folderTree));
  if (!folder || folder->IsRoot()) return {};
  return {folder->id()};
}

void DimCutItems(WindowDocument* doc, bool fromTree) {
  if (fromTree) {
    TVITEMA item = {};
    item.mask = TVIF_STATE | TVIF_HANDLE;
    item.hItem = CurrentFolderItem(doc->folderTree);
    item.state = TVIS_CUT;
    item.stateMask = TVIS_CUT;
    SendMessageA(doc->folderTree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return;
  }
  for (int i = -1; (i = static_cast<int>(SendMessageA(doc->itemList, LVM_GETNEXTITEM, i, LVNI_SELECTED))) != -1;) {
    if (const Node* node = ListItemNode(doc->itemList, i)) doc->cutItems.insert(node->id());
    LVITEMA state = {};
    state.state = LVIS_CUT;
    state.stateMask = LVIS_CUT;
    SendMessageA(doc->itemList, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&state));
  }
}

}  // namespace

std::vector<NodeId> SelectedListItems(WindowDocument* doc) {
  std::vector<NodeId> items;
  HWND list = doc->itemList;
  for (int i = -1; (i = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, i, LVNI_SELECTED))) != -1;) {
    if (const Node* node = ListItemNode(list, i)) items.push_back(node->id());
  }
  return items;
}

bool FreeClipboard(HWND window, WindowDocument* doc) {
  SetClipboardPatiently(nullptr);
  if (doc->clipboardSource) return false;
  UpdateCommandState(window, doc);
  return true;
}

void LetClipboardGo(HWND window, WindowDocument* doc) {
  if (!doc || !doc->clipboardSource) return;
  ArchiveDataObject* object = doc->clipboardSource;
  IDataObject* data = AsDataObject(object);
  // Held while the clipboard lets go: a window being destroyed no longer hears of the
  // object's last release (its panes are gone), so that release must not happen while the
  // object is still needed here.
  data->AddRef();
  SetClipboardPatiently(nullptr);
  // Whoever still holds the object (the clipboard that would not open, a program that
  // took a reference) keeps it, but without its items.
  DetachDataObject(object);
  doc->clipboardSource = nullptr;
  data->Release();
  (void)window;
}

void CopyOrCutSelection(HWND window, WindowDocument* doc, bool cut) {
  HWND focus = GetFocus();
  const bool fromTree = focus == doc->folderTree;
  if (!fromTree && focus != doc->itemList) return;
  if (doc->clipboardSource && !FreeClipboard(window, doc)) return;
  const std::vector<NodeId> items = fromTree ? CaretFolder(doc) : SelectedListItems(doc);
  if (items.empty()) return;
  ArchiveDataObject* object = CreateDataObject(doc, doc->folderTree, items, 1);
  if (!object) return;
  doc->clipboardSource = object;
  IDataObject* data = AsDataObject(object);
  if (!SetEffect(data, g_cfPreferredDropEffect, cut ? DROPEFFECT_MOVE : DROPEFFECT_COPY) ||
      !SetClipboardPatiently(data)) {
    // Nobody else holds the object: it goes now.
    doc->clipboardSource = nullptr;
    DetachDataObject(object);
    data->Release();
    return;
  }
  data->Release();
  UpdateCommandState(window, doc);
  if (cut) DimCutItems(doc, fromTree);
}

void PasteClipboard(HWND window, WindowDocument* doc) {
  HTREEITEM target = CurrentFolderItem(doc->folderTree);
  if (!target) return;
  IDataObject* clipboard = nullptr;
  if (OleGetClipboard(&clipboard) != S_OK || !clipboard) return;
  ComPtr<IDataObject> data(clipboard);
  DWORD effect = ReadEffect(data, g_cfPreferredDropEffect, DROPEFFECT_COPY);
  UINT format = 0;
  STGMEDIUM medium = {};
  for (UINT candidate : {g_cfVellumixData, static_cast<UINT>(CF_HDROP)}) {
    if (!candidate) continue;
    FORMATETC f = {static_cast<CLIPFORMAT>(candidate), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    if (data->QueryGetData(&f) != S_OK) continue;
    if (data->GetData(&f, &medium) != S_OK) return;
    if (medium.tymed != TYMED_HGLOBAL) {
      ReleaseStgMedium(&medium);
      return;
    }
    format = candidate;
    break;
  }
  if (!format) return;
  if (effect != DROPEFFECT_COPY && effect != DROPEFFECT_MOVE) effect = DROPEFFECT_COPY;
  const bool move = effect == DROPEFFECT_MOVE && format == g_cfVellumixData;
  // The object that made the items is held until the transfer and the handshake are over:
  // if the clipboard were emptied meanwhile (another program copies while the Confirm File
  // Replace dialog is open), its last release would free the items being copied. The
  // clipboard's stand-in may not pass SetData on (Wine's does not), so the handshake goes
  // to this object directly as well.
  ArchiveDataObject* maker = format == g_cfVellumixData ? PayloadMaker(medium.hGlobal) : nullptr;
  ComPtr<IDataObject> makerHeld = ComPtr<IDataObject>::Share(maker ? AsDataObject(maker) : nullptr);
  DropRequest request = {effect, format, medium.hGlobal, target, -1};
  doc->pasting = true;
  const LRESULT done = SendMessageA(window, WMU_DROP, reinterpret_cast<WPARAM>(&request), 0);
  doc->pasting = false;
  ReleaseStgMedium(&medium);
  if (move && done) {
    for (UINT handshake : {g_cfPerformedDropEffect, g_cfPasteSucceeded}) {
      if (!SetEffect(data, handshake, DROPEFFECT_MOVE) && maker)
        SetEffect(AsDataObject(maker), handshake, DROPEFFECT_MOVE);
    }
  }
  // Let go before the clipboard is emptied: its release of the object is then the last.
  makerHeld.Reset();
  data.Reset();
  if (move && done) SetClipboardPatiently(nullptr);
  if (done) UpdateCommandState(window, doc);
}

LRESULT OnClipboardReleased(HWND window, WindowDocument* doc, const NodeId* items, uint32_t count) {
  if (!doc || !doc->clipboardSource) return 1;
  ArchiveDataObject* object = doc->clipboardSource;
  if (!DataObjectHolds(object, items, count)) return 1;
  IDataObject* data = AsDataObject(object);
  bool read = false;
  const bool cut = ReadEffect(data, g_cfPreferredDropEffect, 0, &read) == DROPEFFECT_MOVE && read;
  if (cut && items && count > 0) {
    // The handshake says the paste moved the items; the object says which of them arrived
    // (the user may have kept some, or some could not be read): only those leave.
    const bool handshake = ReadEffect(data, g_cfPerformedDropEffect, 0) == DROPEFFECT_MOVE &&
                           ReadEffect(data, g_cfPasteSucceeded, 0) == DROPEFFECT_MOVE;
    std::vector<bool> moved(count, false);
    for (uint32_t i = 0; handshake && i < count; ++i) moved[i] = DataObjectItemMoved(object, i);
    // A folder cut from the tree that stays keeps its item: found before anything goes.
    HTREEITEM dimmedFolder = nullptr;
    const Node* first = doc->tree->Find(items[0]);
    if (count == 1 && !moved[0] && first && first->IsDirectory()) dimmedFolder = FolderItemOf(doc, first);
    RemoveMovedItems(window, doc, std::vector<NodeId>(items, items + count), moved, DataObjectLink(object));
    ClearCutMarks(doc, dimmedFolder);
    UpdateWindow(doc->itemList);
  }
  doc->clipboardSource = nullptr;
  if (!doc->cutItems.empty()) ClearCutMarks(doc, nullptr);
  UpdateCommandState(window, doc);
  return 1;
}
