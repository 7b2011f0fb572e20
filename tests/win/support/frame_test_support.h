// The program's frame built inside a test process the way start-up builds it, and
// helpers to drive it with real messages and input.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/core/test_support.h"

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  HWND frame_ = nullptr;
};

// The frame with test archive windows: the "wcPakMDIChild" class is registered anew with
// a procedure of the test's own, so the frame's commands can be tried on windows that need
// no archive file. A window's title is its path lower-cased, or "Untitled" for a new one.
class FrameWithTestWindowsTest : public FrameTest {
 protected:
  void SetUp() override;
};

// Writes a small valid PAK archive (one file, "readme.txt") at path; false on failure.
bool WriteSmallPak(const std::string& path);

// Runs the frame's message loop (with its accelerator translation) until done() holds, for
// at most timeoutMs; returns whether it did.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);
// Runs every message already waiting (and what those post in turn) until the queue is
// empty: what a sent command or a selection posted has then run.
void PumpPending();

std::string StatusText();
std::string Title(HWND window);
// The archive windows of the MDI client, in z-order.
std::vector<HWND> ArchiveWindows();
HWND ActiveArchiveWindow();
RECT ChildRect(HWND child);  // in the parent's client coordinates

// How a test's archive window answers the frame: whether it may close, and a record of
// the close queries and commands it received. Installed by subclassing the window.
struct ChildBehaviour {
  bool allowClose = true;
  int closeQueries = 0;
  std::vector<std::pair<WPARAM, LPARAM>> commands;
};
void InstallChildBehaviour(HWND child, ChildBehaviour* behaviour);
// Every close query of every installed window, in the order they came.
std::vector<HWND>& CloseQueryLog();

// The mouse and key messages a thread takes from its queue, seen by hooks while this lives:
// input sent from another thread, or sent by the thread itself before it pumps, can then be
// waited for until the program has it. One at a time.
class InputWatch {
 public:
  explicit InputWatch(DWORD thread);
  ~InputWatch();
  InputWatch(const InputWatch&) = delete;
  InputWatch& operator=(const InputWatch&) = delete;
  // Input messages taken so far.
  unsigned long Count() const;
  // Waits (up to timeoutMs) until a message taken after the first `after` ones is message
  // (0: any; keys count as WM_KEYDOWN or WM_KEYUP) and, for the mouse, was made with the
  // cursor at screen point at (null: anywhere).
  bool WaitFor(unsigned long after, UINT message, const POINT* at, DWORD timeoutMs = 3000) const;

 private:
  HHOOK mouse_;
  HHOOK keys_;
};

// Moves the cursor (screen coordinates) and waits until the system has it there; false when
// it did not arrive within timeoutMs.
bool MoveMouseAndWait(int x, int y, DWORD timeoutMs = 3000);

// Runs this test program again as a second process for the tests that filter names (disabled
// ones included), with the environment variables given set for it alone, and runs this
// thread's messages until it ends. Its exit code (0: its tests passed), or -1 when it did not
// start or did not end within timeoutMs (it is then ended).
long RunTestProcess(const std::string& filter, const std::vector<std::pair<std::string, std::string>>& environment,
                    DWORD timeoutMs = 60000);

// Keyboard and mouse input through SendInput.
void PressKeys(std::initializer_list<WORD> keys);  // down in order, up in reverse
void TypeText(const char* text);  // each character's key as the keyboard layout has it, Shift where it asks
void MoveMouseTo(int x, int y);                     // screen coordinates
void ClickAt(POINT screen, bool right = false);     // moves there, then one click
// Moves the cursor from the thread that owns the windows under it and runs its messages
// until it has taken the move there (at once when the cursor is there already).
bool MoveMouseAndTake(int x, int y);
// ClickAt from the thread that owns the windows clicked: runs its messages until it has
// taken the button's release, then what that posted.
bool ClickAndWait(POINT screen, bool right = false);
