// Message boxes owned by a window: the archive core's messages and the Windows layer's errors.
#pragma once

#include <windows.h>

#include "archive/ui.h"

class OwnedMessageBox : public MessageSink {
 public:
  explicit OwnedMessageBox(HWND owner) : owner_(owner) {}
  void ShowMessage(const char* text, const char* caption, MessageIcon icon) override;

 private:
  HWND owner_;
};

UINT MessageBoxIconFlags(MessageIcon icon);

// The Windows layer's one way of reporting a failure: text under caption, with an OK
// button and the stop icon, owned by owner.
void ShowErrorMessage(HWND owner, const char* text, const char* caption);
