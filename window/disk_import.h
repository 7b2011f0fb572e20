// Importing disk files and directories into an archive window: into the folder tree's
// drop-highlighted folder, else the folder it shows, with what arrives in the folder the
// list shows appended to the list and selected.
#pragma once

#include <windows.h>

#include <cstddef>

#include "transfer/import.h"

struct WindowDocument;

// Imports one file as a memory file named by the part of path after its last separator,
// as given. true when it was added or replaced; false when skipped, unreadable or cancelled.
bool ImportFile(HWND window, WindowDocument* document, const char* path, TransferState* state);

// Imports a directory with everything below it, its name lower-cased; a directory of that
// name is merged into. true when it was imported (also partly); false when skipped, failed
// or cancelled. path is not changed.
bool ImportDirectory(HWND window, WindowDocument* document, const char* path, TransferState* state);

// An import command begins: the list's selection goes, so that what arrives in the shown
// folder is the selection afterwards.
void BeginImportCommand(WindowDocument* document);

// Prepares state for an import of count paths into the folder imports go to now (see
// BeginImportBatch of an archive folder). Ended with EndImportBatch.
void BeginImportBatch(WindowDocument* document, TransferState* state, size_t count);
