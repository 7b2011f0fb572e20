#include "services/save_window.h"

#include <commctrl.h>

#include <cstdio>
#include <new>

#include "archive/quoted_name.h"
#include "resources/save_progress_ids.h"
#include "services/message_box.h"
#include "services/number_format.h"

namespace {

// What the dialog remembers between calls, kept in its DWLP_USER slot.
struct ProgressState {
  uint32_t steps;     // the bar's range
  uint32_t position;  // steps taken
  uint32_t shown;     // position the bar was last given
  int width;          // the bar's width in pixels
  DWORD lastPaint;    // tick count of the last painting
  DWORD lastItem;     // tick count of the last item shown
  DWORD lastPump;     // tick count of the last look at the dialog's messages
  bool cancelled;     // Cancel was chosen
};

// The save runs without dispatching messages, so the dialog paints what changed itself:
// at once when it opens, then at most every kPaintInterval milliseconds. Painting, or even
// moving the bar, once per entry would cost more than writing thousands of small entries.
constexpr DWORD kPaintInterval = 50;
// Setting the two lines costs about as much as writing this many bytes; an item this large
// is shown at once, since it stays on screen long enough to be read.
constexpr uint32_t kShowAtOnceSize = 256 * 1024;
// How often the dialog's own messages are taken while the save runs: often enough that
// Cancel answers at once, seldom enough to cost nothing beside writing small entries.
constexpr DWORD kPumpInterval = 30;

ProgressState* StateOf(HWND dialog) {
  return reinterpret_cast<ProgressState*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void PaintNow(HWND dialog) {
  RedrawWindow(dialog, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  if (ProgressState* state = StateOf(dialog)) state->lastPaint = GetTickCount();
}

void PaintSoon(HWND dialog) {
  ProgressState* state = StateOf(dialog);
  if (state == nullptr || GetTickCount() - state->lastPaint >= kPaintInterval) PaintNow(dialog);
}

// The bar's filled length in pixels at a position.
long long Filled(const ProgressState& s, uint32_t position) {
  return s.steps ? static_cast<long long>(position) * s.width / s.steps : 0;
}

BOOL InitDialog(HWND dialog, uint32_t steps) {
  HWND bar = GetDlgItem(dialog, IDC_SAVE_BAR);
  SendMessageA(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(steps));
  SendMessageA(bar, PBM_SETPOS, 0, 0);
  SendMessageA(bar, PBM_SETSTEP, 1, 0);
  RECT client{};
  GetClientRect(bar, &client);
  auto* state = new (std::nothrow) ProgressState{steps, 0, 0, client.right > 0 ? client.right : 1, 0, 0, 0, false};
  SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
  return TRUE;
}

void DestroyState(HWND dialog) {
  delete StateOf(dialog);
  SetWindowLongPtrA(dialog, DWLP_USER, 0);
}

void Cancel(HWND dialog) {
  ProgressState* state = StateOf(dialog);
  if (state == nullptr || state->cancelled) return;
  state->cancelled = true;
  // What is being written is finished or abandoned in a moment; the button says so.
  EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
  SetDlgItemTextA(dialog, IDC_SAVE_NAME, "Cancelling...");
  SetDlgItemTextA(dialog, IDC_SAVE_SIZE, "");
}

INT_PTR CALLBACK ProgressProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return InitDialog(dialog, static_cast<uint32_t>(lParam));
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) Cancel(dialog);
      return TRUE;
    case WM_CLOSE:
      Cancel(dialog);
      return TRUE;
    case WM_NCDESTROY:
      DestroyState(dialog);
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

HWND ProgressOpen(HWND owner, uint32_t steps) {
  HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SAVE_PROGRESS), owner,
                                   ProgressProc, static_cast<LPARAM>(steps));
  if (dialog == nullptr) return nullptr;
  ShowWindow(dialog, SW_SHOW);
  PaintNow(dialog);
  return dialog;
}

