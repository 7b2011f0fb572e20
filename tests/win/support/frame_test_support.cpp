#include "tests/win/support/frame_test_support.h"

#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>

#include "services/core/window_state.h"
#include "services/globals.h"
#include "services/settings.h"
#include "app/startup.h"
#include "tests/core/sample_archives.h"
#include "tests/win/support/transfer_test_support.h"

namespace {

struct Installed {
  WNDPROC previous;
  ChildBehaviour* behaviour;
};
std::map<HWND, Installed> g_installed;

LRESULT CALLBACK BehaviourProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Installed installed = g_installed[hwnd];
  switch (msg) {
    case WM_QUERYENDSESSION:
      installed.behaviour->closeQueries++;
      CloseQueryLog().push_back(hwnd);
      if (!installed.behaviour->allowClose) return FALSE;
      break;
    case WM_COMMAND:
      installed.behaviour->commands.emplace_back(wParam, lParam);
      return 0;
    case WM_NCDESTROY:
      g_installed.erase(hwnd);
      break;
  }
  return CallWindowProcA(installed.previous, hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK TestArchiveWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CREATE) {
    const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    const MDICREATESTRUCTA* mdi = static_cast<const MDICREATESTRUCTA*>(create->lpCreateParams);
    const char* path = reinterpret_cast<const char*>(mdi->lParam);
    SetWindowTextA(hwnd, path ? Lower(path).c_str() : "Untitled");
  }
  return DefMDIChildProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

void FrameWithTestWindowsTest::SetUp() {
  FrameTest::SetUp();
  if (HasFatalFailure()) return;
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  ASSERT_TRUE(GetClassInfoExA(g_instance, kArchiveClass, &wc));
  ASSERT_TRUE(UnregisterClassA(kArchiveClass, g_instance));
  wc.lpfnWndProc = TestArchiveWindowProc;
  ASSERT_NE(RegisterClassExA(&wc), 0);
}

bool WriteSmallPak(const std::string& path) {
  const std::vector<uint8_t> pak = sample::Pak({{"readme.txt", "hello"}});
  return WriteDiskFile(path, std::string(pak.begin(), pak.end()));
}

void FrameTest::SetUp() {
  g_instance = GetModuleHandleA(nullptr);
  InitCommonControls();
  ASSERT_TRUE(RegisterWindowClasses(g_instance));
  // The settings of a first run, whatever earlier tests left in the registry.
  std::memset(&g_settings.windowState, 0, sizeof g_settings.windowState);
  CorrectWindowState(&g_settings.windowState);
  g_settings.initialDirectory[0] = '\0';
  g_settings.zipCompressionLevel = kDefaultZipLevel;
  // Nor recent files from earlier tests.
  RegDeleteKeyA(HKEY_CURRENT_USER, kRecentFilesKey);
  ASSERT_TRUE(LoadMenuAndAccelerators());
  ASSERT_TRUE(LoadRecentFiles());
  frame_ = CreateFrameWindow(SW_SHOW);
  ASSERT_NE(frame_, nullptr);
  ASSERT_EQ(frame_, g_frameWindow);
  SetForegroundWindow(frame_);
  Pump(50);
}

void FrameTest::TearDown() {
  if (frame_ && IsWindow(frame_)) DestroyWindow(frame_);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message != WM_QUIT) DispatchMessageA(&msg);
  }
  CloseQueryLog().clear();
}

void Pump(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return done();
      }
      if (TranslateFrameMessage(&msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (done()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

std::string StatusText() {
  char text[1024] = {};
  // A simple-mode bar answers for its one text as part 0.
  SendMessageA(g_statusBar, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
  return text;
}

std::string Title(HWND window) {
  char text[1024] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::vector<HWND> ArchiveWindows() {
  std::vector<HWND> windows;
  for (HWND child = GetWindow(g_mdiClient, GW_CHILD); child;
       child = GetWindow(child, GW_HWNDNEXT)) {
    windows.push_back(child);
  }
  return windows;
}

HWND ActiveArchiveWindow() {
  return reinterpret_cast<HWND>(SendMessageA(g_mdiClient, WM_MDIGETACTIVE, 0, 0));
}

RECT ChildRect(HWND child) {
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void InstallChildBehaviour(HWND child, ChildBehaviour* behaviour) {
  WNDPROC previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BehaviourProc)));
  g_installed[child] = Installed{previous, behaviour};
}

std::vector<HWND>& CloseQueryLog() {
  static std::vector<HWND> log;
  return log;
}

void PressKeys(std::initializer_list<WORD> keys) {
  std::vector<INPUT> inputs;
  for (WORD key : keys) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    inputs.push_back(input);
  }
  for (auto it = keys.end(); it != keys.begin();) {
    --it;
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = *it;
    input.ki.dwFlags = KEYEVENTF_KEYUP;
    inputs.push_back(input);
  }
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void ClickAt(POINT screen, bool right) {
  MoveMouseTo(screen.x, screen.y);
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
  SendInput(2, in, sizeof in[0]);
}

void MoveMouseTo(int x, int y) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
  input.mi.dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &input, sizeof input);
}
