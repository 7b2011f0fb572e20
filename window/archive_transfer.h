// Copying and moving items of an archive window into a folder of this or another archive
// window: the checks that run first, and the copy with the new items shown in the list.
#pragma once

#include <windows.h>

#include <vector>

#include "transfer/archive_copy.h"

struct WindowDocument;

// The checks before a copy or move of payload into targetDir of window's document. true
// when the transfer may go ahead; false when it must not, after its message (caption "Move" or
// "Copy", owned by window) unless there was simply nothing to do.
bool CheckTransfer(HWND window, WindowDocument* document, Node* targetDir,
                   const TransferPayload& payload, bool move);

// Clears state and copies every item in order into targetDir; when targetDir is the current
// folder, new top-level nodes are appended to the item list, selected; new folders get
// their items in the folder tree. Stops after the item
// during which the user cancelled. true unless cancelled. The caller marks the document
// modified when state->changed is set. arrived, when given, tells for each item whether it
// reached the target whole (a directory only with everything below it).
bool RunTransfer(HWND window, WindowDocument* document, Node* targetDir,
                 const TransferPayload& payload, TransferState* state,
                 std::vector<bool>* arrived = nullptr);
