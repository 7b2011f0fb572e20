#include "transfer/core/transfer_checks.h"

#include "transfer/core/transfer_measure.h"

const char kNameClashMessage[] = "File and directory share the same name.\nOperation aborted.";
const char kMoveIntoChildMessage[] = "Can't move directory to child.\nOperation aborted.";
const char kMoveIntoSelfMessage[] = "Can't move directory to self.\nOperation aborted.";

namespace {

const ArchiveNode* LiveNode(const ArchiveNode* item) {
  return item && item->entry ? item->entry->node : nullptr;
}

}  // namespace

TransferCheck CheckTransferItems(const TransferCheckInput& in) {
  if (in.target == nullptr || in.targetDir == nullptr || in.items == nullptr || in.count == 0)
    return TransferCheck::Refused;
  for (uint32_t i = 0; i < in.count; ++i)
    if (in.items[i] == nullptr || in.items[i]->entry == nullptr) return TransferCheck::Refused;

  if (in.sameArchive) {
    const ArchiveNode* first = LiveNode(in.items[0]);
    if (first && first->parent == in.targetDir) return TransferCheck::Refused;
  }

  const bool pak = in.target->archiveKind == ArchiveKind::Pak;
  // A PAK stores each path with its NUL in 56 bytes; a ZIP name length is 16 bits.
  const uint64_t pathLimit = pak ? kPakMaxPathLength + 1 : kPk3MaxPathLength + 1;
  const uint64_t base = TargetPathLength(in.targetDir);
  for (uint32_t i = 0; i < in.count; ++i) {
    if (base + MaxPathBelow(in.items[i]) >= pathLimit) return TransferCheck::PathTooLong;
  }

  const bool countEntries = !(in.move && in.sameArchive);
  const ArchiveNode* root = in.target->root;
  int64_t total = 0;
  if (pak)
    total = root && root->firstChild ? TreeCountLeaves(root) : 0;
  else
    total = TreeCountNodes(root);
  const int64_t countLimit = pak ? kPakMaxLeaves : kPk3MaxNodes;
  for (uint32_t i = 0; i < in.count; ++i) {
    const int64_t added = CountNewEntries(in.targetDir, in.items[i], pak ? 0 : 1);
    if (added < 0) return TransferCheck::NameClash;
    if (!countEntries) continue;
    total += added;
    if (total > countLimit) return TransferCheck::TooManyFiles;
  }

  if (in.move && in.sameArchive) {
    for (uint32_t i = 0; i < in.count; ++i) {
      const ArchiveNode* live = LiveNode(in.items[i]);
      if (live == nullptr) continue;
      if (TreeIsAncestor(live, in.targetDir)) return TransferCheck::MoveIntoChild;
      if (live == in.targetDir) return TransferCheck::MoveIntoSelf;
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
