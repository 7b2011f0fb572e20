#include "e2e_support.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "tests/core/sample_archives.h"
#include "tests/win/support/pane_reading.h"
#include "tests/win/support/screenshot.h"

namespace {

// Memory in another process, for messages that return data through a pointer.
class RemoteBuffer {
 public:
  RemoteBuffer(HWND window, size_t size) : size_(size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_) {
      address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
  }
  ~RemoteBuffer() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }
  bool ok() const { return address_ != nullptr; }
  LPARAM address() const { return reinterpret_cast<LPARAM>(address_); }
  bool Read(void* out, size_t size, size_t at = 0) const {
    SIZE_T done = 0;
    return at <= size_ && size <= size_ - at &&
           ReadProcessMemory(process_, static_cast<char*>(address_) + at, out, size, &done) &&
           done == size;
  }
  bool Write(const void* data, size_t size) const {
    SIZE_T done = 0;
    return size <= size_ && WriteProcessMemory(process_, address_, data, size, &done) && done == size;
  }

 private:
  size_t size_;
  HANDLE process_ = nullptr;
  void* address_ = nullptr;
};

}  // namespace

ProgramProcess::~ProgramProcess() {
  if (!info_.hProcess) return;
  if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
    HWND frame = WaitForFrame(0);
    if (frame) PostMessageA(frame, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(info_.hProcess, 5000) == WAIT_TIMEOUT) {
      TerminateProcess(info_.hProcess, 99);
      WaitForSingleObject(info_.hProcess, 5000);
    }
  }
  CloseHandle(info_.hThread);
  CloseHandle(info_.hProcess);
}

bool ProgramProcess::Start(const std::string& arguments, const char* environment) {
  std::string commandLine = std::string("\"") + VELLUMIX_EXE + "\"";
  if (!arguments.empty()) commandLine += " " + arguments;
  std::vector<char> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  return CreateProcessA(VELLUMIX_EXE, buffer.data(), nullptr, nullptr, FALSE, 0,
                        const_cast<char*>(environment), nullptr, &startup, &info_) != 0;
}

bool ProgramProcess::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
  if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
  return GetExitCodeProcess(info_.hProcess, exitCode) != 0;
}

HWND ProgramProcess::WaitForFrame(DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    for (HWND frame = FindWindowExA(nullptr, nullptr, "wcPakMDIFrame", nullptr); frame;
         frame = FindWindowExA(nullptr, frame, "wcPakMDIFrame", nullptr)) {
      DWORD pid = 0;
      GetWindowThreadProcessId(frame, &pid);
      // The frame exists from the start of its creation; it is ready, with its toolbar,
      // status bar and MDI client, once start-up has shown it.
      if (pid == info_.dwProcessId && IsWindowVisible(frame)) return frame;
    }
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(50);
  }
}

std::string WindowText(HWND hwnd) {
  char text[1024] = {};
  GetWindowTextA(hwnd, text, sizeof text);
  return text;
}

HWND FindChild(HWND parent, const char* className) {
  return FindWindowExA(parent, nullptr, className, nullptr);
}

HWND WaitForChildTitled(HWND mdiClient, const std::string& title, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    for (HWND child = GetWindow(mdiClient, GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT)) {
      if (WindowText(child) == title) return child;
    }
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(50);
  }
}

HWND WaitForMessageBox(DWORD processId, const char* caption, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    for (HWND w = FindWindowA("#32770", caption); w; w = FindWindowExA(nullptr, w, "#32770", caption)) {
      DWORD pid = 0;
      GetWindowThreadProcessId(w, &pid);
      if (pid == processId && IsWindowVisible(w)) return w;
    }
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(50);
  }
}

std::string MessageBoxText(HWND box) {
  char text[1024] = {};
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  return text;
}

bool AnswerMessageBox(HWND box, int button, DWORD timeoutMs) {
  PostMessageA(box, WM_COMMAND, button, 0);
  DWORD start = GetTickCount();
  while (IsWindow(box)) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(50);
  }
  return true;
}

namespace {

ArchivePanes PanesOf(HWND window) {
  ArchivePanes panes;
  HWND splitter = window ? FindChild(window, "wcSplitter") : nullptr;
  if (!splitter) return panes;
  panes.window = window;
  panes.tree = FindChild(splitter, "wcPakTV");
  // The list shares a splitter of its own with the preview pane.
  HWND inner = FindChild(splitter, "wcSplitter");
  panes.list = FindChild(inner ? inner : splitter, "wcPakLV");
  return panes;
}

// Creation fills both panes and selects the root folder, and an MDI child is shown only
// once its creation has returned; so a shown window with a selected folder is complete.
bool IsComplete(const ArchivePanes& panes) {
  return panes.tree && panes.list && IsWindowVisible(panes.window) &&
         SendMessageA(panes.tree, TVM_GETNEXTITEM, TVGN_CARET, 0) != 0;
}

}  // namespace

ArchivePanes WaitForArchivePanes(HWND mdiClient, const std::string& title, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    for (HWND child = GetWindow(mdiClient, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      if (WindowText(child) != title) continue;
      ArchivePanes panes = PanesOf(child);
      if (IsComplete(panes)) return panes;
    }
    if (GetTickCount() - start >= timeoutMs) return ArchivePanes();
    Sleep(50);
  }
}

