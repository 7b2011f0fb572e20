// The Confirm File Replace dialog.
#pragma once

#include <windows.h>

#include <cstdint>

#include "archive/tree.h"
#include "transfer/core/conflict_rule.h"

// Shows the dialog modally, owned by the frame window: existing first, incoming second.
// One of the four ReplaceAnswer values, or 2 (IDCANCEL) when the dialog was closed.
int32_t AskReplace(const ConflictItem& existing, const ConflictItem& incoming);

// The dialog as the conflict rule asks it.
class ReplaceDialogAsker : public ReplaceAsker {
 public:
  int32_t AskReplace(const ConflictItem& existing, const ConflictItem& incoming) override {
    return ::AskReplace(existing, incoming);
  }
};

// What stands for a disk file in the dialog: its name and size. A size that is unknown (-1)
// or beyond 32 bits shows as "? bytes" rather than as a wrong number.
ConflictItem DiskFileRecord(const char* name, int64_t size);

// The size line of the dialog for an item: "%s bytes" with the size in the user's number
// format, or "? bytes" for an item that has no size.
void FormatReplaceSize(const ConflictItem& item, char* text, int size);
