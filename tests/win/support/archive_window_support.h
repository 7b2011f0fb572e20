// Archive windows opened inside a test's frame, and readers of their two panes.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "tests/win/support/frame_test_support.h"
#include "tests/win/support/pane_reading.h"
#include "window/archive_window.h"

class ArchiveWindowTest : public FrameTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Opens an archive window the way the frame does for a path; null when none was made.
  HWND Open(const std::string& path);
  HWND OpenNew();
};

// Path of a committed fixture under tests/win/fixtures, in the form Windows programs use.
std::string WinFixture(const std::string& name);
// A fresh temporary directory for one test (with a trailing backslash); removed by the caller.
std::string TempDirectoryForTest();
bool CopyFixture(const std::string& name, const std::string& target);

std::vector<std::string> ListNames(HWND list);
std::string ListText(HWND list, int index, int column);
// The texts of the children of a folder-tree item, in the tree's order (null: top level).
std::vector<std::string> TreeChildren(HWND tree, HTREEITEM parent);
HTREEITEM TreeChildNamed(HWND tree, HTREEITEM parent, const std::string& name);
std::string TreeText(HWND tree, HTREEITEM item);
