// Message boxes owned by a window: the errors and notices of the Windows layer, worded for
// the archive core's failures by services/core/archive_text.h.
#pragma once

#include <windows.h>

enum class MessageIcon { Stop, Warning, Information };

class OwnedMessageBox {
 public:
  explicit OwnedMessageBox(HWND owner) : owner_(owner) {}
  void ShowMessage(const char* text, const char* caption, MessageIcon icon);

 private:
  HWND owner_;
};

UINT MessageBoxIconFlags(MessageIcon icon);

// The Windows layer's one way of reporting a failure: text under caption, with an OK
// button and the stop icon, owned by owner.
void ShowErrorMessage(HWND owner, const char* text, const char* caption);
