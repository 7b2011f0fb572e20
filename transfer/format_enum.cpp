#include "transfer/format_enum.h"

#include <cstring>
#include <new>

#include "transfer/com_base.h"

namespace {

const IID* const kEnumeratorInterfaces[] = {&IID_IUnknown, &IID_IEnumFORMATETC, nullptr};

class FormatEnumerator : public ComObject<IEnumFORMATETC> {
 public:
  FormatEnumerator() : ComObject(kEnumeratorInterfaces) {}
  ~FormatEnumerator() override { delete[] formats_; }

  bool Init(const FORMATETC* formats, ULONG count, ULONG position) {
    if (count > 0) {
      formats_ = new (std::nothrow) FORMATETC[count];
      if (formats_ == nullptr) return false;
      std::memcpy(formats_, formats, count * sizeof(FORMATETC));
    }
    count_ = count;
    position_ = position;
    return true;
  }

  HRESULT STDMETHODCALLTYPE Next(ULONG n, FORMATETC* out, ULONG* fetched) override {
    if (fetched) *fetched = 0;
    // Without a place for the count the caller cannot tell how many arrived, so more
    // than one at a time is refused.
    if (n == 0 || out == nullptr || position_ >= count_ || (fetched == nullptr && n != 1)) {
      return S_FALSE;
    }
    const ULONG left = count_ - position_;
    const ULONG copied = n < left ? n : left;
    std::memcpy(out, formats_ + position_, copied * sizeof(FORMATETC));
    position_ += copied;
    if (fetched) *fetched = copied;
    return copied == n ? S_OK : S_FALSE;
  }

  HRESULT STDMETHODCALLTYPE Skip(ULONG n) override {
    const ULONG left = count_ - position_;
    if (n <= left) {
      position_ += n;
      return S_OK;
    }
    position_ = count_;
    return S_FALSE;
  }

  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    auto* clone = new (std::nothrow) FormatEnumerator;
    if (clone == nullptr) return E_OUTOFMEMORY;
    if (!clone->Init(formats_, count_, position_)) {
      clone->Release();
      return E_OUTOFMEMORY;
    }
    *out = clone;
    return S_OK;
  }

 private:
  FORMATETC* formats_ = nullptr;
  ULONG count_ = 0;
  ULONG position_ = 0;
};

}  // namespace

IEnumFORMATETC* CreateFormatEnumerator(const FORMATETC* formats, ULONG count) {
  auto* enumerator = new (std::nothrow) FormatEnumerator;
  if (enumerator == nullptr) return nullptr;
  if (!enumerator->Init(formats, count, 0)) {
    enumerator->Release();
    return nullptr;
  }
  return enumerator;
}
