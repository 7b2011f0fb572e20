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

namespace {

// The most bytes an atom's name holds.
constexpr size_t kMaxAtomName = 255;

// Hands path to the running frame: in an atom where its name fits (the form every version
// of the program reads), otherwise as the data of WM_COPYDATA. Either way the frame has
// copied the path when the message returns.
void HandOverPath(HWND frame, const char* path) {
  const size_t length = std::strlen(path);
  if (length <= kMaxAtomName) {
    if (ATOM atom = GlobalAddAtomA(path)) {
      SendMessageA(frame, WMU_OPEN_ARCHIVE, 1, atom);
      GlobalDeleteAtom(atom);
      return;
    }
  }
  COPYDATASTRUCT data = {};
  data.dwData = kOpenArchiveData;
  data.cbData = static_cast<DWORD>(length);
  data.lpData = const_cast<char*>(path);
  SendMessageA(frame, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

}  // namespace

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
    if (path[0] != '\0') HandOverPath(frame, path);
  }
  if (IsIconic(frame)) ShowWindow(frame, SW_RESTORE);
  SetForegroundWindow(frame);
  return 1;
}
