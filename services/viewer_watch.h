// The viewer-watch thread: notices when a program started to show a temporary copy of an
// entry has ended, and tells the archive window that started it.
#pragma once

#include <windows.h>

#include "archive/tree.h"

// Starts the thread once; false when it already runs or cannot be made.
bool StartViewerWatch();
// Asks the thread to stop at its next pass; does not wait for it. Messages the thread
// sends meanwhile are handled.
void StopViewerWatch();

// What the watch's message tells its window (wParam points to it while it is sent).
struct ViewerEnd {
  const char* path;     // the temporary copy
  NodeId node;          // the file node it was made of
  bool programEnded;    // false: the watch was ended early (StopWatching..., the thread stopping)
};

// Adds a watch: when process ends, or the watch is ended early, message is sent to window
// with a ViewerEnd. true when added: the watch then owns the handle and the
// path copy (a malloc block, freed once the message has been handled); false when the list is
// full or the thread is gone or stopping, and both still belong to the caller.
bool WatchViewer(HWND window, HANDLE process, char* pathCopy, NodeId node, UINT message);

// End every watch of the window, or the window's watch of the node, at once: the handles
// are closed and the messages are sent before these return.
void StopWatchingWindow(HWND window);
void StopWatchingNode(HWND window, NodeId node);

// The number of watches in the list.
int ViewerWatchCount();
