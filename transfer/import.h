// Importing files and directory trees from the disk into an archive window's document.
// The target is the folder tree's drop-highlighted item, else its caret item.
#pragma once

#include <windows.h>

#include <cstdint>

#include "archive/tree.h"
#include "transfer/core/disk_files.h"
#include "transfer/core/transfer_state.h"

struct WindowDocument;

// Imports one file as a memory file named by the part of path after its last separator,
// as given. true when it was added or replaced; false when skipped, unreadable or cancelled.
bool ImportFile(HWND window, WindowDocument* document, const char* path, TransferState* state);

// Imports a directory with everything below it, its name lower-cased; a directory of that
// name is merged into. true when it was imported (also partly); false when skipped, failed or
// cancelled. path is not changed.
bool ImportDirectory(HWND window, WindowDocument* document, const char* path, TransferState* state);

// Imports everything below the disk directory path into directoryNode. merge: the node
// existed before this import, so names in it may conflict. true after the enumeration; false when
// the path is too long, cannot be enumerated or the user cancelled.
bool ImportDirectoryContents(HWND window, WindowDocument* document, ArchiveNode* directoryNode,
                             const char* path, TransferState* state, int merge);

// Prepares state for an import of count paths into the folder imports go to now: from
// kIndexedImportPaths paths on, the names there are looked up through an index. Every
// such state is ended with EndImportBatch.
constexpr size_t kIndexedImportPaths = 64;
void BeginImportBatch(WindowDocument* document, TransferState* state, size_t count);
void EndImportBatch(TransferState* state);

// The size the file system reports for path, or -1.
int64_t DiskFileSize(const char* path);
