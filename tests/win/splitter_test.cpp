// The splitter driven by real mouse and keyboard input.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "services/dpi.h"
#include "services/globals.h"
#include "services/splitter.h"
#include "tests/win/support/frame_test_support.h"

namespace {

// The input of these helpers comes from the test's own thread, which then runs its messages
// until it has taken it.
void MouseTo(int screenX, int screenY) { MoveMouseAndTake(screenX, screenY); }

void SendAndTake(INPUT* inputs, UINT count, UINT last) {
  InputWatch taken(GetCurrentThreadId());
  const unsigned long before = taken.Count();
  SendInput(count, inputs, sizeof inputs[0]);
  PumpUntil([&] { return taken.WaitFor(before, last, nullptr, 0); });
  PumpPending();
}

void Button(bool down) {
  INPUT in = {};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  SendAndTake(&in, 1, down ? WM_LBUTTONDOWN : WM_LBUTTONUP);
}

void Key(WORD vk) {
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_KEYBOARD;
  in[0].ki.wVk = in[1].ki.wVk = vk;
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendAndTake(in, 2, WM_KEYUP);
}

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

class SplitterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &savedFullDrag_, 0);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    g_splitterEdgeWidth = GetSystemMetrics(SM_CXEDGE);
    g_splitterEdgeHeight = GetSystemMetrics(SM_CYEDGE);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = SplitterWindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kSplitterClass;
    RegisterClassA(&wc);
    wc.lpfnWndProc = ParentProc;
    wc.lpszClassName = "SplitterTestParent";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassA(&wc);
    RECT rc = {0, 0, 600, 300};
    AdjustWindowRect(&rc, WS_POPUP | WS_VISIBLE, FALSE);
    parent_ = CreateWindowA("SplitterTestParent", "splitter test", WS_POPUP | WS_VISIBLE, 100, 100,
                            rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr, instance,
                            nullptr);
    ASSERT_NE(parent_, nullptr);
    splitter_ = CreateSplitter(0, WS_VISIBLE, parent_, 1, instance, 20, 100);
    ASSERT_NE(splitter_, nullptr);
    MoveWindow(splitter_, 0, 0, 600, 300, TRUE);
    left_ = CreateWindowA("LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 10, 10,
                          parent_, nullptr, instance, nullptr);
    right_ = CreateWindowA("EDIT", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, parent_, nullptr,
                           instance, nullptr);
    EXPECT_EQ(SetSplitterPane(splitter_, SplitterSide::Left, left_), nullptr);
    EXPECT_EQ(SetSplitterPane(splitter_, SplitterSide::Right, right_), nullptr);
    SetForegroundWindow(parent_);
    PumpUntil([&] { return GetForegroundWindow() == parent_; });
    PumpPending();
  }
  void TearDown() override {
    SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, savedFullDrag_, nullptr, 0);
    if (parent_) DestroyWindow(parent_);
  }

  void SetFullDrag(bool on) { SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, on, nullptr, 0); }

  POINT Screen(int x, int y) {
    POINT p = {x, y};
    ClientToScreen(splitter_, &p);
    return p;
  }
  // Presses on x, moves in ten steps to toX, and leaves the button down.
  void PressAndMove(int x, int toX) {
    POINT from = Screen(x, 150);
    MouseTo(from.x, from.y);
    Button(true);
    for (int i = 1; i <= 10; ++i) {
      POINT p = Screen(x + (toX - x) * i / 10, 150);
      MouseTo(p.x, p.y);
    }
  }
  int LeftPaneWidth() {
    RECT rc;
    GetWindowRect(left_, &rc);
    return rc.right - rc.left;
  }

  BOOL savedFullDrag_ = TRUE;
  HWND parent_ = nullptr, splitter_ = nullptr, left_ = nullptr, right_ = nullptr;
};

}  // namespace

TEST_F(SplitterTest, LayoutPlacesPanesAroundTheBar) {
  int cx = GetSystemMetrics(SM_CXEDGE);
  RECT rc;
  GetWindowRect(right_, &rc);
  MapWindowPoints(nullptr, splitter_, reinterpret_cast<POINT*>(&rc), 2);
  EXPECT_EQ(LeftPaneWidth(), 100 - 2 * cx);
  const int bar = SplitterBarWidth(splitter_);
  EXPECT_EQ(bar, ScaleToDpi(kSplitterBarWidthAt96, WindowDpi(splitter_)));
  EXPECT_EQ(rc.left, 100 + bar + cx);
  EXPECT_EQ(rc.right - rc.left, 600 - 2 * cx - 100 - bar);
  EXPECT_EQ(GetParent(left_), splitter_);
  EXPECT_EQ(GetWindowLongA(left_, GWL_STYLE) & WS_CLIPSIBLINGS, 0);
}

