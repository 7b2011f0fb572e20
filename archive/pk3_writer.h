// Writing an archive tree as a PK3 (ZIP) file at a chosen compression level.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/archive_output.h"
#include "archive/document.h"
#include "archive/formats.h"
#include "archive/tree.h"
#include "archive/ui.h"

// Writes the document's tree as a ZIP file at path with compression level 0 (store
// everything) to 9, and re-points every file entry of the document into it. Returns the
// new archive open for reading, or null after showing the message of the failure; the
// document, its tree and its source are then unchanged. Entries of a PK3 source keep their
// time, date and CRC-32, and their compressed bytes when they were compressed at least as
// hard as the level asked for. The document's source is not replaced here: that is the caller's.
// unmapped works as PakSave's.
Pk3Archive* Pk3Save(SaveWindow& window, ArchiveDocument* doc, const char* path, int level,
                    ArchiveNode** unmapped = nullptr);
// As Pk3Save with the largest file size allowed given, which lets the size checks be
// reached with small files, and the number of worker threads that compress (0: one per
// core). The bytes written do not depend on the number of threads.
Pk3Archive* Pk3SaveLimited(SaveWindow& window, ArchiveDocument* doc, const char* path, int level,
                           uint64_t sizeLimit, ArchiveNode** unmapped = nullptr, unsigned threads = 0);

// The current local time as MS-DOS date (high 16 bits) and time (low 16 bits).
uint32_t DosDateTimeNow();

// The general-purpose flags (bits 1 and 2: 2 maximum, 4 fast, 6 super fast) written for an
// entry deflated at level 0-9, and the level each flag value stands for.
inline constexpr uint16_t kPk3FlagsForLevel[10] = {0, 6, 6, 4, 4, 0, 0, 0, 2, 2};
inline constexpr int kPk3LevelForFlags[8] = {6, 0, 9, 0, 3, 0, 1, 0};

// The flags written for an entry deflated at level (held within 0-9).
constexpr uint16_t Pk3FlagsForLevel(int level) { return kPk3FlagsForLevel[level < 0 ? 0 : (level > 9 ? 9 : level)]; }
// The level a source entry is taken to be compressed at, from its flags. Flags with bits
// beyond the three the table covers say nothing reliable: 0, so the entry is never copied
// raw but compressed anew.
constexpr int Pk3LevelForFlags(uint16_t flags) { return flags < 8 ? kPk3LevelForFlags[flags] : 0; }

// What a save relies on: an entry written at a level and read back is taken to be compressed
// at least that hard, so that the next save at the same level copies it as it is.
static_assert(Pk3LevelForFlags(Pk3FlagsForLevel(1)) >= 1 && Pk3LevelForFlags(Pk3FlagsForLevel(3)) >= 3 &&
                  Pk3LevelForFlags(Pk3FlagsForLevel(6)) >= 6 && Pk3LevelForFlags(Pk3FlagsForLevel(9)) >= 9,
              "flags written at a level must read back as at least that level");
static_assert(Pk3LevelForFlags(0x08) == 0 && Pk3LevelForFlags(0x800) == 0 && Pk3LevelForFlags(0xFFFF) == 0,
              "flags beyond the level bits say nothing reliable");
