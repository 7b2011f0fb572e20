#include "tests/win/support/frame_test_support.h"

#include <commctrl.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "services/core/window_state.h"
#include "services/globals.h"
#include "services/messages.h"
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
    const auto* request = reinterpret_cast<const ArchiveWindowRequest*>(mdi->lParam);
    const char* path = request ? request->path : nullptr;
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
  g_settings.archiveDirectory[0] = '\0';
  g_settings.zipCompressionLevel = kDefaultZipLevel;
  g_settings.keepCase = false;
  // Nor recent files from earlier tests.
  RegDeleteKeyA(HKEY_CURRENT_USER, kRecentFilesKey);
  ASSERT_TRUE(LoadMenuAndAccelerators());
  ASSERT_TRUE(LoadRecentFiles());
  frame_ = CreateFrameWindow(SW_SHOW);
  ASSERT_NE(frame_, nullptr);
  ASSERT_EQ(frame_, g_frameWindow);
  SetForegroundWindow(frame_);
  PumpPending();
}

void FrameTest::TearDown() {
  if (frame_ && IsWindow(frame_)) DestroyWindow(frame_);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message != WM_QUIT) DispatchMessageA(&msg);
  }
  CloseQueryLog().clear();
}

void PumpPending() {
  // Bounded: a window that never validates itself would otherwise keep the queue busy.
  MSG msg;
  for (int n = 0; n < 100000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (TranslateFrameMessage(&msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
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

long RunTestProcess(const std::string& filter, const std::vector<std::pair<std::string, std::string>>& environment,
                    DWORD timeoutMs) {
  char exe[MAX_PATH] = {};
  if (!GetModuleFileNameA(nullptr, exe, MAX_PATH)) return -1;
  std::string command = std::string("\"") + exe + "\" --gtest_also_run_disabled_tests --gtest_filter=" + filter;
  for (const auto& variable : environment) SetEnvironmentVariableA(variable.first.c_str(), variable.second.c_str());
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  const bool started =
      CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process) != FALSE;
  for (const auto& variable : environment) SetEnvironmentVariableA(variable.first.c_str(), nullptr);
  if (!started) return -1;
  const bool ended = PumpUntil([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }, timeoutMs);
  DWORD code = static_cast<DWORD>(-1);
  if (ended) {
    GetExitCodeProcess(process.hProcess, &code);
  } else {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return ended ? static_cast<long>(code) : -1;
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

void TypeText(const char* text) {
  for (const char* c = text; *c; ++c) {
    const SHORT key = VkKeyScanA(*c);
    const WORD code = static_cast<WORD>(key & 0xFF);
    if (key & 0x100)
      PressKeys({VK_SHIFT, code});
    else
      PressKeys({code});
  }
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

namespace {

// The input messages the hooks of the one InputWatch saw: how many, and the latest ones in a
// ring, since WaitFor asks whether a matching one came after a given count. Written by the
// watched thread only.
std::atomic<unsigned long> g_inputCount{0};
constexpr unsigned kInputRing = 256;
struct SeenInput {
  std::atomic<UINT> message{0};
  std::atomic<long> x{0}, y{0};
};
SeenInput g_inputRing[kInputRing];

void NoteInput(UINT message, POINT at) {
  SeenInput& slot = g_inputRing[g_inputCount.load() % kInputRing];
  slot.message = message;
  slot.x = at.x;
  slot.y = at.y;
  g_inputCount.fetch_add(1);
}

LRESULT CALLBACK NoteMouseMessage(int code, WPARAM message, LPARAM lParam) {
  if (code == HC_ACTION) NoteInput(static_cast<UINT>(message), reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam)->pt);
  return CallNextHookEx(nullptr, code, message, lParam);
}

LRESULT CALLBACK NoteKeyMessage(int code, WPARAM key, LPARAM flags) {
  // Bit 31 of the flags: the key is being released.
  if (code == HC_ACTION) NoteInput((flags & 0x80000000) ? WM_KEYUP : WM_KEYDOWN, POINT{0, 0});
  return CallNextHookEx(nullptr, code, key, flags);
}

}  // namespace

InputWatch::InputWatch(DWORD thread)
    : mouse_(SetWindowsHookExA(WH_MOUSE, NoteMouseMessage, nullptr, thread)),
      keys_(SetWindowsHookExA(WH_KEYBOARD, NoteKeyMessage, nullptr, thread)) {}

InputWatch::~InputWatch() {
  if (mouse_) UnhookWindowsHookEx(mouse_);
  if (keys_) UnhookWindowsHookEx(keys_);
}

unsigned long InputWatch::Count() const { return g_inputCount.load(); }

bool InputWatch::WaitFor(unsigned long after, UINT message, const POINT* at, DWORD timeoutMs) const {
  const DWORD start = GetTickCount();
  unsigned long checked = after;
  for (;;) {
    const unsigned long count = g_inputCount.load();
    if (count - checked > kInputRing) checked = count - kInputRing;
    for (; checked < count; ++checked) {
      const SeenInput& seen = g_inputRing[checked % kInputRing];
      if ((message == 0 || seen.message == message) && (!at || (seen.x == at->x && seen.y == at->y))) return true;
    }
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(5);
  }
}

bool MoveMouseAndWait(int x, int y, DWORD timeoutMs) {
  MoveMouseTo(x, y);
  const DWORD start = GetTickCount();
  for (;;) {
    POINT now;
    // The absolute coordinates of SendInput are scaled: a pixel either way is the same place.
    if (GetCursorPos(&now) && std::abs(now.x - x) <= 1 && std::abs(now.y - y) <= 1) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(5);
  }
}

bool ClickAndWait(POINT screen, bool right) {
  InputWatch taken(GetCurrentThreadId());
  if (!MoveMouseAndWait(screen.x, screen.y)) return false;
  const unsigned long before = taken.Count();
  ClickAt(screen, right);
  const UINT up = right ? WM_RBUTTONUP : WM_LBUTTONUP;
  const bool released = PumpUntil([&] { return taken.WaitFor(before, up, nullptr, 0); });
  PumpPending();
  return released;
}

bool MoveMouseAndTake(int x, int y) {
  POINT now;
  if (GetCursorPos(&now) && now.x == x && now.y == y) {
    PumpPending();
    return true;
  }
  InputWatch taken(GetCurrentThreadId());
  const unsigned long before = taken.Count();
  if (!MoveMouseAndWait(x, y) || !GetCursorPos(&now)) return false;
  const bool moved = PumpUntil([&] { return taken.WaitFor(before, 0, &now, 0); });
  PumpPending();
  return moved;
}
