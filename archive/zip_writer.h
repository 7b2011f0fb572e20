// Writing a tree as a ZIP file (PK3 and its kin) at a chosen compression level: what the
// writer's callers and tests need of it.
#pragma once

#include <cstdint>

#include "archive/dos_time.h"

// The general-purpose flags (bits 1 and 2: 2 maximum, 4 fast, 6 super fast) written for an
// entry deflated at level 0-9, and the level each flag value stands for.
inline constexpr uint16_t kZipFlagsForLevel[10] = {0, 6, 6, 4, 4, 0, 0, 0, 2, 2};
inline constexpr int kZipLevelForFlags[8] = {6, 0, 9, 0, 3, 0, 1, 0};

// The flags written for an entry deflated at level (held within 0-9).
constexpr uint16_t ZipFlagsForLevel(int level) { return kZipFlagsForLevel[level < 0 ? 0 : (level > 9 ? 9 : level)]; }
// The level a source entry is taken to be compressed at, from its flags. Flags with bits
// beyond the three the table covers say nothing reliable: 0, so the entry is never copied
// raw but compressed anew.
constexpr int ZipLevelForFlags(uint16_t flags) { return flags < 8 ? kZipLevelForFlags[flags] : 0; }

// What a save relies on: an entry written at a level and read back is taken to be compressed
// at least that hard, so that the next save at the same level copies it as it is.
static_assert(ZipLevelForFlags(ZipFlagsForLevel(1)) >= 1 && ZipLevelForFlags(ZipFlagsForLevel(3)) >= 3 &&
                  ZipLevelForFlags(ZipFlagsForLevel(6)) >= 6 && ZipLevelForFlags(ZipFlagsForLevel(9)) >= 9,
              "flags written at a level must read back as at least that level");
static_assert(ZipLevelForFlags(0x08) == 0 && ZipLevelForFlags(0x800) == 0 && ZipLevelForFlags(0xFFFF) == 0,
              "flags beyond the level bits say nothing reliable");
