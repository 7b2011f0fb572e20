#include "services/viewer_watch.h"

#include <cstdlib>
#include <cstring>

namespace {

struct ViewerWatch {
  HWND window;
  WPARAM pathCopy;
  NodeId node;
  UINT message;
};

constexpr DWORD kMaxWatches = 64;  // what one wait for several handles can take
constexpr DWORD kPassInterval = 1000;

// All of this is guarded by g_watchMutex, which lives as long as the process once made.
HANDLE g_watchMutex;
HANDLE g_watchThread;
int g_watchStop;
DWORD g_watchCount;
HANDLE g_processes[kMaxWatches];
ViewerWatch g_watches[kMaxWatches];

// The watch thread sends its messages while holding the mutex. A thread with windows must
// therefore keep taking sent messages while it waits, or both would wait for ever.
void LockFromWindowThread() {
  for (;;) {
    DWORD r = MsgWaitForMultipleObjects(1, &g_watchMutex, FALSE, INFINITE, QS_SENDMESSAGE);
    if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED_0) return;
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}
void LockFromWatchThread() { WaitForSingleObject(g_watchMutex, INFINITE); }
void Unlock() { ReleaseMutex(g_watchMutex); }

// Removes watch index (the last one takes its place), closes its handle and tells its
// window, naming the entry only when the program ended. Called with the mutex held.
void EndWatch(DWORD index, bool programEnded) {
  const ViewerWatch watch = g_watches[index];
  CloseHandle(g_processes[index]);
  const DWORD last = g_watchCount - 1;
  g_processes[index] = g_processes[last];
  g_watches[index] = g_watches[last];
  g_processes[last] = nullptr;
  std::memset(&g_watches[last], 0, sizeof g_watches[last]);
  g_watchCount = last;
  if (watch.window && watch.message) {
    ViewerEnd end = {reinterpret_cast<const char*>(watch.pathCopy), watch.node, programEnded};
    SendMessageA(watch.window, watch.message, reinterpret_cast<WPARAM>(&end), 0);
  }
  // The message has been handled when SendMessage returns: the copy is no longer needed.
  std::free(reinterpret_cast<char*>(watch.pathCopy));
}

DWORD WINAPI ViewerWatchThread(LPVOID) {
  for (;;) {
    LockFromWatchThread();
    if (g_watchStop) break;
    if (g_watchCount > 0) {
      DWORD r = WaitForMultipleObjects(g_watchCount, g_processes, FALSE, 0);
      if (r < WAIT_OBJECT_0 + g_watchCount) EndWatch(r - WAIT_OBJECT_0, true);
    }
    Unlock();
    Sleep(kPassInterval);
  }
  // Still holding the mutex: nothing is added while the remaining watches end.
  while (g_watchCount > 0) EndWatch(g_watchCount - 1, false);
  CloseHandle(g_watchThread);
  g_watchThread = nullptr;
  g_watchStop = 0;
  Unlock();
  return 0;
}


template <typename Matches>
void EndMatchingWatches(Matches matches) {
  if (!g_watchMutex) return;
  LockFromWindowThread();
  if (g_watchThread && !g_watchStop) {
    // Walking down keeps the unvisited watches in place when the last one moves.
    for (DWORD i = g_watchCount; i-- > 0;) {
      if (i < g_watchCount && matches(g_watches[i])) EndWatch(i, false);
    }
  }
  Unlock();
}

}  // namespace

bool StartViewerWatch() {
  if (!g_watchMutex) {
    g_watchMutex = CreateMutexA(nullptr, FALSE, nullptr);
    if (!g_watchMutex) return false;
  }
  LockFromWindowThread();
  bool result = false;
  if (!g_watchThread) {
    g_watchStop = 0;
    g_watchCount = 0;
    g_watchThread = CreateThread(nullptr, 0, ViewerWatchThread, nullptr, 0, nullptr);
    result = g_watchThread != nullptr;
  }
  Unlock();
  return result;
}

void StopViewerWatch() {
  if (!g_watchMutex) return;
  LockFromWindowThread();
  if (g_watchThread) g_watchStop = 1;
  Unlock();
}

bool WatchViewer(HWND window, HANDLE process, char* pathCopy, NodeId node, UINT message) {
  if (!g_watchMutex || !process) return false;
  LockFromWindowThread();
  bool result = false;
  if (g_watchThread && !g_watchStop && g_watchCount < kMaxWatches) {
    g_processes[g_watchCount] = process;
    g_watches[g_watchCount] = {window, reinterpret_cast<WPARAM>(pathCopy), node, message};
    ++g_watchCount;
    result = true;
  }
  Unlock();
  return result;
}

void StopWatchingWindow(HWND window) {
  EndMatchingWatches([window](const ViewerWatch& w) { return w.window == window; });
}

void StopWatchingNode(HWND window, NodeId node) {
  if (node == kNoNode) return;
  EndMatchingWatches([window, node](const ViewerWatch& w) { return w.window == window && w.node == node; });
}

int ViewerWatchCount() {
  if (!g_watchMutex) return 0;
  LockFromWindowThread();
  const int count = static_cast<int>(g_watchCount);
  Unlock();
  return count;
}
