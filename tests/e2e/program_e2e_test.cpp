// The real program as a user meets it: started once, started again with a path or
// without one, and failing to start.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <iterator>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "tests/win/support/toolbar_buttons.h"

namespace {

constexpr DWORD kStartTimeoutMs = 20000;
constexpr int kMdiClientId = 1, kStatusBarId = 2, kToolbarId = 3;

using ProgramTest = ScreenshotOnFailureTest;

// An environment block like this process's, with the temporary path replaced.
std::vector<char> EnvironmentWithTemp(const std::string& temp) {
  std::vector<char> block;
  char* strings = GetEnvironmentStringsA();
  for (const char* p = strings; *p; p += strlen(p) + 1) {
    if (_strnicmp(p, "TMP=", 4) == 0 || _strnicmp(p, "TEMP=", 5) == 0) continue;
    block.insert(block.end(), p, p + strlen(p) + 1);
  }
  FreeEnvironmentStringsA(strings);
  for (const char* name : {"TMP=", "TEMP="}) {
    std::string entry = name + temp;
    block.insert(block.end(), entry.begin(), entry.end());
    block.push_back('\0');
  }
  block.push_back('\0');
  return block;
}

TEST_F(ProgramTest, StartShowsTheFrameWithMenuToolbarAndReady) {
  ProgramProcess program;
  ASSERT_TRUE(program.Start(""));
  HWND frame = program.WaitForFrame(kStartTimeoutMs);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(WindowText(frame), "Vellumix");
  EXPECT_TRUE(IsWindowVisible(frame));
  EXPECT_NE(GetMenu(frame), nullptr);

  HWND toolbar = GetDlgItem(frame, kToolbarId);
  ASSERT_NE(toolbar, nullptr);
  char className[64] = {};
  GetClassNameA(toolbar, className, sizeof className);
  EXPECT_STREQ(className, "wcPakToolbar");
  ASSERT_EQ(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0), static_cast<LRESULT>(std::size(kToolbarButtons)));
  for (int i = 0; i < static_cast<int>(std::size(kToolbarButtons)); ++i) {
    SCOPED_TRACE(i);
    TBBUTTON button = {};
    ASSERT_TRUE(RemoteToolbarButton(toolbar, i, &button));
    EXPECT_EQ(button.idCommand, kToolbarButtons[i].command);
    EXPECT_EQ(button.fsStyle, kToolbarButtons[i].style);
    if (kToolbarButtons[i].style == TBSTYLE_SEP) continue;
    EXPECT_EQ(button.iBitmap, kToolbarButtons[i].image);
    LRESULT state = SendMessageA(toolbar, TB_GETSTATE, kToolbarButtons[i].command, 0);
    EXPECT_EQ((state & TBSTATE_ENABLED) != 0, kToolbarButtons[i].enabled);
  }

  HWND status = GetDlgItem(frame, kStatusBarId);
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(RemoteStatusText(status), "Ready");
  HWND client = GetDlgItem(frame, kMdiClientId);
  ASSERT_NE(client, nullptr);
  EXPECT_EQ(GetWindow(client, GW_CHILD), nullptr);

  EXPECT_TRUE(WaitUntilPainted(frame, 10000));
  EXPECT_TRUE(SaveScreenshot("frame"));
  PostMessageA(frame, WM_CLOSE, 0, 0);
  DWORD code = 99;
  ASSERT_TRUE(program.WaitForExit(10000, &code));
  EXPECT_EQ(code, 0u);
}

TEST_F(ProgramTest, CommandLinePathOpensInTheFirstInstance) {
  std::string archive = WriteSmallPak("Game Data", "Maps One.PAK");
  ASSERT_FALSE(archive.empty());
  ProgramProcess program;
  ASSERT_TRUE(program.Start("\"" + archive + "\""));
  HWND frame = program.WaitForFrame(kStartTimeoutMs);
  ASSERT_NE(frame, nullptr);
  HWND client = GetDlgItem(frame, kMdiClientId);
  EXPECT_NE(WaitForChildTitled(client, Lower(archive), 10000), nullptr);
}

TEST_F(ProgramTest, SecondStartHandsItsQuotedPathToTheFirstAndEndsWithOne) {
  ProgramProcess first;
  ASSERT_TRUE(first.Start(""));
  HWND frame = first.WaitForFrame(kStartTimeoutMs);
  ASSERT_NE(frame, nullptr);
  ShowWindow(frame, SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(frame));

  std::string archive = WriteSmallPak("My Archives", "Base Game.PAK");
  ASSERT_FALSE(archive.empty());
  ProgramProcess second;
  ASSERT_TRUE(second.Start("\"" + archive + "\""));
  DWORD code = 0;
  ASSERT_TRUE(second.WaitForExit(15000, &code));
  EXPECT_EQ(code, 1u);

  HWND client = GetDlgItem(frame, kMdiClientId);
  HWND child = WaitForChildTitled(client, Lower(archive), 5000);
  EXPECT_NE(child, nullptr);
  EXPECT_FALSE(IsIconic(frame));
  EXPECT_EQ(GetForegroundWindow(), frame);
}

