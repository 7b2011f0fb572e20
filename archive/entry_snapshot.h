// A file node's bytes described so that another thread can read them while the tree goes
// on changing: the archive file and where the entry's stored bytes lie in it, or the shared
// memory bytes. Taken on the thread that owns the tree (it touches the source's file to
// find where the bytes lie); read on any thread, through a file of the reader's own.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "archive/document.h"
#include "archive/entry_buffer.h"
#include "archive/problem.h"
#include "archive/source.h"
#include "archive/tree.h"

struct EntrySnapshot {
  std::string archivePath;  // the source's file; empty for bytes in memory
  StoredBytes where;        // where the bytes lie in it
  SharedBytes memory;       // the bytes of a memory file (null when empty)
  uint32_t size = 0;        // the plain byte count
  // Why the entry cannot be read at all, found while it was taken; Ok otherwise.
  EntryLoad refused = EntryLoad::Ok;
};

// Describes a file node of doc's tree (a node of another tree, or no file, is refused).
EntrySnapshot SnapshotEntry(const ArchiveDocument* doc, const Node* node);

// The first limit bytes of the entry's plain bytes, or all of them when it has fewer, into
// a buffer of their own (null for none). Read whole, the bytes are checked against the
// entry's CRC-32; a prefix cannot be. Stopped as soon as stop (if given) becomes true.
EntryLoad ReadSnapshot(const EntrySnapshot& entry, uint32_t limit, SharedBytes* bytes,
                       const std::atomic<bool>* stop = nullptr);
