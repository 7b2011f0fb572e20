// Archive windows opened inside a test's frame, and readers of their two panes.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/core/sample_archives.h"
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
  // A window opened on path, or a new one for "", and its document; null when none was made.
  WindowDocument* OpenDoc(const std::string& path, HWND* window);
  // Copies the committed fixture to path and opens the copy; null when either fails.
  HWND OpenCopy(const std::string& fixture, const std::string& path);
  // The test's own temporary directory (with a trailing backslash): made at its first use,
  // removed with everything in it once the test's windows are gone.
  const std::string& TempDir();

 private:
  std::string tempDir_;
};

// An archive window on the committed views.zip, opened before each test, with its root
// folder shown.
class ViewsWindowTest : public ArchiveWindowTest {
 protected:
  void SetUp() override;
  // The list's index of the item named name, or -1.
  int ListIndexOf(const std::string& name);
  // Puts the frame in front with the focus in pane, where real keys then go.
  void FocusPane(HWND pane);

  HWND window_ = nullptr;
  WindowDocument* doc_ = nullptr;
  HTREEITEM root_ = nullptr;
};

// The root of views.zip as the list first shows it: folders, then files, each by name.
extern const std::vector<std::string> kViewsRootListed;

// Sends a menu command to window and lets what it posted run.
void SendCommand(HWND window, int command);

// Path of a committed fixture under tests/win/fixtures, in the form Windows programs use.
std::string WinFixture(const std::string& name);
bool CopyFixture(const std::string& name, const std::string& target);

// A whole file's bytes (none when it cannot be read), and a file written whole.
std::vector<uint8_t> FileBytes(const std::string& path);
bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

std::vector<std::string> ListNames(HWND list);
// The names of the list's selected items, in list order.
std::vector<std::string> SelectedListNames(HWND list);
std::string ListText(HWND list, int index, int column);
// The texts of the children of a folder-tree item, in the tree's order (null: top level).
std::vector<std::string> TreeChildren(HWND tree, HTREEITEM parent);
HTREEITEM TreeChildNamed(HWND tree, HTREEITEM parent, const std::string& name);
std::string TreeText(HWND tree, HTREEITEM item);

// Gives Properties to window and reads the rows (label, value) of the dialog captioned
// caption in their order, then closes it; none when the dialog did not come.
std::vector<std::pair<std::string, std::string>> PropertiesRows(HWND window, const std::string& caption);

// Entries for sample::ZipWithData with their CRC-32 and size: text stored as it is, and bytes
// deflated.
sample::ZipEntry StoredZipEntry(const std::string& name, const std::string& text);
sample::ZipEntry DeflatedZipEntry(const std::string& name, const std::vector<uint8_t>& plain);
