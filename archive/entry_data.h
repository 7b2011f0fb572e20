// The bytes of file nodes: read from the document's source on demand, or held in memory.
#pragma once

#include <string>

#include "archive/deflate.h"
#include "archive/document.h"
#include "archive/entry_buffer.h"
#include "archive/problem.h"
#include "archive/tree.h"

// The bytes of a file node in one buffer: a memory file shares its own, a source entry is
// read (and checked) into a new one. Ok with a null buffer for an empty file.
EntryLoad LoadEntryBytes(const ArchiveDocument* doc, const Node* node, SharedBytes* bytes);

// The bytes of a file node in pieces into sink (null: read and checked only), in memory
// bounded by a few pieces whatever the entry's size; see ArchiveSource::Read. An entry whose
// stored bytes overlap another's is refused (SharedData) before anything is read.
EntryLoad StreamEntryBytes(const ArchiveDocument* doc, const Node* node, ByteSink* sink);

// What StreamEntryBytes would read of a source entry, with the checks it makes before the
// first byte (ArchiveSource::ReadPlan): Ok with where set, or what it gives without reading.
// NoBytes for memory files, whose bytes are the node's own.
EntryLoad PlanEntryRead(const ArchiveDocument* doc, const Node* node, StoredBytes* where);

// What makes a source entry damaged beyond its bytes (ArchiveSource::CheckPlacement); None
// for memory files and sound entries.
Failure EntryPlacement(const ArchiveDocument* doc, const Node* node);

// The name the archive stores a file node's entry under, as stored (case and all) and read
// as text in its format's coding, for a source entry; the node's stored path otherwise.
std::string StoredNameOf(const ArchiveDocument* doc, const Node* node);

// When a file node's data was last changed, in seconds since 1970: a ZIP entry's stored
// time, the archive file's own for an entry of a format that stores none (PAK, WAD2), a
// memory file's where it carries one. False when nothing says.
bool EntryModified(const ArchiveDocument* doc, const Node* node, int64_t* moment);
