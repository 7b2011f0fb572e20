// Writing nodes of an archive tree to the disk.
#pragma once

#include <windows.h>

#include "archive/tree.h"
#include "transfer/core/transfer_state.h"

struct WindowDocument;

// Writes the entry's node and everything below it to path: a file's full disk path; for a
// directory the disk directory (ending in a backslash) in which its own directory is made;
// for the root the disk directory that receives its children. true when everything was
// written, false when anything failed, was skipped or the user cancelled. Every item left out
// (unreadable, a name not allowed on disk, a path too long, a file the disk refused) is
// noted in state for the one message the caller shows at the end; a folder that cannot be
// made is reported at once. window owns the questions and that message; document supplies
// the source archive the bytes are read from.
bool ExportNode(HWND window, WindowDocument* document, const Node* entry, const char* path,
                TransferState* state);

// Writes entry under its own name into folder (a disk directory ending in a backslash), as
// ExportNode does; a name not allowed on disk or a path too long is noted in state and
// left out. false also for an entry without a name.
bool ExportInto(HWND window, WindowDocument* document, const Node* entry, const char* folder,
                TransferState* state);

// True when the file at path exists and may be read.
bool DiskFileExists(const char* path);
