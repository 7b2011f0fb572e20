// The checks a copy or move of archive items runs before anything changes: path length,
// entry count, file/directory name clash, and moving a directory into itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/document.h"
#include "archive/tree.h"

enum class TransferCheck {
  Ok,
  Refused,        // nothing to do (empty payload, items dropped on their own folder): no message
  PathTooLong,
  TooManyFiles,
  NameClash,
  MoveIntoChild,
  MoveIntoSelf,
};

struct TransferCheckInput {
  const ArchiveDocument* target;  // its format chooses the limits, its root is counted
  const Node* targetDir;
  std::vector<const Node*> items;  // the items' nodes in the tree they come from
  bool sameArchive;  // the items come from the target document itself
  bool move;
};

// limit, when given, receives the path and numbers of a PathTooLong or TooManyFiles: the first
// path too long (or the item that takes the count past the limit) and how many more.
TransferCheck CheckTransferItems(const TransferCheckInput& input, Failure* limit = nullptr);

// The message of a failed check, or null for Ok and Refused.
const char* TransferCheckMessage(TransferCheck check);
// The same, naming the path and the limit of a PathTooLong or TooManyFiles that limit
// describes; empty for Ok and Refused.
std::string TransferCheckText(TransferCheck check, const Failure& limit);
// "Move" or "Copy": the caption of the check's message box.
const char* TransferCheckCaption(TransferCheck check, bool move);

extern const char kNameClashMessage[];      // "File and directory share the same name.\nOperation aborted."
extern const char kMoveIntoChildMessage[];  // "Can't move directory to child.\nOperation aborted."
extern const char kMoveIntoSelfMessage[];   // "Can't move directory to self.\nOperation aborted."
