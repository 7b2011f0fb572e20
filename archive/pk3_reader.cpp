// Opening a PK3 (ZIP) archive: its end record and its central directory.
#include <cstdlib>
#include <cstring>

#include "archive/formats.h"
#include "archive/source_file.h"

namespace {

// The end record is searched for in the last 64 KB of the file, read in one
// block. One buffer serves the whole program: archives are opened only on the
// user-interface thread.
constexpr uint32_t kEndSearchSize = 65536;
uint8_t endSearchBuffer[kEndSearchSize];

// The central directory is parsed from a window of the file that is refilled
// as the parse moves on, so opening costs a few reads instead of three calls
// per record, and memory stays bounded whatever the offsets claim. The window
// is larger than the largest record (46 bytes plus three 16-bit lengths).
constexpr size_t kWindowSize = 256 * 1024;

struct WindowReader {
  FILE* file;
  uint64_t fileLength;
  uint8_t* buffer;
  uint64_t bufferStart;  // file offset of buffer[0]
  size_t bufferLength;
  uint64_t position;  // file offset of the next byte to take

  // Pointer to the n bytes at the position, which then moves past them; null
  // when they are not all in the file.
  const uint8_t* Take(size_t n) {
    if (position > fileLength || n > fileLength - position) return nullptr;
    if (position < bufferStart || position - bufferStart > bufferLength ||
        n > bufferLength - (position - bufferStart)) {
      uint64_t left = fileLength - position;
      size_t want = left < kWindowSize ? static_cast<size_t>(left) : kWindowSize;
      if (!source_file::SeekTo(file, position)) return nullptr;
      bufferLength = std::fread(buffer, 1, want, file);
      bufferStart = position;
      if (bufferLength < n) return nullptr;
    }
    const uint8_t* p = buffer + (position - bufferStart);
    position += n;
    return p;
  }

  // Moves the position forward; the bytes need not exist unless taken later.
  void Skip(uint64_t n) { position += n; }
};

bool FindEndRecord(FILE* f, uint64_t fileLength, uint8_t* endRecord) {
  if (fileLength < kZipEndSize) return false;
  uint8_t last[2];
  if (!source_file::ReadAt(f, fileLength - 2, last, 2)) return false;
  if (last[0] == 0 && last[1] == 0)
    return source_file::ReadAt(f, fileLength - kZipEndSize, endRecord, kZipEndSize);

  // An archive comment follows the record: search backwards for a signature
  // whose comment length reaches exactly the end of the file.
  const uint32_t n = fileLength < kEndSearchSize ? static_cast<uint32_t>(fileLength) : kEndSearchSize;
  if (!source_file::ReadAt(f, fileLength - n, endSearchBuffer, n)) return false;
  if (n < kZipEndSize + 1) return false;
  for (uint32_t pos = n - kZipEndSize - 1;; --pos) {
    const uint8_t* p = endSearchBuffer + pos;
    if (GetLE32(p + zipe::kSignature) == kZipEndSignature &&
        pos + kZipEndSize + GetLE16(p + zipe::kCommentLength) == n) {
      std::memcpy(endRecord, p, kZipEndSize);
      return true;
    }
    if (pos == 0) return false;
  }
}

bool ReadCentralDirectory(FILE* f, uint64_t fileLength, Pk3Archive* pk3) {
  const uint32_t count = pk3->TotalEntries();
  const uint64_t offset = GetLE32(pk3->endRecord + zipe::kCentralOffset);
  if (offset > fileLength) return false;
  if (count == 0) return true;
  // Every record takes at least its fixed part: a count the file cannot hold is refused
  // before anything is allocated for it.
  if (static_cast<uint64_t>(count) * kZipCentralSize > fileLength - offset) return false;

  pk3->records = static_cast<Pk3CentralRecord*>(std::calloc(count, sizeof(Pk3CentralRecord)));
  uint8_t* window = static_cast<uint8_t*>(std::malloc(kWindowSize));
  if (pk3->records == nullptr || window == nullptr) {
    std::free(window);
    return false;
  }
  WindowReader reader{f, fileLength, window, 0, 0, offset};
  bool ok = true;
  for (uint32_t i = 0; i < count && ok; ++i) {
    Pk3CentralRecord& record = pk3->records[i];
    const uint8_t* fixed = reader.Take(kZipCentralSize);
    if (fixed == nullptr || GetLE32(fixed + zipc::kSignature) != kZipCentralSignature) {
      ok = false;
      break;
    }
    std::memcpy(record.header, fixed, kZipCentralSize);
    const uint16_t nameLength = record.Get16(zipc::kNameLength);
    // A nameless record has nothing to place in the tree.
    const uint8_t* name = nameLength ? reader.Take(nameLength) : nullptr;
    if (name == nullptr) {
      ok = false;
      break;
    }
    record.name = static_cast<char*>(std::malloc(nameLength + 1u));
    if (record.name == nullptr) {
      ok = false;
      break;
    }
    std::memcpy(record.name, name, nameLength);
    record.name[nameLength] = '\0';
    reader.Skip(record.Get16(zipc::kExtraLength));
    reader.Skip(record.Get16(zipc::kCommentLength));
  }
  std::free(window);
  return ok;
}

void FreeRecords(Pk3Archive* pk3) {
  if (pk3->records == nullptr) return;
  const uint32_t count = pk3->TotalEntries();
  for (uint32_t i = 0; i < count; ++i) std::free(pk3->records[i].name);
  std::free(pk3->records);
  pk3->records = nullptr;
}

char* CopyString(const char* text) {
  size_t n = std::strlen(text) + 1;
  char* copy = static_cast<char*>(std::malloc(n));
  if (copy) std::memcpy(copy, text, n);
  return copy;
}

}  // namespace

Pk3Archive* Pk3Open(const char* path) {
  if (path == nullptr) return nullptr;
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return nullptr;
  Pk3Archive* pk3 = static_cast<Pk3Archive*>(std::calloc(1, sizeof(Pk3Archive)));
  if (pk3 == nullptr) {
    std::fclose(f);
    return nullptr;
  }
  int64_t length = source_file::Length(f);
  bool ok = length >= 0 && FindEndRecord(f, static_cast<uint64_t>(length), pk3->endRecord) &&
            GetLE32(pk3->endRecord + zipe::kSignature) == kZipEndSignature &&
            ReadCentralDirectory(f, static_cast<uint64_t>(length), pk3);
  if (ok) pk3->path = CopyString(path);
  if (pk3->path == nullptr) {
    FreeRecords(pk3);
    std::fclose(f);
    std::free(pk3);
    return nullptr;
  }
  pk3->file = f;
  return pk3;
}

void Pk3Close(Pk3Archive* archive) {
  if (archive == nullptr) return;
  if (archive->file) std::fclose(archive->file);
  FreeRecords(archive);
  std::free(archive->path);
  std::free(archive);
}
