#include "transfer/drop_target.h"

#include <new>

#include "services/globals.h"
#include "services/messages.h"
#include "transfer/com_base.h"
#include "transfer/drag_image.h"
#include "panes/window_document.h"
#include "panes/drop_feedback.h"

namespace {

const IID* const kDropTargetInterfaces[] = {&IID_IUnknown, &IID_IDropTarget, nullptr};

class ArchiveDropTarget : public ComObject<IDropTarget> {
 public:
  explicit ArchiveDropTarget(HWND window)
      : ComObject(kDropTargetInterfaces), window_(window), document_(DocumentOf(window)), feedback_(document_) {}

  void SetClock(DropTargetClock clock) { feedback_.SetClock(clock); }

  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override {
    if (effect == nullptr) return E_INVALIDARG;
    point_ = POINT{point.x, point.y};
    feedback_.Reset();
    acceptable_ = 0;
    format_ = 0;
    if (data) {
      FORMATETC wanted = {static_cast<CLIPFORMAT>(g_cfVellumixData), nullptr, DVASPECT_CONTENT, -1,
                          TYMED_HGLOBAL};
      if (g_cfVellumixData && data->QueryGetData(&wanted) == S_OK) {
        acceptable_ = 1;
        format_ = g_cfVellumixData;
      } else {
        wanted.cfFormat = CF_HDROP;
        if (data->QueryGetData(&wanted) == S_OK) {
          acceptable_ = 1;
          format_ = CF_HDROP;
        }
      }
    }
    Follow(keyState, effect, false);
    ShowDragImage(1);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE DragOver(DWORD keyState, POINTL point, DWORD* effect) override {
    if (effect == nullptr) return E_INVALIDARG;
    point_ = POINT{point.x, point.y};
    Follow(keyState, effect, true);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE DragLeave() override {
    ShowDragImage(0);
    acceptable_ = 0;
    TakeHighlightsAway();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override {
    if (effect == nullptr) return E_INVALIDARG;
    point_ = POINT{point.x, point.y};
    ShowDragImage(0);
    DWORD chosen = *effect;
    if (data == nullptr || !feedback_.HasTarget() || !ChooseEffect(keyState, &chosen)) {
      TakeHighlightsAway();
      *effect = DROPEFFECT_NONE;
      return S_OK;
    }
    FORMATETC wanted = {static_cast<CLIPFORMAT>(format_), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    HRESULT result = data->GetData(&wanted, &medium);
    if (result == S_OK) {
      DropRequest request = {};
      request.effect = chosen;
      request.format = format_;
      request.medium = medium.hGlobal;
      request.treeItem = feedback_.TargetFolder();
      request.listIndex = feedback_.TargetListIndex();
      const LRESULT done = SendMessageA(window_, WMU_DROP, reinterpret_cast<WPARAM>(&request), 0);
      ReleaseStgMedium(&medium);
      if (!done) result = E_UNEXPECTED;
      if (done == kDroppedInPart) chosen &= ~static_cast<DWORD>(DROPEFFECT_MOVE);
      if (done == kDroppedInPart && chosen == DROPEFFECT_NONE) chosen = DROPEFFECT_COPY;
    }
    TakeHighlightsAway();
    *effect = result == S_OK ? chosen : DROPEFFECT_NONE;
    return result;
  }

 private:
  // The work of every cursor movement: choose the effect, find the target, redraw the
  // feedback when it changed (with the drag image out of the way), and move the image.
  void Follow(DWORD keyState, DWORD* effect, bool showAgain) {
    ChooseEffect(keyState, effect);
    if (feedback_.Track(point_, effect)) {
      ShowDragImage(0);
      MoveDragImage(point_.x, point_.y);
      feedback_.Draw(*effect);
      if (showAgain) ShowDragImage(1);
    } else {
      MoveDragImage(point_.x, point_.y);
    }
    *effect &= ~DROPEFFECT_SCROLL;
  }

  void TakeHighlightsAway() {
    DWORD none = DROPEFFECT_NONE;
    if (feedback_.Track(point_, &none)) feedback_.Draw(none);
  }

  int ChooseEffect(DWORD keyState, DWORD* effect) {
    const DWORD allowed = *effect;
    *effect = DROPEFFECT_NONE;
    if (!acceptable_) return 0;
    const bool control = (keyState & MK_CONTROL) != 0;
    const bool shift = (keyState & MK_SHIFT) != 0;
    if (control || shift) {
      const DWORD asked = control && shift ? DROPEFFECT_LINK : control ? DROPEFFECT_COPY : DROPEFFECT_MOVE;
      if (asked == DROPEFFECT_LINK || (allowed & asked) == 0) return 0;
      *effect = asked;
      return 1;
    }
    // A drag inside its own window moves by default; from anywhere else it copies.
    const bool ownDrag = document_ && document_->dragSource;
    const DWORD first = ownDrag ? DROPEFFECT_MOVE : DROPEFFECT_COPY;
    const DWORD second = ownDrag ? DROPEFFECT_COPY : DROPEFFECT_MOVE;
    if (allowed & first) {
      *effect = first;
    } else if (allowed & second) {
      *effect = second;
    } else {
      return 0;
    }
    return 1;
  }

  HWND window_;
  WindowDocument* document_;
  PaneDropFeedback feedback_;
  int acceptable_ = 0;
  UINT format_ = 0;
  POINT point_ = {};
};

}  // namespace

IDropTarget* CreateDropTarget(HWND window) {
  if (!DocumentOf(window)) return nullptr;
  return new (std::nothrow) ArchiveDropTarget(window);
}

void SetDropTargetClock(IDropTarget* target, DropTargetClock clock) {
  if (target) static_cast<ArchiveDropTarget*>(target)->SetClock(clock);
}
