// Answers a modal dialog or message box from a watcher thread while the test's own
// thread sits in the dialog's message loop.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

struct WatchedDialog {
  bool found = false;
  std::string caption;
  std::string message;             // a message box's text (its static control 0xFFFF)
  std::vector<std::string> texts;  // the texts of every child control, in z-order
};

class DialogWatcher {
 public:
  // Waits up to timeoutMs for a "#32770" window titled caption that belongs to this
  // process, records its texts, then runs act on it; without act it posts the
  // WM_COMMAND of the button with id button.
  DialogWatcher(std::string caption, int button, DWORD timeoutMs = 10000,
                std::function<void(HWND)> act = nullptr);
  ~DialogWatcher();
  DialogWatcher(const DialogWatcher&) = delete;
  DialogWatcher& operator=(const DialogWatcher&) = delete;

  // Waits for the watcher to finish and returns what it saw.
  WatchedDialog Wait();
  // As Wait, but stops looking first: for a dialog that could only have come while a call
  // ran that has now returned.
  WatchedDialog Finish();

 private:
  void Run();

  std::string caption_;
  int button_;
  DWORD timeoutMs_;
  std::function<void(HWND)> act_;
  WatchedDialog seen_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A popup menu (a context menu) seen by a PopupMenuWatcher: each entry's text and whether
// it is enabled; separators are left out.
struct WatchedMenu {
  bool found = false;
  std::vector<std::pair<std::string, bool>> entries;
  std::vector<std::string> checked;  // the texts of the checked entries
  std::string status;  // the status bar's text while the menu is open
};

// Waits on its own thread for a popup menu of this process, records its entries, then
// chooses one by pressing its mnemonic key (Escape closes the menu); with a screenshot name
// it keeps a picture of the menu first. The menu's own loop runs on the test's thread, which
// pumps until Done.
class PopupMenuWatcher {
 public:
  explicit PopupMenuWatcher(WORD key, std::string screenshot = "", DWORD timeoutMs = 10000);
  ~PopupMenuWatcher();
  PopupMenuWatcher(const PopupMenuWatcher&) = delete;
  PopupMenuWatcher& operator=(const PopupMenuWatcher&) = delete;
  bool Done() const { return done_; }
  WatchedMenu Wait();

 private:
  void Run();

  WORD key_;
  std::string screenshot_;
  DWORD timeoutMs_;
  WatchedMenu seen_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// A shown dialog ("#32770") of this process titled caption (any title when null) and, when
// owner is given, owned by it; null when there is none.
HWND FindOwnDialog(const char* caption, HWND owner = nullptr);
// A control anywhere below the dialog, also inside a child dialog of a file dialog's template.
HWND FindDialogControl(HWND dialog, int id);
// The text of the dialog's control id ("" when it has none).
std::string DialogItemText(HWND dialog, int id);

// Posts a message of no meaning to window and waits until the window's thread has taken it
// from its queue: everything posted there before it has run then. false when the window
// went first or timeoutMs passed.
bool WaitForPostedMessagesOf(HWND window, DWORD timeoutMs = 10000);

// Waits until a dialog found at its creation is shown and has settled (a file dialog
// fills its controls while it initialises, overwriting what was typed before): what its
// initialisation posted has run.
void WaitForDialogReady(HWND dialog);

// Waits for a file dialog to settle and types name into its file-name box (a combo box in
// the plain dialog, an edit control in one with a hook).
void TypeFileName(HWND dialog, const std::string& name);

// Answers a file dialog's question whether to replace an existing file (a message box the
// dialog owns) with Yes, once it comes; false when the dialog went without asking.
bool ConfirmOverwrite(HWND fileDialog, DWORD timeoutMs = 3000);

// For a watcher's thread, which has no messages of the windows under test to pump: checks
// done() again and again, a moment apart, until it holds or timeoutMs have passed; whether
// it held.
bool PollUntil(const std::function<bool()>& done, DWORD timeoutMs);

// Posts the click of button id to a dialog, as the button itself would send it.
void PressDialogButton(HWND dialog, int id);

// Runs work on the thread that owns window (a dialog's, say), inside whatever message loop
// that thread is in, and returns when it is done: what another program would do while the
// tested thread waits for an answer.
void RunOnWindowThread(HWND window, const std::function<void()>& work);
