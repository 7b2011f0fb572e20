#include "transfer/core/disk_files.h"

#include <cstdio>

#include "archive/source_file.h"

int64_t ReadWholeFile(const char* path, SharedBytes* bytes) {
  if (bytes == nullptr) return -1;
  bytes->reset();
  if (path == nullptr) return -1;
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return -1;
  const int64_t length = source_file::Length(f);
  int64_t result = -1;
  if (length == 0) {
    result = 0;
  } else if (length > 0 && length <= kMaxImportSize && static_cast<uint64_t>(length) <= SIZE_MAX) {
    // A file beyond the address space (or beyond what memory has left) is refused here,
    // before any read, rather than truncated to a size the entry could hold.
    std::shared_ptr<EntryBuffer> data = EntryBuffer::Allocate(static_cast<size_t>(length));
    if (data && source_file::SeekTo(f, 0) &&
        std::fread(data->data(), 1, static_cast<size_t>(length), f) == static_cast<size_t>(length)) {
      *bytes = std::move(data);
      result = length;
    }
  }
  std::fclose(f);
  return result;
}
