// The Windows side of saving: messages in boxes owned by the archive window, and
// the modeless "Saving..." dialog with the stored path, the size and a bar that
// steps once per written file.
#pragma once

#include <windows.h>

#include <cstdint>

#include "archive/progress.h"
#include "services/message_box.h"

// Creates, shows and paints the dialog owned by owner, its bar ranging over steps.
// Null when the dialog cannot be made. Destroyed with DestroyWindow.
HWND ProgressOpen(HWND owner, uint32_t steps);
// Shows the file being written: its stored path and its size as "%s bytes".
void ProgressShowItem(HWND dialog, const char* storedPath, uint32_t size);
// Advances the bar by one step.
void ProgressStep(HWND dialog);
// Sets the bar to position of steps (for work whose count of steps is known only once it
// runs, and that is watched rather than stepped).
void ProgressMoveTo(HWND dialog, uint32_t steps, uint32_t position);
// Lets the dialog take what was sent to it (paint, the Cancel button, Escape) and says
// whether the user asked to stop. The rest of the program's messages wait until the save
// is over.
bool ProgressCancelled(HWND dialog);

// What a save of an archive window shows: the "Saving..." dialog, and the save's messages
// in boxes owned by the window.
class Win32SaveWindow : public SaveHost {
 public:
  explicit Win32SaveWindow(HWND owner) : owner_(owner), progress_(this) {}
  // Destroys a dialog still open.
  ~Win32SaveWindow();
  Win32SaveWindow(const Win32SaveWindow&) = delete;
  Win32SaveWindow& operator=(const Win32SaveWindow&) = delete;

  void ShowMessage(const char* text, const char* caption, MessageIcon icon);
  void Repaint() override;
  SaveProgress* OpenProgress(uint32_t steps) override;

  // The open dialog, or null.
  HWND ProgressDialog() const { return dialog_; }
  // The user cancelled the last save from its dialog.
  bool WasCancelled() const { return cancelled_; }

 private:
  class Progress : public SaveProgress {
   public:
    explicit Progress(Win32SaveWindow* owner) : owner_(owner) {}
    void ShowItem(const char* storedPath, uint32_t size) override;
    void Step() override;
    bool Cancelled() override;
    void Close() override;

   private:
    Win32SaveWindow* owner_;
  };

  HWND owner_;
  HWND dialog_ = nullptr;
  bool cancelled_ = false;
  Progress progress_;
};
