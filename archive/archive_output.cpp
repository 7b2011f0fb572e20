#include "archive/archive_output.h"

#include <fcntl.h>

#include <cerrno>
#include <new>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

#include "archive/source_file.h"

namespace {

// Large enough that small entries cost no system call each and large ones are written
// straight from their own buffers.
constexpr size_t kBufferSize = 1 << 20;
constexpr size_t kDirectWriteSize = 64 << 10;

// Opens path for binary writing only when no file of that name exists yet; errno is EEXIST
// when one does.
FILE* CreateNewFile(const char* path) {
#ifdef _WIN32
  const int fd = _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  FILE* f = _fdopen(fd, "wb");
  if (f == nullptr) _close(fd);
#else
  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (fd < 0) return nullptr;
  FILE* f = fdopen(fd, "wb");
  if (f == nullptr) close(fd);
#endif
  return f;
}

// Writes n bytes to the file's descriptor at its position, however many calls that takes.
bool WriteDirect(FILE* file, const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
#ifdef _WIN32
  const int fd = _fileno(file);
  while (n > 0) {
    const unsigned piece = n > (1u << 30) ? (1u << 30) : static_cast<unsigned>(n);
    const int written = _write(fd, p, piece);
    if (written <= 0) return false;
    p += written;
    n -= static_cast<size_t>(written);
  }
#else
  const int fd = fileno(file);
  while (n > 0) {
    const ssize_t written = write(fd, p, n);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    p += written;
    n -= static_cast<size_t>(written);
  }
#endif
  return true;
}

}  // namespace

bool OutputCreate(ArchiveOutput* out, const char* path, uint64_t limit) {
  *out = ArchiveOutput{nullptr, nullptr, 0, limit, std::string()};
  if (path == nullptr) return false;
  // Only a file this save created is ever removed again when the save fails: what existed
  // before (another file, a device) is not ours to delete.
  out->file = CreateNewFile(path);
  if (out->file != nullptr) {
    out->created = path;
  } else if (errno == EEXIST) {
    out->file = std::fopen(path, "wb");
  }
  if (out->file == nullptr) return false;
  out->buffer.reset(new (std::nothrow) char[kBufferSize]);
  // Without the buffer the file still works through the default one, only slower.
  if (out->buffer && std::setvbuf(out->file, out->buffer.get(), _IOFBF, kBufferSize) != 0) out->buffer.reset();
  return true;
}

void OutputReserve(ArchiveOutput* out, uint64_t length) {
#ifdef __linux__
  if (out->file != nullptr && length > 0 && length <= static_cast<uint64_t>(INT64_MAX))
    fallocate(fileno(out->file), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(length));
#else
  (void)out;
  (void)length;
#endif
}

bool OutputHasRoom(const ArchiveOutput* out, uint64_t bytes) {
  return out->position <= out->limit && bytes <= out->limit - out->position;
}

bool OutputWrite(ArchiveOutput* out, const void* data, size_t n) {
  if (n == 0) return true;
  // A large piece goes to the file directly, after what is buffered: stdio would first
  // copy it into its buffer, which saves no system call worth the copy.
  if (n >= kDirectWriteSize) {
    if (std::fflush(out->file) != 0 || !WriteDirect(out->file, data, n)) return false;
  } else if (std::fwrite(data, 1, n, out->file) != n) {
    return false;
  }
  out->position += n;
  return true;
}

bool OutputSeek(ArchiveOutput* out, uint64_t position) {
  if (std::fflush(out->file) != 0 || !source_file::SeekTo(out->file, position)) return false;
  out->position = position;
  return true;
}

bool OutputCutBack(ArchiveOutput* out, uint64_t position) {
  if (position > out->position || position > static_cast<uint64_t>(INT64_MAX) || !OutputSeek(out, position))
    return false;
#ifdef _WIN32
  return _chsize_s(_fileno(out->file), static_cast<__int64>(position)) == 0;
#else
  return ftruncate(fileno(out->file), static_cast<off_t>(position)) == 0;
#endif
}

bool OutputClose(ArchiveOutput* out) {
  bool ok = true;
  if (out->file) {
    ok = std::fflush(out->file) == 0 && !std::ferror(out->file);
    if (std::fclose(out->file) != 0) ok = false;
    out->file = nullptr;
  }
  out->buffer.reset();
  return ok;
}

void OutputRemove(ArchiveOutput* out) {
  OutputClose(out);
  if (out->created.empty()) return;
  std::remove(out->created.c_str());
  out->created.clear();
}
