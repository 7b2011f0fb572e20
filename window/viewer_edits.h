// Edits made in a viewer come back: when the program showing a temporary copy of an entry
// ends and the copy has changed, the user is asked whether the entry takes the new bytes.
#pragma once

#include <windows.h>

#include "panes/window_document.h"
#include "services/viewer_watch.h"

// What a copy just written for a viewer is like; false when the file cannot be asked.
bool DescribeViewedCopy(const Node* node, const char* path, ViewedCopy* copy);

// A viewer ended, or its watch was ended early (the window closes, the entry goes). The
// entry is no longer viewed; a copy that changed under a viewer that ended waits for the
// user's answer, every other copy is deleted. Runs while the viewer watch waits for the
// window, so it asks nothing itself.
void OnViewerEnded(HWND window, WindowDocument* doc, const ViewerEnd& end);

// Asks about each changed copy: "<name> was changed. Update it in the archive?" Yes makes
// the copy's bytes the entry's (held in memory), marks the document modified and redraws
// its row; either way the copy is deleted.
void OfferViewedEdits(HWND window, WindowDocument* doc);

// Deletes the copies still waiting for an answer: the window goes, nothing is written.
void DropViewedCopies(WindowDocument* doc);
