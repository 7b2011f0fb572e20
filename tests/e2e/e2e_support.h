// Starting vellumix.exe as a process and reading its windows from outside.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "tests/core/test_support.h"

// A started vellumix.exe. The destructor closes its frame and, when the process does not
// end within a few seconds, terminates it, so no test leaves a program behind.
class ProgramProcess {
 public:
  ProgramProcess() = default;
  ~ProgramProcess();
  ProgramProcess(const ProgramProcess&) = delete;
  ProgramProcess& operator=(const ProgramProcess&) = delete;

  // Starts the program with the text after its name on the command line (may be empty).
  // environment, when not null, is a complete environment block for the process.
  bool Start(const std::string& arguments, const char* environment = nullptr);
  // Waits for the process to end; false on time-out. The exit code goes to *exitCode.
  bool WaitForExit(DWORD timeoutMs, DWORD* exitCode);
  // The process's frame window, once it exists (null on time-out).
  HWND WaitForFrame(DWORD timeoutMs);
  DWORD processId() const { return info_.dwProcessId; }

 private:
  PROCESS_INFORMATION info_ = {};
};

std::string WindowText(HWND hwnd);
// The first child of parent with the given class, or null.
HWND FindChild(HWND parent, const char* className);
// Waits until the MDI client holds a child titled title; null on time-out.
HWND WaitForChildTitled(HWND mdiClient, const std::string& title, DWORD timeoutMs);

// Waits until the process shows a message box (a "#32770" window) titled caption; null on
// time-out.
HWND WaitForMessageBox(DWORD processId, const char* caption, DWORD timeoutMs);
// The text of a message box of another process (its static control 0xFFFF).
std::string MessageBoxText(HWND box);
// Presses a message box's button and waits until the box is gone; false on time-out.
bool AnswerMessageBox(HWND box, int button, DWORD timeoutMs);

// An archive window of the program and its two panes.
struct ArchivePanes {
  HWND window = nullptr, tree = nullptr, list = nullptr;
};
// Waits until the MDI client holds an archive window titled title that is complete: shown,
// with both panes, and a folder selected in the tree (whose items the list then shows). The
// title is set before the panes are made, so a window found by its title alone may have
// none yet. All null on time-out.
ArchivePanes WaitForArchivePanes(HWND mdiClient, const std::string& title, DWORD timeoutMs);

// Reads the status bar's one text from another process.
std::string RemoteStatusText(HWND statusBar);
// Reads the panes of another process's archive window.
std::string RemoteTreeText(HWND tree, HTREEITEM item);
// The texts of a tree item's children in the tree's order (null: the top level).
std::vector<std::string> RemoteTreeChildren(HWND tree, HTREEITEM parent);
std::string RemoteListText(HWND list, int index, int column);

// Reads a toolbar button of another process.
bool RemoteToolbarButton(HWND toolbar, int index, TBBUTTON* button);

// Writes bytes to dir\name under this test tree's directory, creating dir; returns the
// file's full path, or "" on failure.
std::string WriteTestFile(const std::string& dir, const std::string& name,
                          const std::vector<uint8_t>& bytes);
// Writes a small valid PAK archive (one file) there.
std::string WriteSmallPak(const std::string& dir, const std::string& name);

// Waits until the thread that owns toolbar has run what was posted to its windows before
// this call: a press of one of the toolbar's buttons, posted after them, shows once that
// thread got to it (the button is let go again the same way). false on time-out.
bool WaitForPostedMessages(HWND toolbar, DWORD timeoutMs);
// Waits until window and every window inside it have nothing left to paint and the screen
// shows it drawn: before a screenshot. false on time-out.
bool WaitUntilPainted(HWND window, DWORD timeoutMs);

// Copies the screen into VELLUMIX_SCREENSHOT_DIR\<name>.bmp.
bool SaveScreenshot(const std::string& name);

// A test of the running program: it starts as a first run (the settings other tests of the
// run left behind, as the case of names kept, are gone), and keeps a screenshot of the
// screen, named after the test, when it fails.
class ScreenshotOnFailureTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};
