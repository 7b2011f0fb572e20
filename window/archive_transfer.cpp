#include "window/archive_transfer.h"

#include <commctrl.h>

#include "panes/views.h"
#include "panes/window_document.h"
#include "services/message_box.h"
#include "transfer/core/transfer_checks.h"

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
  if (document == nullptr) {
    *state = TransferState{0, 0, ReplaceMode::Ask};
    if (arrived) arrived->assign(payload.count, false);
    return false;
  }
  FolderTreeView folderTree(document->folderTree);
  std::vector<ArchiveNode*> added;
  const bool done = CopyItemsInto(folderTree, document, targetDir, payload, state, arrived, &added);
  const bool shown = targetDir && targetDir->entry && targetDir->entry->treeItem &&
                     static_cast<HTREEITEM>(targetDir->entry->treeItem) == CurrentFolderItem(document->folderTree);
  if (shown) {
    int end = static_cast<int>(SendMessageA(document->itemList, LVM_GETITEMCOUNT, 0, 0));
    for (ArchiveNode* node : added) InsertListItem(document->itemList, node->entry, end++, LVIS_SELECTED, 0xFF);
  }
  return done;
}
