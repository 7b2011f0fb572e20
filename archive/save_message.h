// The error messages of the archive writers: a box owned by the window being
// saved, caption "Save", stop icon.
#pragma once

#include "archive/ui.h"

#if defined(__GNUC__)
#define VELLUMIX_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define VELLUMIX_PRINTF(f, a)
#endif

void ShowSaveMessage(SaveWindow& window, const char* text);
// Formats the message first; paths in it can be tens of kilobytes long.
void ShowSaveMessagef(SaveWindow& window, const char* format, ...) VELLUMIX_PRINTF(2, 3);
