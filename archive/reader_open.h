// What the PAK and PK3 readers share when they open a file: telling a folder, a file that
// cannot be opened and an empty file apart, and the words of the reasons they give.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace reader_open {

extern const char kUnreadable[];  // a read failed in a file that is long enough
extern const char kNoMemory[];

// Opens path for reading; null when it is a folder, cannot be opened or is empty, with the
// reason in *why.
FILE* OpenForReading(const char* path, std::string* why);

// Puts text into *why (when given) and returns false, for one-line refusals.
bool Refuse(std::string* why, const std::string& text);

// The count with its thousands grouped by commas ("65,535"), the same in every locale.
std::string GroupedCount(uint64_t count);

}  // namespace reader_open