TEST_F(SplitterTest, DragIsLimitedByTheMinimumOnBothSides) {
  for (bool full : {true, false}) {
    SetFullDrag(full);
    PressAndMove(101, 5);
    Button(false);
    EXPECT_EQ(GetSplitterPosition(splitter_), 20) << "full drag " << full;
    PressAndMove(21, 590);
    Button(false);
    EXPECT_EQ(GetSplitterPosition(splitter_), 580) << "full drag " << full;
    PressAndMove(581, 100);
    Button(false);
    EXPECT_EQ(GetSplitterPosition(splitter_), 100);
    EXPECT_EQ(GetCapture(), nullptr);
  }
}

TEST_F(SplitterTest, FullDragMovesPanesLiveAndEscapeRestores) {
  SetFullDrag(true);
  int before = LeftPaneWidth();
  PressAndMove(102, 300);
  EXPECT_EQ(GetCapture(), splitter_);
  EXPECT_EQ(GetSplitterPosition(splitter_), 300);
  EXPECT_GT(LeftPaneWidth(), before);  // the panes follow the mouse
  Key(VK_ESCAPE);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(GetSplitterPosition(splitter_), 100);
  EXPECT_EQ(LeftPaneWidth(), before);
  Button(false);
  EXPECT_EQ(GetSplitterPosition(splitter_), 100);
}

TEST_F(SplitterTest, OutlineDragLeavesPanesAndEscapeRemovesTheOutline) {
  SetFullDrag(false);
  int before = LeftPaneWidth();
  HDC dc = GetDC(splitter_);
  COLORREF untouched = GetPixel(dc, 300, 150);
  PressAndMove(102, 300);
  EXPECT_EQ(GetCapture(), splitter_);
  EXPECT_EQ(GetSplitterPosition(splitter_), 100);
  EXPECT_EQ(LeftPaneWidth(), before);
  // The inverted outline covers x = 300..303 while dragging.
  bool inverted = GetPixel(dc, 300, 150) != untouched || GetPixel(dc, 301, 150) != untouched;
  EXPECT_TRUE(inverted);
  Key(VK_ESCAPE);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(GetSplitterPosition(splitter_), 100);
  EXPECT_EQ(LeftPaneWidth(), before);
  ReleaseDC(splitter_, dc);
  Button(false);
}

TEST_F(SplitterTest, EnterKeepsThePositionInBothModes) {
  for (bool full : {true, false}) {
    SetFullDrag(full);
    PressAndMove(102, 250);
    Key(VK_RETURN);
    EXPECT_EQ(GetCapture(), nullptr);
    Button(false);
    EXPECT_EQ(GetSplitterPosition(splitter_), 250) << "full drag " << full;
    PressAndMove(251, 100);
    Button(false);
  }
}

TEST_F(SplitterTest, FocusReturnsToThePaneThatHadIt) {
  SetFocus(right_);
  PumpUntil([&] { return GetFocus() == right_; });
  PressAndMove(101, 200);
  EXPECT_EQ(GetFocus(), splitter_);  // Enter and Escape must arrive
  Button(false);
  EXPECT_EQ(GetFocus(), right_);

  SetFocus(parent_);
  PumpUntil([&] { return GetFocus() == parent_; });
  PressAndMove(201, 150);
  Button(false);
  EXPECT_EQ(GetFocus(), splitter_);  // the focus was elsewhere: the splitter keeps it
}

TEST_F(SplitterTest, PressBesideTheBarStartsNoDrag) {
  SetFullDrag(true);
  PressAndMove(100 + SplitterBarWidth(splitter_), 300);  // the first column of the right frame
  EXPECT_NE(GetCapture(), splitter_);
  Button(false);
  EXPECT_EQ(GetSplitterPosition(splitter_), 100);
  PressAndMove(99, 300);
  EXPECT_NE(GetCapture(), splitter_);
  Button(false);
  EXPECT_EQ(GetSplitterPosition(splitter_), 100);
}

