// Whole disk files read into memory for import.
#pragma once

#include <cstdint>

#include "archive/entry_buffer.h"

// Entries hold at most this many bytes: sizes are 32-bit in the tree and in the formats.
constexpr int64_t kMaxImportSize = 0xFFFFFFFF;

// Reads the file at path whole into a new buffer (*bytes, null for an empty file). The
// file's length, or -1 when it cannot be opened, is longer than an entry can hold, cannot
// be given a buffer or is not read whole.
int64_t ReadWholeFile(const char* path, SharedBytes* bytes);
