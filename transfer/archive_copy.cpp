#include "transfer/archive_copy.h"

#include "archive/document.h"
#include "transfer/core/node_copy.h"
#include "transfer/replace_dialog.h"

bool CopyItemsInto(FolderTree& folderTree, ArchiveDocument* document, ArchiveNode* targetDir,
                  const TransferPayload& payload, TransferState* state, std::vector<bool>* arrived,
                  std::vector<ArchiveNode*>* added) {
  if (state == nullptr) return false;
  *state = TransferState{0, 0, ReplaceMode::Ask};
  if (arrived) arrived->assign(payload.count, false);
  if (document == nullptr || targetDir == nullptr || payload.items == nullptr) return false;
  const bool same = payload.sourceDocument == document;
  ReplaceDialogAsker asker;
  NodeCopyContext context{folderTree, asker, state, same ? nullptr : payload.sourceDocument};
  for (uint32_t i = 0; i < payload.count && !state->cancelled; ++i) {
    ArchiveNode* top = CopyNodeInto(context, targetDir, payload.items[i]);
    if (arrived) (*arrived)[i] = !context.incomplete;
    if (top && added) added->push_back(top);
  }
  return !state->cancelled;
}
