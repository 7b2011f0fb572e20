#include "transfer/core/transfer_checks.h"

#include "services/core/archive_text.h"
#include "transfer/core/transfer_measure.h"

const char kNameClashMessage[] = "File and directory share the same name.\nOperation aborted.";
const char kMoveIntoChildMessage[] = "Can't move directory to child.\nOperation aborted.";
const char kMoveIntoSelfMessage[] = "Can't move directory to self.\nOperation aborted.";

namespace {

Failure LimitFailure(Problem problem, std::string path, uint64_t count, uint64_t limit, const ArchiveFormat& format) {
  Failure f = Fail(problem, std::move(path));
  f.count = count;
  f.limit = limit;
  f.format = format.name;
  return f;
}

// The first path the items would take in targetDir that is longer than the format stores,
// with how many more are: only leaves need looking at, as a folder's path is shorter than
// any below it.
Failure FirstPathTooLong(const Node* targetDir, const std::vector<const Node*>& items, const ArchiveFormat& format) {
  const std::string base = StoredPath(targetDir);
  const uint64_t most = format.limits.maxPathLength;
  Failure first;
  for (const Node* item : items) {
    const size_t from = StoredPath(item->parent()).size();
    for (const Node* n = item; n; n = NextInSubtree(n, item)) {
      if (n->firstChild()) continue;
      const std::string path = StoredPath(n);
      const uint64_t length = base.size() + path.size() - from;
      if (length <= most) continue;
      if (first)
        ++first.more;
      else
        first = LimitFailure(Problem::PathTooLong, base + path.substr(from), length, most, format);
    }
  }
  return first;
}

}  // namespace

TransferCheck CheckTransferItems(const TransferCheckInput& in, Failure* limit) {
  if (in.target == nullptr || in.targetDir == nullptr || in.items.empty()) return TransferCheck::Refused;
  for (const Node* item : in.items)
    if (item == nullptr) return TransferCheck::Refused;

  if (in.sameArchive && in.items[0]->parent() == in.targetDir) return TransferCheck::Refused;

  const ArchiveFormat* documentFormat = DocumentFormat(in.target);
  const ArchiveFormat& format = documentFormat ? *documentFormat : DefaultFormat();
  const FormatLimits& limits = format.limits;
  const uint64_t base = TargetPathLength(in.targetDir);
  for (const Node* item : in.items) {
    if (base + MaxPathBelow(item) <= limits.maxPathLength) continue;
    if (limit) *limit = FirstPathTooLong(in.targetDir, in.items, format);
    return TransferCheck::PathTooLong;
  }

  const bool countEntries = !(in.move && in.sameArchive);
  const Node* root = in.target->root();
  int64_t total = 0;
  if (limits.recordsLeaves)
    total = root && root->firstChild() ? CountLeaves(root) : 0;
  else
    total = root ? CountNodes(root) - 1 : 0;
  // The item that takes the count past the limit is named; the entries of the rest count too.
  const Node* past = nullptr;
  for (const Node* item : in.items) {
    const int64_t added = CountNewEntries(in.targetDir, item, limits.recordsLeaves ? 0 : 1);
    if (added < 0) return TransferCheck::NameClash;
    if (!countEntries) continue;
    total += added;
    if (!past && total > static_cast<int64_t>(limits.maxRecords)) past = item;
  }
  if (past) {
    if (limit) {
      const size_t from = StoredPath(past->parent()).size();
      *limit = LimitFailure(Problem::TooManyFiles, StoredPath(in.targetDir) + StoredPath(past).substr(from),
                            uint64_t{limits.maxRecords} + 1, limits.maxRecords, format);
      limit->more = static_cast<uint64_t>(total) - limits.maxRecords - 1;
    }
    return TransferCheck::TooManyFiles;
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

std::string TransferCheckText(TransferCheck check, const Failure& limit) {
  if ((check == TransferCheck::PathTooLong || check == TransferCheck::TooManyFiles) && limit) return LimitMessage(limit);
  const char* message = TransferCheckMessage(check);
  return message ? message : std::string();
}

const char* TransferCheckCaption(TransferCheck check, bool move) {
  if (check == TransferCheck::MoveIntoChild || check == TransferCheck::MoveIntoSelf) return "Move";
  return move ? "Move" : "Copy";
}
