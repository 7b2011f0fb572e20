#include "archive/source.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <new>

#include "archive/formats_internal.h"
#include "archive/source_file.h"

ArchiveSource::~ArchiveSource() {
  if (file_ != nullptr) std::fclose(file_);
}

EntryLoad ArchiveSource::Load(uint32_t index, SharedBytes* bytes) {
  bytes->reset();
  if (index >= Count()) return EntryLoad::NotInSource;
  // The record's size is only believed once the file was found to hold the bytes: a
  // damaged record must not make the reader ask for gigabytes it would never fill.
  StoredBytes where;
  const EntryLoad located = Locate(index, &where);
  if (located != EntryLoad::Ok) return located;
  const uint32_t size = Size(index);
  std::shared_ptr<EntryBuffer> buffer = EntryBuffer::Allocate(size);
  if (!buffer) return EntryLoad::NoMemory;
  // Fills the buffer from the front; a source that gives more than its size is damaged.
  struct Fill : ByteSink {
    EntryBuffer& to;
    size_t used = 0;
    explicit Fill(EntryBuffer& b) : to(b) {}
    bool Take(const uint8_t* data, size_t n) override {
      if (n > to.size() - used) return false;
      std::copy(data, data + n, to.data() + used);
      used += n;
      return true;
    }
  } fill(*buffer);
  EntryLoad read = Read(index, &fill);
  if (read == EntryLoad::Stopped || (read == EntryLoad::Ok && fill.used != size)) read = EntryLoad::ReadFailed;
  if (read != EntryLoad::Ok) return read;
  if (size != 0) *bytes = std::move(buffer);
  return EntryLoad::Ok;
}

Failure ArchiveSource::CheckPlacement(uint32_t) { return Failure(); }

const std::string& ArchiveSource::Comment() const {
  static const std::string kNone;
  return kNone;
}

EntryLoad ArchiveSource::ReadPlan(uint32_t index, StoredBytes* where) {
  const EntryLoad located = Locate(index, where);
  // Bytes stored as they are, with nothing to check them against but the file's end.
  where->deflated = false;
  where->hasCrc = false;
  where->storedSize = where->size;
  return located;
}

EntryLoad ArchiveSource::Read(uint32_t index, ByteSink* sink) {
  StoredBytes where;
  const EntryLoad located = ReadPlan(index, &where);
  if (located != EntryLoad::Ok || where.size == 0) return located;
  return ReadPieces(file_, where.offset, where.size, sink);
}

void ArchiveSource::LetGoOfFile() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  fileLength_ = kLengthUnknown;
}

int64_t ArchiveSource::FileLength() {
  if (file_ == nullptr) return -1;
  if (fileLength_ == kLengthUnknown) fileLength_ = source_file::Length(file_);
  return fileLength_;
}

bool ArchiveSource::TakeFile(const std::string& path) {
  LetGoOfFile();
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) return false;
  path_ = path;
  return true;
}

EntryLoad ReadPieces(FILE* file, uint64_t offset, uint64_t n, ByteSink* sink) {
  if (file == nullptr) return EntryLoad::ReadFailed;
  const size_t room = n < kStreamPieceSize ? static_cast<size_t>(n) : kStreamPieceSize;
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[room ? room : 1]);
  if (!buffer) return EntryLoad::NoMemory;
  while (n > 0) {
    const size_t piece = n < room ? static_cast<size_t>(n) : room;
    if (!source_file::ReadPieceAt(file, offset, buffer.get(), piece)) return EntryLoad::ReadFailed;
    if (sink != nullptr && !sink->Take(buffer.get(), piece)) return EntryLoad::Stopped;
    offset += piece;
    n -= piece;
  }
  return EntryLoad::Ok;
}

namespace {

// A folder opens as a file on some systems (and reads as nothing or fails), and not at all
// on others: it is told apart before the open.
bool IsFolder(const std::string& path) {
#ifdef _WIN32
  struct _stat64 status;
  return _stat64(path.c_str(), &status) == 0 && (status.st_mode & _S_IFDIR) != 0;
#else
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
#endif
}

}  // namespace

FILE* OpenArchiveFile(const std::string& path, Failure* why) {
  if (IsFolder(path)) {
    *why = Fail(Problem::Folder);
    return nullptr;
  }
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    *why = Fail(Problem::CannotOpen);
    return nullptr;
  }
  const int64_t length = source_file::Length(f);
  if (length <= 0) {
    *why = Fail(length == 0 ? Problem::Empty : Problem::Unreadable);
    std::fclose(f);
    return nullptr;
  }
  return f;
}

Failure CheckSlotPlacement(int64_t length, uint64_t start, uint32_t size, uint64_t headerSize, uint64_t dirStart,
                           uint64_t dirEnd) {
  const uint64_t fileLength = length > 0 ? static_cast<uint64_t>(length) : 0;
  if (start > fileLength || size > fileLength - start) {
    Failure f = Fail(Problem::DataPastEnd);
    f.count = size;
    f.index = start;
    f.limit = fileLength;
    return f;
  }
  if (start < headerSize) return Fail(Problem::DataOverHeader);
  const uint64_t end = start + size;
  if (dirEnd > dirStart && start < dirEnd && end > dirStart) return Fail(Problem::DataOverDirectory);
  return Failure();
}
