// Reading PAK files: the header, the directory, and entries stored as they are.
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "archive/bytes.h"
#include "archive/format.h"
#include "archive/formats_internal.h"
#include "archive/pak_records.h"
#include "archive/source.h"
#include "archive/source_file.h"

namespace {

class PakSource : public ArchiveSource {
 public:
  PakSource(const ArchiveFormat& format, std::string path, FILE* file)
      : ArchiveSource(format, std::move(path), file) {}

  Failure ReadDirectory();

  uint32_t Count() const override { return static_cast<uint32_t>(entries_.size()); }
  std::string_view Name(uint32_t index) const override { return names_[index]; }
  EntryInfo Info(uint32_t index) const override {
    EntryInfo info;
    const PakDirEntry& e = entries_[index];
    info.size = info.storedSize = e.length;
    info.offset = e.offset;
    return info;
  }
  EntryLoad Locate(uint32_t index, StoredBytes* where) override;
  Failure CheckPlacement(uint32_t index) override;

 private:
  uint32_t dirOffset_ = 0;
  std::vector<PakDirEntry> entries_;
  std::vector<std::string> names_;
};

Failure PakSource::ReadDirectory() {
  const int64_t fileLength = FileLength();
  if (fileLength < 0) return Fail(Problem::Unreadable);
  uint8_t raw[kPakHeaderSize];
  const size_t have = fileLength < kPakHeaderSize ? static_cast<size_t>(fileLength) : kPakHeaderSize;
  if (!source_file::ReadAt(file_, 0, raw, have)) return Fail(Problem::Unreadable);
  // A start of the file that matches as far as it goes is a PAK cut short.
  if (std::memcmp(raw, "PACK", have < 4 ? have : 4) != 0) return Fail(Problem::NotPak);
  if (have < kPakHeaderSize) return Fail(Problem::HeaderCutShort);
  dirOffset_ = GetLE32(raw + 4);
  const uint32_t dirLength = GetLE32(raw + 8);

  const uint64_t size = static_cast<uint64_t>(fileLength);
  // A remainder of the length beyond whole records is ignored.
  const uint32_t count = dirLength / kPakDirEntrySize;
  if (count > kPakMaxEntries) {
    Failure f = Fail(Problem::TooManyEntries);
    f.count = count;
    f.limit = kPakMaxEntries;
    f.format = format_->name;
    return f;
  }
  const uint64_t bytes = static_cast<uint64_t>(count) * kPakDirEntrySize;
  if (dirOffset_ > size || bytes > size - dirOffset_) return Fail(Problem::DirectoryPastEnd);
  std::vector<uint8_t> directory(bytes);
  if (!source_file::ReadAt(file_, dirOffset_, directory.data(), bytes)) return Fail(Problem::Unreadable);
  entries_.resize(count);
  names_.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* p = directory.data() + static_cast<size_t>(i) * kPakDirEntrySize;
    PakDirEntry& e = entries_[i];
    std::memcpy(e.name, p, kPakNameSize);
    e.offset = GetLE32(p + kPakNameSize);
    e.length = GetLE32(p + kPakNameSize + 4);
    // A name that fills all 56 bytes has no terminating NUL; bytes after a NUL are padding.
    const void* nul = std::memchr(e.name, '\0', kPakNameSize);
    names_[i].assign(e.name, nul ? static_cast<size_t>(static_cast<const char*>(nul) - e.name) : kPakNameSize);
  }
  return Failure();
}

EntryLoad PakSource::Locate(uint32_t index, StoredBytes* where) {
  if (index >= entries_.size() || file_ == nullptr) return EntryLoad::NotInSource;
  const PakDirEntry& e = entries_[index];
  *where = StoredBytes{};
  where->offset = e.offset;
  where->size = where->storedSize = e.length;
  if (e.length == 0) return EntryLoad::Ok;
  const int64_t fileLength = FileLength();
  // The entry's bytes must lie wholly inside the file.
  if (fileLength < 0 || e.offset > static_cast<uint64_t>(fileLength) ||
      e.length > static_cast<uint64_t>(fileLength) - e.offset)
    return EntryLoad::ReadFailed;
  return EntryLoad::Ok;
}

Failure PakSource::CheckPlacement(uint32_t index) {
  const PakDirEntry& e = entries_[index];
  if (e.length == 0 || file_ == nullptr) return Failure();
  const uint64_t dirEnd = dirOffset_ + static_cast<uint64_t>(entries_.size()) * kPakDirEntrySize;
  return CheckSlotPlacement(FileLength(), e.offset, e.length, kPakHeaderSize, dirOffset_, dirEnd);
}

}  // namespace

std::unique_ptr<ArchiveSource> OpenPakSource(const ArchiveFormat& format, const std::string& path, Failure* why) {
  *why = Failure();
  FILE* f = OpenArchiveFile(path, why);
  if (f == nullptr) return nullptr;
  std::unique_ptr<PakSource> source(new PakSource(format, path, f));
  *why = source->ReadDirectory();
  if (*why) return nullptr;
  return source;
}
