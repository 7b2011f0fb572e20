// Whole disk files read into memory for import.
#pragma once

#include <cstdint>

// Entries hold at most this many bytes: sizes are 32-bit in the tree and in both formats.
constexpr int64_t kMaxImportSize = 0xFFFFFFFF;

// Reads the file at path whole into a new heap buffer (*buffer, null for an empty file).
// The file's length, or -1 when it cannot be opened, is longer than an entry can hold,
// cannot be given a buffer or is not read whole; nothing stays allocated then.
int64_t ReadWholeFile(const char* path, uint8_t** buffer);
