#include "transfer/archive_copy.h"

#include "archive/document.h"
#include "transfer/core/node_copy.h"
#include "transfer/replace_dialog.h"

bool CopyItemsInto(ArchiveDocument* document, Node* targetDir, const TransferPayload& payload, TransferState* state,
                  std::vector<bool>* arrived, std::vector<Node*>* added) {
  if (state == nullptr) return false;
  *state = TransferState{0, 0, ReplaceMode::Ask};
  if (arrived) arrived->assign(payload.items.size(), false);
  if (document == nullptr || !document->tree || targetDir == nullptr || payload.items.empty()) return false;
  const bool same = payload.sourceDocument == document;
  ReplaceDialogAsker asker;
  NodeCopyContext context{*document->tree, asker, state, same ? nullptr : payload.sourceDocument};
  for (size_t i = 0; i < payload.items.size() && !state->cancelled; ++i) {
    Node* top = CopyNodeInto(context, targetDir, payload.items[i]);
    if (arrived) (*arrived)[i] = !context.incomplete;
    if (top && added) added->push_back(top);
  }
  return !state->cancelled;
}
