// 64-bit positioning of the C runtime files the archive readers use. Archive
// offsets are 32-bit unsigned, beyond the reach of a 32-bit long on Windows.
#pragma once

#include <cstdint>
#include <cstdio>

#ifndef _WIN32
#include <unistd.h>

#include <cerrno>
#endif

namespace source_file {

inline bool SeekTo(FILE* f, uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
#ifdef _WIN32
  return _fseeki64(f, static_cast<int64_t>(offset), SEEK_SET) == 0;
#else
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

// The file's length in bytes, or -1; the position is left at the end.
inline int64_t Length(FILE* f) {
#ifdef _WIN32
  if (_fseeki64(f, 0, SEEK_END) != 0) return -1;
  return _ftelli64(f);
#else
  if (fseeko(f, 0, SEEK_END) != 0) return -1;
  return static_cast<int64_t>(ftello(f));
#endif
}

// Reads exactly n bytes at offset; a short read is a failure.
inline bool ReadAt(FILE* f, uint64_t offset, void* buffer, size_t n) {
  if (!SeekTo(f, offset)) return false;
  return n == 0 || std::fread(buffer, 1, n, f) == n;
}

// Reads exactly n bytes at offset without going through the file's buffer, for large
// pieces that a buffer would only split into more system calls; the file's position
// is left undefined. A short read is a failure.
inline bool ReadPieceAt(FILE* f, uint64_t offset, void* buffer, size_t n) {
#ifdef _WIN32
  return ReadAt(f, offset, buffer, n);
#else
  if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
  const int fd = fileno(f);
  char* p = static_cast<char*>(buffer);
  while (n > 0) {
    const ssize_t got = pread(fd, p, n, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    offset += static_cast<uint64_t>(got);
    n -= static_cast<size_t>(got);
  }
  return true;
#endif
}

// Reads a source file at given offsets from a worker thread while the thread that owns its
// FILE* goes on reading it: positional reads of the same descriptor where the system has
// them (they move no shared position), elsewhere a file of its own, opened by path when
// first needed. One reader serves one thread.
class ParallelReader {
 public:
  ParallelReader(FILE* shared, const char* path) : shared_(shared), path_(path) {}
  ~ParallelReader() {
    if (own_ != nullptr) std::fclose(own_);
  }
  ParallelReader(const ParallelReader&) = delete;
  ParallelReader& operator=(const ParallelReader&) = delete;

  FILE* Shared() const { return shared_; }

  // Reads exactly n bytes at offset; a short read is a failure.
  bool ReadAt(uint64_t offset, void* buffer, size_t n) {
#ifdef _WIN32
    if (own_ == nullptr && path_ != nullptr) own_ = std::fopen(path_, "rb");
    return own_ != nullptr && source_file::ReadAt(own_, offset, buffer, n);
#else
    return ReadPieceAt(shared_, offset, buffer, n);
#endif
  }

 private:
  FILE* shared_;
  [[maybe_unused]] const char* path_;  // read only where the system has no positional reads
  FILE* own_ = nullptr;
};

}  // namespace source_file
