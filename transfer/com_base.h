// The IUnknown side shared by the program's COM objects: the reference count starts at 1
// for the creator, QueryInterface answers from a table of interface ids, and the object
// deletes itself when the last reference goes.
#pragma once

#include <windows.h>
#include <objbase.h>

template <class Interface>
class ComObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    for (const IID* const* known = interfaces_; *known; ++known) {
      if (IsEqualIID(iid, **known)) {
        *out = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
      }
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refCount_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG count = --refCount_;
    if (count == 0) {
      LastRelease();
      delete this;
    }
    return count;
  }

  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

 protected:
  // interfaces: a null-terminated table of the ids this object answers to, all of them
  // served by Interface (IUnknown first, then Interface's own id).
  explicit ComObject(const IID* const* interfaces) : interfaces_(interfaces) {}
  virtual ~ComObject() = default;
  // Runs once the count has reached 0, before the object is deleted; the object is still
  // whole and may be called here.
  virtual void LastRelease() {}

 private:
  const IID* const* interfaces_;
  ULONG refCount_ = 1;
};
