// The error messages of the archive writers: a box owned by the window being
// saved, caption "Save", stop icon. The paths they name (stored paths from archives, the
// archive's own) are shown with their control bytes escaped.
#pragma once

#include "archive/entry_data.h"
#include "archive/ui.h"

#if defined(__GNUC__)
#define VELLUMIX_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define VELLUMIX_PRINTF(f, a)
#endif

void ShowSaveMessage(SaveWindow& window, const char* text);
// Formats the message first; paths in it can be tens of kilobytes long.
void ShowSaveMessagef(SaveWindow& window, const char* format, ...) VELLUMIX_PRINTF(2, 3);

// The message for an entry whose bytes could not be loaded; its stored path is dir then name.
void ShowLoadFailure(SaveWindow& window, EntryLoad result, const char* dir, const char* name);
// Shows a save's failure message unless it is empty (shown already); a "%s" in it takes path.
void ShowSaveFailure(SaveWindow& window, const char* message, const char* path);