void ProgressShowItem(HWND dialog, const char* storedPath, uint32_t size) {
  if (dialog == nullptr) return;
  // Small items come faster than anyone reads them: the lines change at most every
  // kPaintInterval milliseconds for them.
  ProgressState* state = StateOf(dialog);
  if (state) {
    const DWORD now = GetTickCount();
    if (state->lastItem != 0 && now - state->lastItem < kPaintInterval && size < kShowAtOnceSize) return;
    state->lastItem = now ? now : 1;
  }
  SetDlgItemTextA(dialog, IDC_SAVE_NAME, PrintableName(storedPath).c_str());
  char number[64];
  if (FormatUserNumber(size, number, sizeof number) == 0)
    std::snprintf(number, sizeof number, "%u", static_cast<unsigned>(size));
  char text[96];
  std::snprintf(text, sizeof text, "%s bytes", number);
  SetDlgItemTextA(dialog, IDC_SAVE_SIZE, text);
  PaintSoon(dialog);
}

void ProgressStep(HWND dialog) {
  if (dialog == nullptr) return;
  ProgressState* state = StateOf(dialog);
  if (state == nullptr) {
    SendDlgItemMessageA(dialog, IDC_SAVE_BAR, PBM_STEPIT, 0, 0);
    return;
  }
  ++state->position;
  // The bar moves when a pixel more of it fills, and reaches its end exactly.
  if (Filled(*state, state->position) != Filled(*state, state->shown) || state->position >= state->steps) {
    SendDlgItemMessageA(dialog, IDC_SAVE_BAR, PBM_SETPOS, state->position, 0);
    state->shown = state->position;
    PaintSoon(dialog);
  }
}

void ProgressMoveTo(HWND dialog, uint32_t steps, uint32_t position) {
  ProgressState* state = dialog ? StateOf(dialog) : nullptr;
  if (state == nullptr) return;
  if (steps != state->steps) {
    state->steps = steps;
    SendDlgItemMessageA(dialog, IDC_SAVE_BAR, PBM_SETRANGE32, 0, static_cast<LPARAM>(steps));
    state->shown = 0;
    SendDlgItemMessageA(dialog, IDC_SAVE_BAR, PBM_SETPOS, 0, 0);
  }
  state->position = position;
  if (Filled(*state, position) != Filled(*state, state->shown) || (position >= steps && state->shown != position)) {
    SendDlgItemMessageA(dialog, IDC_SAVE_BAR, PBM_SETPOS, position, 0);
    state->shown = position;
    PaintSoon(dialog);
  }
}

bool ProgressCancelled(HWND dialog) {
  if (dialog == nullptr) return false;
  ProgressState* state = StateOf(dialog);
  if (state == nullptr) return false;
  const DWORD now = GetTickCount();
  if (state->lastPump != 0 && now - state->lastPump < kPumpInterval) return state->cancelled;
  state->lastPump = now ? now : 1;
  // Only the dialog's messages and its children's: the windows behind it must not act on
  // clicks or keys while their document is being written.
  MSG msg;
  while (!state->cancelled && PeekMessageA(&msg, dialog, 0, 0, PM_REMOVE)) {
    if (!IsDialogMessageA(dialog, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return state->cancelled;
}

Win32SaveWindow::~Win32SaveWindow() {
  if (dialog_) DestroyWindow(dialog_);
}

void Win32SaveWindow::ShowMessage(const char* text, const char* caption, MessageIcon icon) {
  OwnedMessageBox(owner_).ShowMessage(text, caption, icon);
}

void Win32SaveWindow::Repaint() {
  if (owner_) UpdateWindow(owner_);
}

SaveProgress* Win32SaveWindow::OpenProgress(uint32_t steps) {
  if (dialog_) DestroyWindow(dialog_);
  cancelled_ = false;
  dialog_ = ProgressOpen(owner_, steps);
  return dialog_ ? &progress_ : nullptr;
}

void Win32SaveWindow::Progress::ShowItem(const char* storedPath, uint32_t size) {
  ProgressShowItem(owner_->dialog_, storedPath, size);
}

void Win32SaveWindow::Progress::Step() { ProgressStep(owner_->dialog_); }

bool Win32SaveWindow::Progress::Cancelled() {
  if (ProgressCancelled(owner_->dialog_)) owner_->cancelled_ = true;
  return owner_->cancelled_;
}

void Win32SaveWindow::Progress::Close() {
  if (owner_->dialog_) DestroyWindow(owner_->dialog_);
  owner_->dialog_ = nullptr;
}
