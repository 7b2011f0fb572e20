// Writing an archive tree as a PAK file, and carrying the result back to the
// document's entries.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/archive_output.h"
#include "archive/document.h"
#include "archive/formats.h"
#include "archive/tree.h"
#include "archive/ui.h"
#include "archive/writer_shared.h"

// Writes the document's tree as a PAK file at path and re-points every file entry of the
// document into it. Returns the new archive open for reading, or null after showing the
// message of the failure; the document, its tree and its source are then unchanged. The
// document's source is not replaced here: that is the caller's, with the result.
// With unmapped given, a successful save leaves the document's entries as they were and
// hands over the working copy, whose entries read from the new archive: the caller ends
// the save with CommitSave (once the new file is where it belongs) or AbandonSave.
PakArchive* PakSave(SaveWindow& window, ArchiveDocument* doc, const char* path,
                    ArchiveNode** unmapped = nullptr);
// As PakSave with the largest file size allowed given, which lets the size checks be
// reached with small files, and the number of worker threads that inflate entries of a
// PK3 source (0: one per core).
PakArchive* PakSaveLimited(SaveWindow& window, ArchiveDocument* doc, const char* path,
                           uint64_t sizeLimit, ArchiveNode** unmapped = nullptr, unsigned threads = 0);
