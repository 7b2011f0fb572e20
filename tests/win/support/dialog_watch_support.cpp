#include "tests/win/support/dialog_watch_support.h"

#include "tests/win/support/frame_test_support.h"
#include "services/globals.h"
#include "tests/win/support/screenshot.h"

#include <commdlg.h>
#include <dlgs.h>

#include <mutex>

HWND FindOwnDialog(const char* caption, HWND owner) {
  for (HWND dialog = FindWindowExA(nullptr, nullptr, "#32770", caption); dialog;
       dialog = FindWindowExA(nullptr, dialog, "#32770", caption)) {
    DWORD pid = 0;
    GetWindowThreadProcessId(dialog, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(dialog)) continue;
    if (!owner || GetWindow(dialog, GW_OWNER) == owner) return dialog;
  }
  return nullptr;
}

namespace {

struct ControlSearch {
  int id;
  HWND found;
};

BOOL CALLBACK MatchControl(HWND child, LPARAM lParam) {
  auto* search = reinterpret_cast<ControlSearch*>(lParam);
  if (GetDlgCtrlID(child) != search->id) return TRUE;
  search->found = child;
  return FALSE;
}

}  // namespace

HWND FindDialogControl(HWND dialog, int id) {
  ControlSearch search = {id, nullptr};
  EnumChildWindows(dialog, MatchControl, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string DialogItemText(HWND dialog, int id) {
  char text[4096] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

DialogWatcher::DialogWatcher(std::string caption, int button, DWORD timeoutMs,
                             std::function<void(HWND)> act)
    : caption_(std::move(caption)), button_(button), timeoutMs_(timeoutMs), act_(std::move(act)) {
  thread_ = std::thread([this] { Run(); });
}

DialogWatcher::~DialogWatcher() {
  if (thread_.joinable()) thread_.join();
}

WatchedDialog DialogWatcher::Wait() {
  if (thread_.joinable()) thread_.join();
  return seen_;
}

WatchedDialog DialogWatcher::Finish() {
  stop_ = true;
  return Wait();
}

PopupMenuWatcher::PopupMenuWatcher(WORD key, std::string screenshot, DWORD timeoutMs)
    : key_(key), screenshot_(std::move(screenshot)), timeoutMs_(timeoutMs) {
  thread_ = std::thread([this] { Run(); });
}

PopupMenuWatcher::~PopupMenuWatcher() {
  if (thread_.joinable()) thread_.join();
}

WatchedMenu PopupMenuWatcher::Wait() {
  if (thread_.joinable()) thread_.join();
  return seen_;
}

namespace {

// The menu of a shown popup-menu window ("#32768") of this process and that window, or null.
HMENU FindOwnPopupMenu(HWND* window) {
  constexpr UINT kGetMenu = 0x01E1;  // MN_GETHMENU
  for (HWND popup = FindWindowExA(nullptr, nullptr, "#32768", nullptr); popup;
       popup = FindWindowExA(nullptr, popup, "#32768", nullptr)) {
    DWORD pid = 0;
    GetWindowThreadProcessId(popup, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(popup)) continue;
    *window = popup;
    if (auto menu = reinterpret_cast<HMENU>(SendMessageA(popup, kGetMenu, 0, 0))) return menu;
  }
  return nullptr;
}

}  // namespace

void PopupMenuWatcher::Run() {
  const DWORD start = GetTickCount();
  HMENU menu = nullptr;
  HWND popup = nullptr;
  while (!(menu = FindOwnPopupMenu(&popup))) {
    if (GetTickCount() - start >= timeoutMs_) {
      done_ = true;
      return;
    }
    Sleep(20);
  }
  seen_.found = true;
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    const UINT state = GetMenuState(menu, i, MF_BYPOSITION);
    if (state & MF_SEPARATOR) continue;
    char text[256] = {};
    GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
    seen_.entries.emplace_back(text, !(state & (MF_GRAYED | MF_DISABLED)));
    if (state & MF_CHECKED) seen_.checked.push_back(text);
  }
  if (g_statusBar) seen_.status = StatusText();
  if (!screenshot_.empty()) {
    UpdateWindow(popup);  // painted by the menu's thread before this returns
    WaitUntilDrawn(popup);
    SaveScreenshotTo(VELLUMIX_SCREENSHOT_DIR, screenshot_);
  }
  PressKeys({key_});
  done_ = true;
}

void DialogWatcher::Run() {
  DWORD start = GetTickCount();
  HWND dialog = nullptr;
  while (!(dialog = FindOwnDialog(caption_.c_str()))) {
    if (stop_ || GetTickCount() - start >= timeoutMs_) return;
    Sleep(20);
  }
  seen_.found = true;
  char text[4096] = {};
  GetWindowTextA(dialog, text, sizeof text);
  seen_.caption = text;
  seen_.message = DialogItemText(dialog, 0xFFFF);
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    text[0] = '\0';
    GetWindowTextA(child, text, sizeof text);
    seen_.texts.push_back(text);
  }
  if (act_) {
    act_(dialog);
  } else {
    PressDialogButton(dialog, button_);
  }
}

void PressDialogButton(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

namespace {

const char kRunnerProp[] = "VellumixTestRunner";

LRESULT CALLBACK RunnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  static const UINT run = RegisterWindowMessageA("VellumixTestRun");
  auto original = reinterpret_cast<WNDPROC>(GetPropA(window, kRunnerProp));
  if (message == run && lParam == 0) {
    (*reinterpret_cast<const std::function<void()>*>(wParam))();
    return 0;
  }
  return CallWindowProcA(original, window, message, wParam, lParam);
}

}  // namespace

void RunOnWindowThread(HWND window, const std::function<void()>& work) {
  const UINT run = RegisterWindowMessageA("VellumixTestRun");
  auto original = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
  SetPropA(window, kRunnerProp, reinterpret_cast<HANDLE>(original));
  SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RunnerProc));
  SendMessageA(window, run, reinterpret_cast<WPARAM>(&work), 0);
  SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
  RemovePropA(window, kRunnerProp);
}

