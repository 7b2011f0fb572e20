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

// Runs the frame's message loop (with its accelerator translation) for ms milliseconds,
// or until done() holds; PumpUntil returns whether it did.
void Pump(DWORD ms);
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);

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

// Keyboard and mouse input through SendInput.
void PressKeys(std::initializer_list<WORD> keys);  // down in order, up in reverse
void MoveMouseTo(int x, int y);                     // screen coordinates
void ClickAt(POINT screen, bool right = false);     // moves there, then one click
