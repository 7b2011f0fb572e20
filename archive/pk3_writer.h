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
// time, date and CRC-32, and their compressed bytes when they were compressed harder than
// the level asked for. The document's source is not replaced here: that is the caller's.
// unmapped works as PakSave's.
Pk3Archive* Pk3Save(SaveWindow& window, ArchiveDocument* doc, const char* path, int level,
                    ArchiveNode** unmapped = nullptr);
// As Pk3Save with the largest file size allowed given; lets the size checks be reached
// with small files.
Pk3Archive* Pk3SaveLimited(SaveWindow& window, ArchiveDocument* doc, const char* path, int level,
                           uint64_t sizeLimit, ArchiveNode** unmapped = nullptr);

// The state of one PK3 save.
struct Pk3Writer {
  Pk3Archive* archive;  // being written: records fill in walk order, counted by its end record
  uint32_t capacity;    // record slots made
  ArchiveOutput output;
  const ArchiveDocument* source;  // whose source the entries' bytes are read from
  SaveProgress* progress;         // null when the dialog could not be shown
  int level;
  char* path;  // 65535-byte buffer: stored path of the current directory, with its "/"
  size_t pathLength;
  bool utf8Source;  // the source archive names some entries in UTF-8
};

// Writes node and everything below it in walk order, each directory's own entry before its
// contents. The working copy's file entries are re-pointed at the records written. 1 on
// success; 0 after showing the message.
int Pk3WriteNode(SaveWindow& window, Pk3Writer& writer, ArchiveNode* node);

// The current local time as MS-DOS date (high 16 bits) and time (low 16 bits).
uint32_t DosDateTimeNow();

// The general-purpose flags (bits 1 and 2) written for an entry deflated at level 0-9.
uint16_t Pk3FlagsForLevel(int level);
// The level a source entry is taken to be compressed at, from its flags. Flags with bits
// beyond the three the table covers say nothing reliable: 0, so the entry is never copied
// raw but compressed anew.
int Pk3LevelForFlags(uint16_t flags);