// A second start hands its path over and ends, whatever the first then shows: here a box
// about that very path, which waits for the user. A start after it, while the box is still
// open, ends as well, and its archive is shown.
TEST_F(ProgramTest, SecondStartsEndWhileTheFirstWaitsInABox) {
  const std::string damaged = WriteTestFile("Waiting Box", "Cut Short.pk3", {'P', 'K', 3, 4, 20, 0});
  ASSERT_FALSE(damaged.empty());
  const std::string archive = WriteSmallPak("Waiting Box", "Handed Over.PAK");
  ASSERT_FALSE(archive.empty());
  ProgramProcess first;
  ASSERT_TRUE(first.Start(""));
  HWND frame = first.WaitForFrame(kStartTimeoutMs);
  ASSERT_NE(frame, nullptr);

  ProgramProcess second;
  ASSERT_TRUE(second.Start("\"" + damaged + "\""));
  HWND box = WaitForMessageBox(first.processId(), "Vellumix", kStartTimeoutMs);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(MessageBoxText(box),
            "Error reading PK3 file\n" + Lower(damaged) +
                ": no end-of-central-directory record (not a ZIP archive, or cut short).");
  DWORD code = 0;
  ASSERT_TRUE(second.WaitForExit(kStartTimeoutMs, &code)) << "the second start waits for the box";
  EXPECT_EQ(code, 1u);
  ASSERT_TRUE(IsWindow(box)) << "the box went before the second start ended";

  ProgramProcess third;
  ASSERT_TRUE(third.Start("\"" + archive + "\""));
  code = 0;
  ASSERT_TRUE(third.WaitForExit(kStartTimeoutMs, &code)) << "the third start waits for the box";
  EXPECT_EQ(code, 1u);
  ASSERT_TRUE(IsWindow(box)) << "the box went before the third start ended";

  ASSERT_TRUE(AnswerMessageBox(box, IDOK, kStartTimeoutMs));
  HWND client = GetDlgItem(frame, kMdiClientId);
  ArchivePanes panes = WaitForArchivePanes(client, Lower(archive), kStartTimeoutMs);
  ASSERT_NE(panes.window, nullptr);
  EXPECT_EQ(RemoteListText(panes.list, 0, 0), "readme.txt");
  // The archive that could not be read left no window behind.
  EXPECT_EQ(GetWindow(panes.window, GW_HWNDNEXT), nullptr);
  EXPECT_EQ(GetWindow(panes.window, GW_HWNDPREV), nullptr);
  PostMessageA(frame, WM_CLOSE, 0, 0);
  ASSERT_TRUE(first.WaitForExit(kStartTimeoutMs, &code));
  EXPECT_EQ(code, 0u);
}

TEST_F(ProgramTest, SecondStartWithoutPathOnlyBringsTheFirstToTheFront) {
  ProgramProcess first;
  ASSERT_TRUE(first.Start(""));
  HWND frame = first.WaitForFrame(kStartTimeoutMs);
  ASSERT_NE(frame, nullptr);
  ShowWindow(frame, SW_MINIMIZE);

  ProgramProcess second;
  ASSERT_TRUE(second.Start(""));
  DWORD code = 0;
  ASSERT_TRUE(second.WaitForExit(15000, &code));
  EXPECT_EQ(code, 1u);
  EXPECT_FALSE(IsIconic(frame));
  EXPECT_EQ(GetForegroundWindow(), frame);
  // A start without a path hands nothing over: whatever the running program has queued by
  // now has run, and it opened no window.
  EXPECT_TRUE(WaitForPostedMessages(FindChild(frame, "wcPakToolbar"), 10000));
  EXPECT_EQ(GetWindow(GetDlgItem(frame, kMdiClientId), GW_CHILD), nullptr);
  EXPECT_EQ(second.WaitForFrame(0), nullptr);
}

TEST_F(ProgramTest, SecondStartGivesUpWhenNoFrameAppears) {
  // The name is held, as by a first instance that is still starting, but no frame comes.
  HANDLE held = CreateMutexA(nullptr, TRUE, "wcPakMDIFrame");
  ASSERT_NE(held, nullptr);
  ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  ProgramProcess second;
  DWORD start = GetTickCount();
  ASSERT_TRUE(second.Start("C:\\a.pak"));
  DWORD code = 0;
  ASSERT_TRUE(second.WaitForExit(30000, &code));
  EXPECT_EQ(code, 1u);
  EXPECT_GE(GetTickCount() - start, 4500u);
  ReleaseMutex(held);
  CloseHandle(held);
}

TEST_F(ProgramTest, StartupFailureEndsSilentlyWithZero) {
  // 250 characters and the backslash: no room left for "Vellumix\".
  std::string temp = "C:\\" + std::string(247, 't');
  ASSERT_EQ(temp.size() + 1, 251u);
  std::vector<char> environment = EnvironmentWithTemp(temp);
  ProgramProcess failing;
  ASSERT_TRUE(failing.Start("", environment.data()));
  DWORD code = 99;
  bool ended = false;
  DWORD start = GetTickCount();
  while (!(ended = failing.WaitForExit(50, &code)) && GetTickCount() - start < 20000) {
    ASSERT_EQ(failing.WaitForFrame(0), nullptr) << "a frame appeared";
  }
  ASSERT_TRUE(ended);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(FindWindowA("#32770", nullptr), nullptr) << "something was shown";

  // The failed start let go of the single-instance name.
  ProgramProcess next;
  ASSERT_TRUE(next.Start(""));
  EXPECT_NE(next.WaitForFrame(kStartTimeoutMs), nullptr);
}

}  // namespace
