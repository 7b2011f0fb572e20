#include "transfer/core/conflict_rule.h"

bool ResolveConflict(TransferState* state, ReplaceAsker& asker, const ConflictItem& existing,
                     const ConflictItem& incoming) {
  if (state == nullptr) return false;
  switch (state->replaceMode) {
    case ReplaceMode::ReplaceAll:
      return true;
    case ReplaceMode::SkipAll:
      return false;
    case ReplaceMode::Ask:
      break;
  }
  switch (asker.AskReplace(existing, incoming)) {
    case kReplaceYes:
      return true;
    case kReplaceNo:
      return false;
    case kReplaceYesToAll:
      state->replaceMode = ReplaceMode::ReplaceAll;
      return true;
    case kReplaceNoToAll:
      state->replaceMode = ReplaceMode::SkipAll;
      return false;
    default:
      state->cancelled = 1;
      return false;
  }
}
