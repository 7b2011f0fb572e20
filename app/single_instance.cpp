// One running instance at a time: a second start hands its command line to the first.
#include <cstring>

#include "services/globals.h"
#include "services/messages.h"
#include "app/startup.h"

namespace {

constexpr int kFindFrameTries = 50;
constexpr DWORD kFindFrameDelayMs = 100;

}  // namespace

bool ClaimSingleInstance() {
  HANDLE mutex = CreateMutexA(nullptr, TRUE, kFrameClass);
  if (mutex && GetLastError() != ERROR_ALREADY_EXISTS) {
    g_instanceMutex = mutex;
    return true;
  }
  if (mutex) CloseHandle(mutex);
  return false;
}

char* StripCommandLineQuotes(char* commandLine) {
  size_t length = std::strlen(commandLine);
  if (length == 0 || commandLine[0] != '"') return commandLine;
  // Only the first character is checked: the last one is dropped whatever it is.
  commandLine[length - 1] = '\0';
  return commandLine + 1;
}

int HandOffToRunningInstance(char* commandLine) {
  // The first instance may still be initialising: give its frame a few seconds to appear.
  HWND frame = nullptr;
  for (int attempt = 0; attempt < kFindFrameTries; ++attempt) {
    frame = FindWindowA(kFrameClass, nullptr);
    if (frame) break;
    Sleep(kFindFrameDelayMs);
  }
  if (!frame) return 1;

  if (commandLine && commandLine[0] != '\0') {
    const char* path = StripCommandLineQuotes(commandLine);
    if (path[0] != '\0') {
      // A failed GlobalAddAtomA gives atom 0, which the frame cannot read: it opens nothing.
      ATOM atom = GlobalAddAtomA(path);
      SendMessageA(frame, WMU_OPEN_ARCHIVE, 1, atom);
      if (atom) GlobalDeleteAtom(atom);
    }
  }
  if (IsIconic(frame)) ShowWindow(frame, SW_RESTORE);
  SetForegroundWindow(frame);
  return 1;
}
