// Importing files and directory trees from the disk into a folder of an archive's tree.
// What was added is returned; showing it in an archive window's panes is the window's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/tree.h"
#include "transfer/core/disk_files.h"
#include "transfer/core/transfer_state.h"

// What one imported path became: its node (added, or merged into or replaced), whether the
// node is new in its folder, and whether everything below it was taken (false when the
// user cancelled or a directory could not be read).
struct ImportedItem {
  Node* node = nullptr;
  bool isNew = false;
  bool whole = false;
};

// Imports one file into folder as a memory file named by the part of path after its last
// separator, as given. No node when skipped, unreadable or cancelled.
ImportedItem ImportDiskFile(ArchiveTree& tree, Node* folder, const char* path, TransferState* state);

// Imports a directory with everything below it into folder, its name lower-cased; a
// directory of that name is merged into. No node when the directory could not be taken at
// all. path is not changed.
ImportedItem ImportDiskDirectory(ArchiveTree& tree, Node* folder, const char* path, TransferState* state);

// Imports everything below the disk directory path into directoryNode. merge: the node
// existed before this import, so names in it may conflict. true after the walk; false when
// the path is too long, cannot be read or the user cancelled.
bool ImportDirectoryContents(ArchiveTree& tree, Node* directoryNode, const char* path, TransferState* state,
                             int merge);

// Prepares state for an import of count paths into folder: from kIndexedImportPaths paths
// on, the names there are looked up through an index. Every such state is ended with
// EndImportBatch.
constexpr size_t kIndexedImportPaths = 64;
void BeginImportBatch(Node* folder, TransferState* state, size_t count);
void EndImportBatch(TransferState* state);

// The size the file system reports for path, or -1.
int64_t DiskFileSize(const char* path);
