#include "services/message_box.h"

UINT MessageBoxIconFlags(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Warning: return MB_ICONWARNING;
    case MessageIcon::Information: return MB_ICONINFORMATION;
    case MessageIcon::Stop: break;
  }
  return MB_ICONERROR;
}

void ShowErrorMessage(HWND owner, const char* text, const char* caption) {
  MessageBoxA(owner, text, caption, MB_OK | MB_ICONERROR);
}

void OwnedMessageBox::ShowMessage(const char* text, const char* caption, MessageIcon icon) {
  MessageBoxA(owner_, text, caption, MB_OK | MessageBoxIconFlags(icon));
}
