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

// The general-purpose flags (bits 1 and 2) written for an entry deflated at level 0-9.
uint16_t Pk3FlagsForLevel(int level);
// The level a source entry is taken to be compressed at, from its flags. Flags with bits
// beyond the three the table covers say nothing reliable: 0, so the entry is never copied
// raw but compressed anew.
int Pk3LevelForFlags(uint16_t flags);
