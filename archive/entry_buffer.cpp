#include "archive/entry_buffer.h"

#include <cstdlib>
#include <cstring>
#include <new>

std::shared_ptr<EntryBuffer> EntryBuffer::Allocate(size_t size) {
  uint8_t* data = nullptr;
  if (size != 0) {
    data = static_cast<uint8_t*>(std::malloc(size));
    if (data == nullptr) return nullptr;
  }
  EntryBuffer* buffer = new (std::nothrow) EntryBuffer(data, size);
  if (buffer == nullptr) {
    std::free(data);
    return nullptr;
  }
  return std::shared_ptr<EntryBuffer>(buffer);
}

std::shared_ptr<EntryBuffer> EntryBuffer::Copy(const uint8_t* data, size_t size) {
  if (size != 0 && data == nullptr) return nullptr;
  std::shared_ptr<EntryBuffer> buffer = Allocate(size);
  if (buffer && size != 0) std::memcpy(buffer->data_, data, size);
  return buffer;
}

EntryBuffer::~EntryBuffer() { std::free(data_); }

void EntryBuffer::Shrink(size_t size) {
  if (size >= size_) return;
  if (size == 0) {
    std::free(data_);
    data_ = nullptr;
  } else if (uint8_t* fitted = static_cast<uint8_t*>(std::realloc(data_, size))) {
    data_ = fitted;
  }
  size_ = size;
}
