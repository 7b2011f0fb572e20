#include "window/archive_transfer.h"

#include <commctrl.h>

#include "panes/views.h"
#include "panes/window_document.h"
#include "services/message_box.h"
#include "transfer/core/transfer_checks.h"

bool CheckTransfer(HWND window, WindowDocument* document, Node* targetDir,
                   const TransferPayload& payload, bool move) {
  if (document == nullptr || targetDir == nullptr) return false;
  if (FolderItemOf(document, targetDir) == nullptr) return false;
  const bool same = payload.sourceDocument == static_cast<ArchiveDocument*>(document);
  TransferCheckInput input{document, targetDir, payload.items, same, move};
  Failure limit;
  const TransferCheck check = CheckTransferItems(input, &limit);
  if (check == TransferCheck::Ok) return true;
  const std::string message = TransferCheckText(check, limit);
  if (!message.empty()) ShowErrorMessage(window, message.c_str(), TransferCheckCaption(check, move));
  return false;
}

bool RunTransfer(HWND window, WindowDocument* document, Node* targetDir,
                 const TransferPayload& payload, TransferState* state, std::vector<bool>* arrived) {
  (void)window;
  if (state == nullptr) return false;
  if (document == nullptr) {
    *state = TransferState{0, 0, ReplaceMode::Ask};
    if (arrived) arrived->assign(payload.items.size(), false);
    return false;
  }
  std::vector<Node*> added;
  const bool done = CopyItemsInto(document, targetDir, payload, state, arrived, &added);
  // Folders made or merged into may hold new folders anywhere below the target.
  if (targetDir && state->changed) AddFolderItems(document, targetDir);
  const bool shown = targetDir && FolderItemOf(document, targetDir) == CurrentFolderItem(document->folderTree);
  if (shown) {
    int end = static_cast<int>(SendMessageA(document->itemList, LVM_GETITEMCOUNT, 0, 0));
    for (Node* node : added) InsertListItem(document->itemList, node, end++, LVIS_SELECTED, 0xFF);
    // The new items take their places in the list's order.
    if (!added.empty()) SortItemList(document);
  }
  return done;
}
