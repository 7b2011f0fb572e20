// What one user operation (a drop, a paste, an import or export command) carries through
// all its steps: whether the user cancelled, whether the tree changed, and how name
// conflicts are settled from here on.
#pragma once

#include <cstdint>

enum class ReplaceMode : int32_t { Ask = 0, ReplaceAll = 1, SkipAll = 2 };

struct TransferState {
  int32_t cancelled;  // 1: every loop over items or children stops
  int32_t changed;    // 1: something was added to or replaced in the tree
  ReplaceMode replaceMode;
};

// The answers of the Confirm File Replace dialog; anything else (2 when the dialog was
// closed) cancels the operation.
enum ReplaceAnswer : int32_t {
  kReplaceYes = 6,
  kReplaceNo = 7,
  kReplaceYesToAll = 1000,
  kReplaceNoToAll = 1001,
};