std::string RemoteStatusText(HWND statusBar) {
  RemoteBuffer buffer(statusBar, 1024);
  if (!buffer.ok()) return "<no access>";
  // A simple-mode bar answers for its one text as part 0.
  SendMessageA(statusBar, SB_GETTEXTA, 0, buffer.address());
  char text[1024] = {};
  buffer.Read(text, sizeof text - 1);
  return text;
}

std::string RemoteTreeText(HWND tree, HTREEITEM item) {
  constexpr size_t kText = 512;
  RemoteBuffer buffer(tree, sizeof(TVITEMA) + kText);
  if (!buffer.ok()) return "<no access>";
  TVITEMA tv = {};
  tv.mask = TVIF_TEXT | TVIF_HANDLE;
  tv.hItem = item;
  tv.pszText = reinterpret_cast<char*>(buffer.address() + sizeof tv);
  tv.cchTextMax = kText;
  if (!buffer.Write(&tv, sizeof tv)) return "<no access>";
  SendMessageA(tree, TVM_GETITEMA, 0, buffer.address());
  char text[kText + 1] = {};
  buffer.Read(text, kText, sizeof tv);
  return text;
}

std::vector<std::string> RemoteTreeChildren(HWND tree, HTREEITEM parent) {
  std::vector<std::string> names;
  for (HTREEITEM child : TreeChildItems(tree, parent)) names.push_back(RemoteTreeText(tree, child));
  return names;
}

std::string RemoteListText(HWND list, int index, int column) {
  constexpr size_t kText = 512;
  RemoteBuffer buffer(list, sizeof(LVITEMA) + kText);
  if (!buffer.ok()) return "<no access>";
  LVITEMA item = {};
  item.iSubItem = column;
  item.pszText = reinterpret_cast<char*>(buffer.address() + sizeof item);
  item.cchTextMax = kText;
  if (!buffer.Write(&item, sizeof item)) return "<no access>";
  SendMessageA(list, LVM_GETITEMTEXTA, index, buffer.address());
  char text[kText + 1] = {};
  buffer.Read(text, kText, sizeof item);
  return text;
}

bool RemoteToolbarButton(HWND toolbar, int index, TBBUTTON* button) {
  RemoteBuffer buffer(toolbar, sizeof *button);
  if (!buffer.ok()) return false;
  if (!SendMessageA(toolbar, TB_GETBUTTON, index, buffer.address())) return false;
  return buffer.Read(button, sizeof *button);
}

std::string WriteTestFile(const std::string& dir, const std::string& name,
                          const std::vector<uint8_t>& bytes) {
  std::string directory = std::string(VELLUMIX_E2E_DIR) + "\\" + dir;
  CreateDirectoryA(directory.c_str(), nullptr);
  std::string path = directory + "\\" + name;
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return "";
  bool written = bytes.empty() || std::fwrite(bytes.data(), bytes.size(), 1, out) == 1;
  if (std::fclose(out) != 0 || !written) return "";
  return path;
}

std::string WriteSmallPak(const std::string& dir, const std::string& name) {
  return WriteTestFile(dir, name, sample::Pak({{"readme.txt", "hello"}}));
}

namespace {

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(20);
  }
  return true;
}

bool PressedState(HWND toolbar, int command, bool pressed, DWORD timeoutMs) {
  if (!PostMessageA(toolbar, TB_PRESSBUTTON, command, MAKELPARAM(pressed ? TRUE : FALSE, 0))) return false;
  return WaitUntil([&] { return (SendMessageA(toolbar, TB_ISBUTTONPRESSED, command, 0) != 0) == pressed; },
                   timeoutMs);
}

BOOL CALLBACK NoteUnpainted(HWND child, LPARAM lParam) {
  if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE)) *reinterpret_cast<bool*>(lParam) = true;
  return TRUE;
}

}  // namespace

bool WaitForPostedMessages(HWND toolbar, DWORD timeoutMs) {
  TBBUTTON button = {};
  int command = 0;
  for (int i = 0; RemoteToolbarButton(toolbar, i, &button); ++i) {
    if (button.fsStyle & TBSTYLE_SEP) continue;
    command = button.idCommand;
    break;
  }
  return command != 0 && PressedState(toolbar, command, true, timeoutMs) &&
         PressedState(toolbar, command, false, timeoutMs);
}

bool WaitUntilPainted(HWND window, DWORD timeoutMs) {
  const bool painted = WaitUntil(
      [window] {
        bool unpainted = GetUpdateRect(window, nullptr, FALSE) != 0;
        EnumChildWindows(window, NoteUnpainted, reinterpret_cast<LPARAM>(&unpainted));
        return !unpainted;
      },
      timeoutMs);
  WaitUntilDrawn(window, timeoutMs);
  return painted;
}

bool SaveScreenshot(const std::string& name) { return SaveScreenshotTo(VELLUMIX_SCREENSHOT_DIR, name); }

void ScreenshotOnFailureTest::SetUp() { SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\Quillmoor"); }

void ScreenshotOnFailureTest::TearDown() {
  if (HasFailure()) {
    SaveScreenshot(std::string("failed-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
}
