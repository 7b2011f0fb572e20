#include "archive/archive_output.h"

#include <cstdlib>

#include "archive/source_file.h"

namespace {

// Large enough that small entries cost no system call each and large ones are written
// straight from their own buffers.
constexpr size_t kBufferSize = 1 << 20;

}  // namespace

bool OutputCreate(ArchiveOutput* out, const char* path, uint64_t limit) {
  *out = ArchiveOutput{nullptr, nullptr, 0, limit};
  if (path == nullptr) return false;
  out->file = std::fopen(path, "wb");
  if (out->file == nullptr) return false;
  out->buffer = static_cast<char*>(std::malloc(kBufferSize));
  // Without the buffer the file still works through the default one, only slower.
  if (out->buffer && std::setvbuf(out->file, out->buffer, _IOFBF, kBufferSize) != 0) {
    std::free(out->buffer);
    out->buffer = nullptr;
  }
  return true;
}

bool OutputHasRoom(const ArchiveOutput* out, uint64_t bytes) {
  return out->position <= out->limit && bytes <= out->limit - out->position;
}

bool OutputWrite(ArchiveOutput* out, const void* data, size_t n) {
  if (n == 0) return true;
  if (std::fwrite(data, 1, n, out->file) != n) return false;
  out->position += n;
  return true;
}

bool OutputSeek(ArchiveOutput* out, uint64_t position) {
  if (std::fflush(out->file) != 0 || !source_file::SeekTo(out->file, position)) return false;
  out->position = position;
  return true;
}

bool OutputClose(ArchiveOutput* out) {
  bool ok = true;
  if (out->file) {
    ok = std::fflush(out->file) == 0 && !std::ferror(out->file);
    if (std::fclose(out->file) != 0) ok = false;
    out->file = nullptr;
  }
  std::free(out->buffer);
  out->buffer = nullptr;
  return ok;
}