TEST_F(SplitterTest, NotificationsAndCommandsGoToTheParent) {
  // The parent's default procedure answers 0; a subclass records what arrives.
  static UINT seen = 0;
  auto proc = [](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (msg == WM_COMMAND || msg == WM_NOTIFY) {
      seen = msg;
      return 77;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
  };
  SetWindowLongPtrA(parent_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+proc));
  NMHDR nm = {left_, 2, NM_CLICK};
  EXPECT_EQ(SendMessageA(splitter_, WM_NOTIFY, 2, reinterpret_cast<LPARAM>(&nm)), 77);
  EXPECT_EQ(seen, static_cast<UINT>(WM_NOTIFY));
  EXPECT_EQ(SendMessageA(splitter_, WM_COMMAND, 5, 0), 77);
  EXPECT_EQ(seen, static_cast<UINT>(WM_COMMAND));
}

namespace {

// A top/bottom splitter in the same parent, 600 x 300, whose lower pane is 80 high.
class TopBottomSplitterTest : public SplitterTest {
 protected:
  void SetUp() override {
    SplitterTest::SetUp();
    // The panes go back to the parent before the side-by-side splitter goes with its children.
    SetParent(left_, parent_);
    SetParent(right_, parent_);
    DestroyWindow(splitter_);
    splitter_ = CreateTopBottomSplitter(parent_, 1, GetModuleHandleA(nullptr), 20, 80);
    ASSERT_NE(splitter_, nullptr);
    MoveWindow(splitter_, 0, 0, 600, 300, TRUE);
    EXPECT_EQ(SetSplitterPane(splitter_, SplitterSide::Top, left_), nullptr);
    EXPECT_EQ(SetSplitterPane(splitter_, SplitterSide::Bottom, right_), nullptr);
    PumpPending();
  }
  RECT PaneRect(HWND pane) {
    RECT rc;
    GetWindowRect(pane, &rc);
    MapWindowPoints(nullptr, splitter_, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
  }
  // Presses at height y, moves in ten steps to toY and lets go.
  void DragBar(int y, int toY) {
    POINT from = Screen(300, y);
    MouseTo(from.x, from.y);
    Button(true);
    for (int i = 1; i <= 10; ++i) {
      POINT p = Screen(300, y + (toY - y) * i / 10);
      MouseTo(p.x, p.y);
    }
    Button(false);
  }
};

}  // namespace

TEST_F(TopBottomSplitterTest, TheLowerPaneKeepsItsHeightAndTheBarMovesIt) {
  const int bar = SplitterBarWidth(splitter_);
  RECT upper = PaneRect(left_), lower = PaneRect(right_);
  EXPECT_EQ(upper.top, 0);
  EXPECT_EQ(upper.bottom, 300 - 80 - bar);
  EXPECT_EQ(lower.top, 300 - 80);
  EXPECT_EQ(lower.bottom - lower.top, 80);
  EXPECT_EQ(lower.right - lower.left, 600);
  // A taller splitter gives its room to the upper pane.
  MoveWindow(splitter_, 0, 0, 600, 280, TRUE);
  EXPECT_EQ(PaneRect(right_).bottom - PaneRect(right_).top, 80);
  EXPECT_EQ(PaneRect(left_).bottom, 280 - 80 - bar);
  for (bool full : {true, false}) {
    SCOPED_TRACE(full ? "full drag" : "outline drag");
    SetFullDrag(full);
    const int barTop = 280 - GetSplitterPosition(splitter_) - bar;
    DragBar(barTop + 1, 100);  // the bar's top follows the mouse
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(GetSplitterPosition(splitter_), 280 - 100 - bar);
    EXPECT_EQ(PaneRect(left_).bottom, 100);
    DragBar(100, 2);  // held at the least height of the upper pane
    EXPECT_EQ(PaneRect(left_).bottom, 20);
    DragBar(21, 220);
    EXPECT_EQ(GetSplitterPosition(splitter_), 280 - 220 - bar);
  }
}

TEST_F(TopBottomSplitterTest, WithoutALowerPaneTheUpperTakesEverything) {
  EXPECT_EQ(SetSplitterPane(splitter_, SplitterSide::Bottom, nullptr), right_);
  RECT upper = PaneRect(left_);
  EXPECT_EQ(upper.bottom - upper.top, 300);
  EXPECT_EQ(upper.right - upper.left, 600);
  // No bar to press: a press at its old place starts no drag.
  POINT p = Screen(300, 300 - 80 - 1);
  MouseTo(p.x, p.y);
  Button(true);
  EXPECT_EQ(GetCapture(), nullptr);
  Button(false);
  EXPECT_EQ(SetSplitterPane(splitter_, SplitterSide::Bottom, right_), nullptr);
  EXPECT_EQ(PaneRect(right_).bottom - PaneRect(right_).top, 80);
}
