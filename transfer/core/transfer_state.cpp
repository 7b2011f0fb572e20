#include "transfer/core/transfer_state.h"

#include "archive/quoted_name.h"

void NoteTransferFailure(TransferState* state, const char* name, const char* reason) {
  if (state == nullptr) return;
  if (state->failures++ > 0) return;
  state->firstFailure = QuotedName(name) + ": " + (reason ? reason : "it could not be read");
}

std::string TransferFailureMessage(const TransferState& state, const char* verb, const char* past) {
  if (state.failures == 0) return std::string();
  if (state.failures == 1) return "Can't " + std::string(verb) + " " + state.firstFailure + ".";
  return std::to_string(state.failures) + " items were not " + past + ". The first: " +
         state.firstFailure + ".";
}
