// Where the frame puts its toolbar, MDI client and status bar, with and without the bars.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "resources/command_ids.h"
#include "app/frame.h"
#include "services/globals.h"
#include "tests/win/support/frame_test_support.h"

namespace {

struct Layout {
  RECT client;
  int toolbarHeight;
  int statusHeight;
};

int ExpectedToolbarHeight() {
  LRESULT count = SendMessageA(g_toolbar, TB_BUTTONCOUNT, 0, 0);
  RECT last;
  SendMessageA(g_toolbar, TB_GETITEMRECT, count - 1, reinterpret_cast<LPARAM>(&last));
  return static_cast<int>(1.25 * (last.bottom - last.top - 1) + 0.5);
}

void ExpectLayout(HWND frame, bool toolbar, bool status) {
  RECT area;
  GetClientRect(frame, &area);
  int t = toolbar ? ExpectedToolbarHeight() : 0;
  int s = 0;
  if (status) {
    RECT bar = ChildRect(g_statusBar);
    s = bar.bottom - bar.top;
    EXPECT_EQ(bar.left, 0);
    EXPECT_EQ(bar.right, area.right);
    EXPECT_EQ(bar.bottom, area.bottom);
  }
  if (toolbar) {
    RECT bar = ChildRect(g_toolbar);
    EXPECT_EQ(bar.left, 0);
    EXPECT_EQ(bar.top, 0);
    EXPECT_EQ(bar.right, area.right);
    EXPECT_EQ(bar.bottom, t);
  }
  RECT client = ChildRect(g_mdiClient);
  EXPECT_EQ(client.left, 0);
  EXPECT_EQ(client.top, t);
  EXPECT_EQ(client.right, area.right);
  EXPECT_EQ(client.bottom, area.bottom - s);
}

using FrameLayoutTest = FrameTest;

TEST_F(FrameLayoutTest, ToolbarHeightComesFromItsLastButton) {
  EXPECT_EQ(SendMessageA(g_toolbar, TB_BUTTONCOUNT, 0, 0), 17);
  int expected = ExpectedToolbarHeight();
  EXPECT_GT(expected, 0);
  EXPECT_EQ(ToolbarHeight(), expected);
  ExpectLayout(frame_, true, true);
}

TEST_F(FrameLayoutTest, LayoutFollowsTheFrameSize) {
  for (SIZE size : {SIZE{640, 480}, SIZE{400, 300}, SIZE{900, 700}}) {
    SCOPED_TRACE(size.cx);
    SetWindowPos(frame_, nullptr, 0, 0, size.cx, size.cy, SWP_NOZORDER | SWP_NOMOVE);
    PumpPending();
    ExpectLayout(frame_, true, true);
  }
}

TEST_F(FrameLayoutTest, HidingTheBarsGivesTheClientTheRoom) {
  struct Step {
    int command;
    bool toolbar;
    bool status;
  };
  const Step steps[] = {
      {ID_VIEW_TOOLBAR, false, true},
      {ID_VIEW_STATUS_BAR, false, false},
      {ID_VIEW_TOOLBAR, true, false},
      {ID_VIEW_STATUS_BAR, true, true},
  };
  HMENU menu = GetMenu(frame_);
  for (const Step& step : steps) {
    SCOPED_TRACE(step.command);
    SendMessageA(frame_, WM_COMMAND, step.command, 0);
    PumpPending();  // the layout is redone by a posted WM_SIZE
    EXPECT_EQ(IsWindowVisible(g_toolbar) != 0, step.toolbar);
    EXPECT_EQ(IsWindowVisible(g_statusBar) != 0, step.status);
    EXPECT_EQ((GetMenuState(menu, ID_VIEW_TOOLBAR, MF_BYCOMMAND) & MF_CHECKED) != 0, step.toolbar);
    EXPECT_EQ((GetMenuState(menu, ID_VIEW_STATUS_BAR, MF_BYCOMMAND) & MF_CHECKED) != 0,
              step.status);
    ExpectLayout(frame_, step.toolbar, step.status);
  }
}

TEST_F(FrameLayoutTest, HiddenToolbarHasNoHeight) {
  ShowWindow(g_toolbar, SW_HIDE);
  EXPECT_EQ(ToolbarHeight(), 0);
}

}  // namespace

static int CALLBACK NoteFontFound(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

// The caption buttons are drawn with Marlett's symbols and Wine's own dialogs with Tahoma:
// a prefix without these fonts shows letters in place of the buttons' symbols.
TEST_F(FrameLayoutTest, TheFontsOfCaptionButtonsAndDialogsAreInstalled) {
  for (const char* face : {"Marlett", "Tahoma", "Symbol"}) {
    LOGFONTA wanted = {};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(wanted.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesExA(dc, &wanted, NoteFontFound, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, dc);
    EXPECT_TRUE(found) << face;
  }
}
