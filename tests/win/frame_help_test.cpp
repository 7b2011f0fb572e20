// Status-bar help for highlighted menu items and toolbar buttons.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "resources/command_ids.h"
#include "resources/shell_ids.h"
#include "services/globals.h"
#include "tests/win/support/frame_test_support.h"

namespace {

using FrameHelpTest = FrameTest;

// The notification codes the frame received, for the failure message.
std::vector<int> g_notifications;
WNDPROC g_frameProc;
LRESULT CALLBACK RecordingFrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NOTIFY) g_notifications.push_back(reinterpret_cast<NMHDR*>(lParam)->code);
  return CallWindowProcA(g_frameProc, hwnd, msg, wParam, lParam);
}

std::string Codes() {
  std::string text;
  for (int code : g_notifications) text += std::to_string(code) + " ";
  return text;
}

void SelectMenuItem(HWND frame, UINT item, UINT flags, HMENU menu) {
  SendMessageA(frame, WM_MENUSELECT, MAKEWPARAM(item, flags), reinterpret_cast<LPARAM>(menu));
}

TEST_F(FrameHelpTest, MenuSelectShowsTheItemsHelpText) {
  HMENU menu = GetMenu(frame_);
  HMENU file = GetSubMenu(menu, MENU_POS_FILE);
  HMENU edit = GetSubMenu(menu, MENU_POS_EDIT);
  HMENU recent = GetSubMenu(file, FILE_MENU_POS_RECENT);
  struct Case {
    const char* name;
    UINT item;
    UINT flags;
    HMENU menu;
    const char* before;
    const char* after;
  };
  const Case cases[] = {
      {"cut", ID_EDIT_CUT, MF_HILITE, edit, "x",
       "Removes the selected items and move them onto the Clipboard"},
      {"rename", ID_EDIT_RENAME, MF_HILITE, edit, "x", "Renames the selected item"},
      {"find", ID_EDIT_FIND, MF_HILITE, edit, "x", "Finds files and directories of the archive by name"},
      {"test archive", ID_FILE_TEST_ARCHIVE, MF_HILITE | MF_GRAYED, file, "x",
       "Reads every file of the archive and reports the damaged ones"},
      {"new", ID_FILE_NEW, MF_HILITE | MF_MOUSESELECT, file, "x", "Creates a new document"},
      {"recent file", ID_FILE_MRU_FIRST, MF_HILITE, recent, "x", "Opens this document"},
      {"recent file beyond the first", ID_FILE_MRU_FIRST + 3, MF_HILITE, recent, "x",
       "Opens this document"},
      {"submenu has no text", FILE_MENU_POS_RECENT, MF_HILITE | MF_POPUP, file, "kept", "kept"},
      {"separator has no text", 0, MF_HILITE | MF_SEPARATOR, file, "kept", "kept"},
      {"system menu", SC_CLOSE, MF_HILITE | MF_SYSMENU, GetSystemMenu(frame_, FALSE), "kept",
       "kept"},
      {"not highlighted", ID_FILE_NEW, 0, file, "x", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SendMessageA(g_statusBar, SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>(c.before));
    SelectMenuItem(frame_, c.item, c.flags, c.menu);
    EXPECT_EQ(StatusText(), c.after);
  }
}

TEST_F(FrameHelpTest, ClosingTheMenuShowsReady) {
  SelectMenuItem(frame_, ID_EDIT_CUT, MF_HILITE, GetSubMenu(GetMenu(frame_), MENU_POS_EDIT));
  SelectMenuItem(frame_, 0, 0xFFFF, nullptr);
  // Posted: it lands after the command the menu sent.
  EXPECT_NE(StatusText(), "Ready");
  PumpPending();
  EXPECT_EQ(StatusText(), "Ready");
}

// Opens the File menu with the keyboard, walks it and closes it, reading the status bar
// from another thread while the menu's own loop runs.
TEST_F(FrameHelpTest, WalkingTheRealMenuShowsHelpThenReady) {
  std::string first, second;
  std::atomic<bool> finished{false};
  HWND frame = frame_;
  std::thread walker([&] {
    // The keys go to the window in front: the frame, once the system has put it there.
    for (int i = 0; i < 250 && GetForegroundWindow() != frame; ++i) Sleep(20);
    PressKeys({VK_MENU, 'F'});
    for (int i = 0; i < 100 && StatusText() != "Creates a new document"; ++i) Sleep(20);
    first = StatusText();
    PressKeys({VK_DOWN});
    for (int i = 0; i < 100 && StatusText() != "Opens an existing document"; ++i) Sleep(20);
    second = StatusText();
    PressKeys({VK_ESCAPE});
    PressKeys({VK_ESCAPE});
    finished = true;
  });
  PumpUntil([&] { return finished.load() && StatusText() == "Ready"; }, 8000);
  walker.join();
  EXPECT_EQ(first, "Creates a new document");
  EXPECT_EQ(second, "Opens an existing document");
  EXPECT_EQ(StatusText(), "Ready");
}

TEST_F(FrameHelpTest, TooltipNotificationsDriveTheStatusBar) {
  HWND tooltip = reinterpret_cast<HWND>(SendMessageA(g_toolbar, TB_GETTOOLTIPS, 0, 0));
  NMHDR header = {tooltip, ID_EDIT_CUT, TTN_SHOW};
  SendMessageA(frame_, WM_NOTIFY, ID_EDIT_CUT, reinterpret_cast<LPARAM>(&header));
  EXPECT_EQ(StatusText(), "Removes the selected items and move them onto the Clipboard");
  header.code = TTN_POP;
  SendMessageA(frame_, WM_NOTIFY, ID_EDIT_CUT, reinterpret_cast<LPARAM>(&header));
  EXPECT_EQ(StatusText(), "Ready");

  NMTTDISPINFOA info = {};
  info.hdr = {tooltip, ID_EDIT_CUT, TTN_NEEDTEXTA};
  SendMessageA(frame_, WM_NOTIFY, ID_EDIT_CUT, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.hinst, g_instance);
  EXPECT_EQ(info.lpszText, MAKEINTRESOURCEA(ID_EDIT_CUT + TOOLTIP_OFFSET));
}

// The mouse rests on the Cut button: the tooltip shows its text and the status bar its
// help; moving away brings "Ready" back.
TEST_F(FrameHelpTest, PointingAtTheCutButton) {
  g_frameProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(frame_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingFrameProc)));
  // An archive window enables Cut; the frame's help does not depend on it.
  SendMessageA(g_toolbar, TB_ENABLEBUTTON, ID_EDIT_CUT, TRUE);
  int index = static_cast<int>(SendMessageA(g_toolbar, TB_COMMANDTOINDEX, ID_EDIT_CUT, 0));
  RECT button;
  ASSERT_TRUE(SendMessageA(g_toolbar, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&button)));
  POINT center = {(button.left + button.right) / 2, (button.top + button.bottom) / 2};
  ClientToScreen(g_toolbar, &center);
  RECT frameRect;
  GetWindowRect(frame_, &frameRect);
  MoveMouseAndTake(frameRect.left + 300, frameRect.top + 300);
  MoveMouseAndTake(center.x, center.y);
  MoveMouseTo(center.x + 1, center.y);
  const std::string help = "Removes the selected items and move them onto the Clipboard";
  ASSERT_TRUE(PumpUntil([&] { return StatusText() == help; }, 5000))
      << StatusText() << "; notifications: " << Codes();

  HWND tooltip = reinterpret_cast<HWND>(SendMessageA(g_toolbar, TB_GETTOOLTIPS, 0, 0));
  EXPECT_TRUE(IsWindowVisible(tooltip));
  char text[128] = {};
  TTTOOLINFOA tool = {};
  tool.cbSize = sizeof tool;
  tool.hwnd = g_toolbar;
  tool.uId = ID_EDIT_CUT;
  tool.lpszText = text;
  SendMessageA(tooltip, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
  char shown[128] = {};
  GetWindowTextA(tooltip, shown, sizeof shown);
  EXPECT_TRUE(std::string(text) == "Cut (Ctrl+X)" || std::string(shown) == "Cut (Ctrl+X)")
      << "tool text '" << text << "', window text '" << shown << "'";

  MoveMouseTo(frameRect.left + 300, frameRect.top + 300);
  EXPECT_TRUE(PumpUntil([] { return StatusText() == "Ready"; }, 5000)) << StatusText();
}

}  // namespace
