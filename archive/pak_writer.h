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
// As PakSave with the largest file size allowed given; lets the size checks be reached
// with small files.
PakArchive* PakSaveLimited(SaveWindow& window, ArchiveDocument* doc, const char* path,
                           uint64_t sizeLimit, ArchiveNode** unmapped = nullptr);

// The state of one PAK save.
struct PakWriter {
  PakArchive* archive;  // being written: its slots fill in walk order
  ArchiveOutput output;
  const ArchiveDocument* source;  // whose source the entries' bytes are read from
  SaveProgress* progress;         // null when the dialog could not be shown
  char path[kPakNameSize];        // stored path of the current directory, with its "/"
  size_t pathLength;
};

// Writes node and everything below it, in walk order: each directory's children from the
// head of its list, a directory's subtree before its next sibling. The writer's path is
// the node's parent directory's. The working copy's entries are re-pointed at the slots
// written. 1 on success; 0 after showing the message.
int PakWriteNode(SaveWindow& window, PakWriter& writer, ArchiveNode* node);
