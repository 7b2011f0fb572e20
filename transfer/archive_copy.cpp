#include "transfer/archive_copy.h"

#include "transfer/core/node_copy.h"
#include "transfer/core/transfer_checks.h"
#include "transfer/replace_dialog.h"
#include "window/archive_window.h"
#include "window/message_box.h"
#include "window/views.h"

namespace {

ArchiveNode* CopyInto(WindowDocument* document, const ArchiveDocument* source, ArchiveNode* targetDir,
                      const ArchiveNode* item, TransferState* state, bool* arrived = nullptr) {
  if (arrived) *arrived = false;
  if (document == nullptr) return nullptr;
  FolderTreeView folderTree(document->folderTree);
  ReplaceDialogAsker asker;
  NodeCopyContext context{folderTree, asker, state, source};
  ArchiveNode* top = CopyNodeInto(context, targetDir, item);
  if (arrived) *arrived = !context.incomplete;
  return top;
}

bool IsCurrentFolder(WindowDocument* document, const ArchiveNode* dir) {
  return dir && dir->entry && dir->entry->treeItem &&
         static_cast<HTREEITEM>(dir->entry->treeItem) == CurrentFolderItem(document->folderTree);
}

}  // namespace

bool CheckTransfer(HWND window, WindowDocument* document, ArchiveNode* targetDir,
                   const TransferPayload& payload, bool move) {
  if (document == nullptr || targetDir == nullptr || targetDir->entry == nullptr) return false;
  if (TreeItemEntry(document->folderTree, static_cast<HTREEITEM>(targetDir->entry->treeItem)) == nullptr)
    return false;
  const bool same = payload.sourceDocument == static_cast<ArchiveDocument*>(document);
  TransferCheckInput input{document, targetDir, payload.items, payload.count, same, move};
  const TransferCheck check = CheckTransferItems(input);
  if (check == TransferCheck::Ok) return true;
  if (const char* message = TransferCheckMessage(check)) {
    ShowErrorMessage(window, message, TransferCheckCaption(check, move));
  }
  return false;
}

bool RunTransfer(HWND window, WindowDocument* document, ArchiveNode* targetDir,
                 const TransferPayload& payload, TransferState* state, std::vector<bool>* arrived) {
  (void)window;
  if (state == nullptr) return false;
  *state = TransferState{0, 0, ReplaceMode::Ask};
  if (arrived) arrived->assign(payload.count, false);
  if (document == nullptr || targetDir == nullptr || payload.items == nullptr) return false;
  const bool same = payload.sourceDocument == static_cast<ArchiveDocument*>(document);
  const bool shown = IsCurrentFolder(document, targetDir);
  for (uint32_t i = 0; i < payload.count && !state->cancelled; ++i) {
    const ArchiveNode* item = payload.items[i];
    bool whole = false;
    ArchiveNode* added = CopyInto(document, same ? nullptr : payload.sourceDocument, targetDir, item,
                                  state, &whole);
    if (arrived) (*arrived)[i] = whole;
    if (added && shown) {
      const int end = static_cast<int>(SendMessageA(document->itemList, LVM_GETITEMCOUNT, 0, 0));
      InsertListItem(document->itemList, added->entry, end, LVIS_SELECTED, 0xFF);
    }
  }
  return !state->cancelled;
}