namespace {

// The one round trip under way: the message posted, and whether its thread has taken it.
std::mutex g_roundTrip;
std::atomic<HWND> g_roundTripWindow{nullptr};
std::atomic<bool> g_roundTripTaken{false};

UINT RoundTripMessage() {
  static const UINT message = RegisterWindowMessageA("VellumixTestRoundTrip");
  return message;
}

LRESULT CALLBACK NoteRoundTrip(int code, WPARAM removed, LPARAM lParam) {
  const MSG* msg = reinterpret_cast<const MSG*>(lParam);
  if (code == HC_ACTION && removed == PM_REMOVE && msg->message == RoundTripMessage() &&
      msg->hwnd == g_roundTripWindow.load()) {
    g_roundTripTaken = true;
  }
  return CallNextHookEx(nullptr, code, removed, lParam);
}

}  // namespace

bool WaitForPostedMessagesOf(HWND window, DWORD timeoutMs) {
  std::lock_guard<std::mutex> one(g_roundTrip);
  const DWORD thread = GetWindowThreadProcessId(window, nullptr);
  if (!thread) return false;
  HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, NoteRoundTrip, nullptr, thread);
  if (!hook) return false;
  g_roundTripWindow = window;
  g_roundTripTaken = false;
  bool taken = false;
  if (PostMessageA(window, RoundTripMessage(), 0, 0)) {
    const DWORD start = GetTickCount();
    while (!(taken = g_roundTripTaken) && IsWindow(window) && GetTickCount() - start < timeoutMs) Sleep(5);
  }
  UnhookWindowsHookEx(hook);
  g_roundTripWindow = nullptr;
  return taken;
}

void WaitForDialogReady(HWND dialog) {
  for (int i = 0; i < 250 && IsWindow(dialog) && !IsWindowVisible(dialog); ++i) Sleep(20);
  // Twice: what the first round of posted work posts in turn runs before the second.
  if (WaitForPostedMessagesOf(dialog)) WaitForPostedMessagesOf(dialog);
}

void TypeFileName(HWND dialog, const std::string& name) {
  WaitForDialogReady(dialog);
  int box = GetDlgItem(dialog, cmb13) ? cmb13 : edt1;
  SendMessageA(dialog, CDM_SETCONTROLTEXT, box, reinterpret_cast<LPARAM>(name.c_str()));
}

bool PollUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const DWORD kPollInterval = 10;  // ms between checks
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(kPollInterval);
  }
  return true;
}

bool ConfirmOverwrite(HWND fileDialog, DWORD timeoutMs) {
  HWND box = nullptr;
  PollUntil([&] { return !IsWindow(fileDialog) || (box = FindOwnDialog(nullptr, fileDialog)) != nullptr; }, timeoutMs);
  if (box == nullptr) return false;
  PressDialogButton(box, IDYES);
  return true;
}
