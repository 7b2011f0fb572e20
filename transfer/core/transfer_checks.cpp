#include "transfer/core/transfer_checks.h"

#include "services/core/archive_text.h"
#include "transfer/core/transfer_measure.h"

const char kNameClashMessage[] = "File and directory share the same name.\nOperation aborted.";
const char kMoveIntoChildMessage[] = "Can't move directory to child.\nOperation aborted.";
const char kMoveIntoSelfMessage[] = "Can't move directory to self.\nOperation aborted.";

TransferCheck CheckTransferItems(const TransferCheckInput& in) {
  if (in.target == nullptr || in.targetDir == nullptr || in.items.empty()) return TransferCheck::Refused;
  for (const Node* item : in.items)
    if (item == nullptr) return TransferCheck::Refused;

  if (in.sameArchive && in.items[0]->parent() == in.targetDir) return TransferCheck::Refused;

  const ArchiveFormat* format = DocumentFormat(in.target);
  const FormatLimits& limits = (format ? *format : DefaultFormat()).limits;
  const uint64_t base = TargetPathLength(in.targetDir);
  for (const Node* item : in.items)
    if (base + MaxPathBelow(item) > limits.maxPathLength) return TransferCheck::PathTooLong;

  const bool countEntries = !(in.move && in.sameArchive);
  const Node* root = in.target->root();
  int64_t total = 0;
  if (limits.recordsLeaves)
    total = root && root->firstChild() ? CountLeaves(root) : 0;
  else
    total = root ? CountNodes(root) - 1 : 0;
  for (const Node* item : in.items) {
    const int64_t added = CountNewEntries(in.targetDir, item, limits.recordsLeaves ? 0 : 1);
    if (added < 0) return TransferCheck::NameClash;
    if (!countEntries) continue;
    total += added;
    if (total > static_cast<int64_t>(limits.maxRecords)) return TransferCheck::TooManyFiles;
  }

  if (in.move && in.sameArchive) {
    for (const Node* item : in.items) {
      if (IsAncestor(item, in.targetDir)) return TransferCheck::MoveIntoChild;
      if (item == in.targetDir) return TransferCheck::MoveIntoSelf;
    }
  }
  return TransferCheck::Ok;
}

const char* TransferCheckMessage(TransferCheck check) {
  switch (check) {
    case TransferCheck::PathTooLong: return kMaxPathMessage;
    case TransferCheck::TooManyFiles: return kMaxFilesMessage;
    case TransferCheck::NameClash: return kNameClashMessage;
    case TransferCheck::MoveIntoChild: return kMoveIntoChildMessage;
    case TransferCheck::MoveIntoSelf: return kMoveIntoSelfMessage;
    default: return nullptr;
  }
}

const char* TransferCheckCaption(TransferCheck check, bool move) {
  if (check == TransferCheck::MoveIntoChild || check == TransferCheck::MoveIntoSelf) return "Move";
  return move ? "Move" : "Copy";
}
