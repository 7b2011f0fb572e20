// The Confirm File Replace dialog.
#pragma once

#include <windows.h>

#include <cstdint>

#include "archive/tree.h"
#include "transfer/core/conflict_rule.h"

// Shows the dialog modally, owned by the frame window: existing first, incoming second.
// One of the four ReplaceAnswer values, or 2 (IDCANCEL) when the dialog was closed.
int32_t AskReplace(const ArchiveEntry* existing, const ArchiveEntry* incoming);

// The dialog as the conflict rule asks it.
class ReplaceDialogAsker : public ReplaceAsker {
 public:
  int32_t AskReplace(const ArchiveEntry* existing, const ArchiveEntry* incoming) override {
    return ::AskReplace(existing, incoming);
  }
};

// The record that stands for a disk file in the dialog: shaped like a memory file with the
// file's name and size and no bytes. A size that is unknown (-1) or beyond 32 bits gives a
// record of no kind, which the dialog shows as "? bytes".
ArchiveEntry DiskFileRecord(const char* name, int64_t size);

// The size line of the dialog for an entry: "%s bytes" with the size in the user's number
// format, or "? bytes" for an entry that has no size.
void FormatReplaceSize(const ArchiveEntry* entry, char* text, int size);
