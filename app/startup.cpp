// Initialisation between class registration and the message loop, the loop itself, and
// shutdown. Every step here must succeed; a failure ends the program silently.
#include "app/startup.h"

#include <ole2.h>

#include <cstring>
#include <string>

#include "services/sound_thread.h"
#include "services/viewer_watch.h"
#include "resources/shell_ids.h"
#include "services/core/path_length.h"
#include "services/file_types.h"
#include "services/globals.h"
#include "services/leftovers.h"
#include "services/number_format.h"
#include "services/messages.h"
#include "services/settings.h"
#include "transfer/drop_source.h"
#include "window/panes.h"

namespace {

constexpr char kTempDirectoryName[] = "Vellumix";
bool g_oleStarted;

bool RegisterFormat(const char* name, UINT* format) {
  *format = RegisterClipboardFormatA(name);
  return *format != 0;
}

}  // namespace

bool LoadMenuAndAccelerators() {
  g_mainMenu = LoadMenuA(g_instance, MAKEINTRESOURCEA(IDR_MAIN_MENU));
  if (!g_mainMenu) return false;
  g_accelerators = LoadAcceleratorsA(g_instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
  return g_accelerators != nullptr;
}

bool LoadRecentFiles() {
  HMENU fileMenu = GetSubMenu(g_mainMenu, MENU_POS_FILE);
  if (!CreateRecentFileList(GetSubMenu(fileMenu, FILE_MENU_POS_RECENT), kRecentFileCapacity)) {
    return false;
  }
  LoadRecentFilesFromRegistry();
  return true;
}

bool CreateTempDirectoryFrom(DWORD tempPathResult, const char* tempPath, char* out) {
  if (tempPathResult == 0 || tempPathResult >= kPathBufferSize) return false;
  std::string path(tempPath, strnlen(tempPath, kPathBufferSize));
  if (path.empty() || path.size() >= kPathBufferSize) return false;
  if (path.back() != '\\') path += '\\';
  // Room for "Vellumix" and its backslash within the system's limit, counted as it counts.
  if (Utf16Length(path) + sizeof kTempDirectoryName > kMaxPathUnits) return false;
  path += kTempDirectoryName;
  if (!CreateDirectoryA(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  path += '\\';
  std::memcpy(out, path.c_str(), path.size() + 1);
  return true;
}

bool CreateTempDirectory() {
  char path[kPathBufferSize] = {};
  DWORD result = GetTempPathA(sizeof path, path);
  return CreateTempDirectoryFrom(result, result < sizeof path ? path : "", TempDirectory);
}

bool RegisterClipboardFormats() {
  return RegisterFormat("Vellumix Data", &g_cfVellumixData) &&
         RegisterFormat("FileGroupDescriptor", &g_cfFileGroupDescriptor) &&
         RegisterFormat("FileGroupDescriptorW", &g_cfFileGroupDescriptorW) &&
         RegisterFormat("FileContents", &g_cfFileContents) &&
         RegisterFormat("Preferred DropEffect", &g_cfPreferredDropEffect) &&
         RegisterFormat("Performed DropEffect", &g_cfPerformedDropEffect) &&
         RegisterFormat("Paste Succeeded", &g_cfPasteSucceeded);
}

HWND CreateFrameWindow(int showCommand) {
  // The frame keeps its own handle in g_frameWindow while it is being created.
  HWND frame = CreateWindowExA(0, kFrameClass, kProgramName, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                               nullptr, g_mainMenu, g_instance, nullptr);
  if (!frame) return nullptr;
  DrawMenuBar(frame);
  ShowWindow(frame, showCommand);
  UpdateWindow(frame);
  return frame;
}

bool InitialiseProgram(int showCommand) {
  // Only S_OK counts: S_FALSE means someone else started OLE on this thread.
  HRESULT ole = OleInitialize(nullptr);
  g_oleStarted = SUCCEEDED(ole);
  if (ole != S_OK) return false;
  // Sizes shown to the user take the locale's digit grouping and no fractional digits,
  // through an explicit format read once here; the user's locale stays untouched.
  InitNumberFormat();
  // Without a drop source the program runs on; only drags out of its windows are lost.
  g_dropSource = CreateDropSource();
  if (!StartViewerWatch() || !StartSoundThread()) return false;
  if (!CreateTempDirectory()) return false;
  // Copies for viewers that a crash left behind.
  RemoveLeftoverFiles(TempDirectory);
  LoadSettings();
  g_smallIconWidth = GetSystemMetrics(SM_CXSMICON);
  g_smallIconHeight = GetSystemMetrics(SM_CYSMICON);
  if (!RegisterClipboardFormats()) return false;
  if (!BuildFileTypes() || !CreateFolderImageList(g_instance)) return false;
  if (!LoadMenuAndAccelerators()) return false;
  if (!LoadRecentFiles()) return false;
  return CreateFrameWindow(showCommand) != nullptr;
}

void PostCommandLine(char* commandLine) {
  if (!commandLine || commandLine[0] == '\0') return;
  // An archive window lower-cases its path in place; the command line lives as long as
  // the process, so the pointer stays valid until the frame takes the message.
  PostMessageA(g_frameWindow, WMU_OPEN_ARCHIVE, 0,
               reinterpret_cast<LPARAM>(StripCommandLineQuotes(commandLine)));
}

namespace {

// While a name is being edited in place, Del, Ctrl+C and the other editing keys belong to
// the edit box: as accelerators they would delete or copy the items instead.
bool IsTextEditKey(const MSG* msg) {
  if (msg->message != WM_KEYDOWN && msg->message != WM_CHAR && msg->message != WM_SYSKEYDOWN) {
    return false;
  }
  char name[16] = {};
  return msg->hwnd && GetClassNameA(msg->hwnd, name, sizeof name) && lstrcmpiA(name, "Edit") == 0;
}

}  // namespace

bool TranslateFrameMessage(MSG* msg) {
  if (g_mdiClient && TranslateMDISysAccel(g_mdiClient, msg)) return true;
  // Tab and F6 walk an archive window's panes from any of them, the preview's controls too.
  if (msg->message == WM_KEYDOWN && MoveFocusOnKey(msg->hwnd, msg->wParam)) return true;
  if (IsTextEditKey(msg)) return false;
  return g_frameWindow && g_accelerators &&
         TranslateAcceleratorA(g_frameWindow, g_accelerators, msg);
}

int RunMessageLoop() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (TranslateFrameMessage(&msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}

void ShutDown() {
  StopViewerWatch();
  StopSoundThread();
  if (g_dropSource) {
    g_dropSource->Release();
    g_dropSource = nullptr;
  }
  if (g_oleStarted) {
    OleUninitialize();
    g_oleStarted = false;
  }
  if (g_instanceMutex) ReleaseMutex(g_instanceMutex);
}
