#include "transfer/drop_source.h"

#include <new>

#include "transfer/com_base.h"

IDropSource* g_dropSource = nullptr;

namespace {

const IID* const kDropSourceInterfaces[] = {&IID_IUnknown, &IID_IDropSource, nullptr};

class ArchiveDropSource : public ComObject<IDropSource> {
 public:
  ArchiveDropSource() : ComObject(kDropSourceInterfaces) {}

  HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD keyState) override {
    if (escapePressed) return DRAGDROP_S_CANCEL;
    return (keyState & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
  }
  // The picture of the dragged items is drawn by the drop targets; the cursor is the
  // platform's own.
  HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

}  // namespace

IDropSource* CreateDropSource() {
  return new (std::nothrow) ArchiveDropSource;
}
