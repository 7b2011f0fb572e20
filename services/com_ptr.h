// Owners for what the Windows layer holds past one call: one reference to a COM object,
// and a lock on a global memory block. Each lets go when its holder goes, on every path.
#pragma once

#include <windows.h>

#include <cstddef>

// One reference to a COM object of type T (or null).
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller holds.
  explicit ComPtr(T* adopted) : object_(adopted) {}
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : object_(other.Detach()) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    Reset(other.Detach());
    return *this;
  }
  ~ComPtr() { Reset(); }

  // Adds a reference of its own to object.
  static ComPtr Share(T* object) {
    if (object) object->AddRef();
    return ComPtr(object);
  }
  // Releases the reference held and takes over adopted.
  void Reset(T* adopted = nullptr) {
    T* old = object_;
    object_ = adopted;
    if (old) old->Release();
  }
  // Gives the reference to the caller.
  T* Detach() {
    T* object = object_;
    object_ = nullptr;
    return object;
  }
  T* Get() const { return object_; }
  T* operator->() const { return object_; }
  operator T*() const { return object_; }

 private:
  T* object_ = nullptr;
};

// A global memory block locked for reading, unlocked when the lock goes.
class GlobalLockGuard {
 public:
  explicit GlobalLockGuard(HGLOBAL block) : block_(block), data_(block ? GlobalLock(block) : nullptr) {}
  GlobalLockGuard(const GlobalLockGuard&) = delete;
  GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
  ~GlobalLockGuard() { Unlock(); }

  void Unlock() {
    if (data_) GlobalUnlock(block_);
    data_ = nullptr;
  }
  // The block's bytes, or null when it could not be locked (or was unlocked).
  const void* Data() const { return data_; }
  size_t Size() const { return data_ ? GlobalSize(block_) : 0; }

 private:
  HGLOBAL block_;
  void* data_;
};
