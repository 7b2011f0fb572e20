// The one rule by which every name conflict of a copy, import or export is settled.
#pragma once

#include <cstdint>
#include <string>

#include "archive/tree.h"
#include "transfer/core/transfer_state.h"

// One side of a name conflict as the question shows it.
struct ConflictItem {
  std::string name;
  uint32_t size = 0;
  bool hasSize = false;  // false: the size is not known (a folder, a disk file the system would not measure)
};
// The conflict side of a node: a file has a size.
inline ConflictItem ConflictItemOf(const Node* node) {
  return node ? ConflictItem{node->name(), node->size(), node->IsFile()} : ConflictItem{};
}

// Asks the user whether a file should replace another of the same name. The Windows layer
// shows the Confirm File Replace dialog; tests answer from a script.
class ReplaceAsker {
 public:
  // One of the ReplaceAnswer values, or anything else when the question was closed.
  virtual int32_t AskReplace(const ConflictItem& existing, const ConflictItem& incoming) = 0;

 protected:
  ~ReplaceAsker() = default;
};

// Decides a conflict under the operation's state: asks while the mode is Ask and records
// "to all" answers in it; an answer outside the four sets cancelled. true: replace.
bool ResolveConflict(TransferState* state, ReplaceAsker& asker, const ConflictItem& existing,
                     const ConflictItem& incoming);
