// What one user operation (a drop, a paste, an import or export command) carries through
// all its steps: whether the user cancelled, whether the tree changed, and how name
// conflicts are settled from here on.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

enum class ReplaceMode : int32_t { Ask = 0, ReplaceAll = 1, SkipAll = 2 };

class Node;

// The children of one folder by name, while many paths go into it.
using ChildNames = std::unordered_map<std::string, Node*>;

struct TransferState {
  int32_t cancelled;  // 1: every loop over items or children stops
  int32_t changed;    // 1: something was added to or replaced in the tree
  ReplaceMode replaceMode;
  // Items that could not be carried over although the user wanted them (unreadable,
  // not allowed on disk): how many, and the first one's name and reason.
  uint32_t failures = 0;
  std::string firstFailure{};
  // Something the user dropped or pasted was not taken (a conflict answered No, a failure):
  // the items it came from must stay where they are.
  bool skipped = false;
  // While many paths go into one folder, its children by name (see BeginImportBatch): a
  // walk of the folder's list for every path would make the import quadratic.
  std::shared_ptr<ChildNames> names{};
  const Node* namesParent = nullptr;
};

// Counts an item that could not be carried over; the first one is kept for the message.
void NoteTransferFailure(TransferState* state, const char* name, const char* reason);
// The message about the items that were not carried over, or "" when there were none:
// "Can't <verb> "name": reason." for one, "N items were not <past>. The first: ..." for more.
std::string TransferFailureMessage(const TransferState& state, const char* verb, const char* past);

// The answers of the Confirm File Replace dialog; anything else (2 when the dialog was
// closed) cancels the operation.
enum ReplaceAnswer : int32_t {
  kReplaceYes = 6,
  kReplaceNo = 7,
  kReplaceYesToAll = 1000,
  kReplaceNoToAll = 1001,
};
