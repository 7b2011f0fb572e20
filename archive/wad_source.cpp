// Reading WAD2 files: the header, the directory, and lumps stored as they are. Each lump is
// named with the extension of its type, so that it keeps it wherever it goes; a lump that
// is compressed cannot be read.
#include <cstring>
#include <memory>
#include <vector>

#include "archive/bytes.h"
#include "archive/format.h"
#include "archive/formats_internal.h"
#include "archive/source.h"
#include "archive/source_file.h"
#include "archive/wad_records.h"

namespace {

class WadSource : public ArchiveSource {
 public:
  WadSource(const ArchiveFormat& format, std::string path, FILE* file)
      : ArchiveSource(format, std::move(path), file) {}

  Failure ReadDirectory();

  uint32_t Count() const override { return static_cast<uint32_t>(lumps_.size()); }
  std::string_view Name(uint32_t index) const override { return names_[index]; }
  EntryInfo Info(uint32_t index) const override {
    const WadLump& lump = lumps_[index];
    EntryInfo info;
    info.size = lump.size;
    info.storedSize = lump.diskSize;
    info.offset = lump.filePos;
    info.method = lump.compression == 0 ? StoredMethod::Stored : StoredMethod::Other;
    info.methodCode = lump.compression;
    info.hasType = true;
    info.type = lump.type;
    return info;
  }
  EntryLoad Locate(uint32_t index, StoredBytes* where) override;
  Failure CheckPlacement(uint32_t index) override;

 private:
  uint32_t dirOffset_ = 0;
  std::vector<WadLump> lumps_;
  std::vector<std::string> names_;  // with the extension of each lump's type
};

Failure WadSource::ReadDirectory() {
  const int64_t fileLength = FileLength();
  if (fileLength < 0) return Fail(Problem::Unreadable);
  uint8_t raw[kWadHeaderSize];
  const size_t have = fileLength < kWadHeaderSize ? static_cast<size_t>(fileLength) : kWadHeaderSize;
  if (!source_file::ReadAt(file_, 0, raw, have)) return Fail(Problem::Unreadable);
  // A start of the file that matches as far as it goes is a WAD2 cut short.
  if (std::memcmp(raw, "WAD2", have < 4 ? have : 4) != 0) return Fail(Problem::NotWad);
  if (have < kWadHeaderSize) return Fail(Problem::HeaderCutShort);
  const uint32_t count = GetLE32(raw + 4);
  dirOffset_ = GetLE32(raw + 8);
  if (count > kWadMaxLumps) {
    Failure f = Fail(Problem::TooManyEntries);
    f.count = count;
    f.limit = kWadMaxLumps;
    f.format = format_->name;
    return f;
  }
  const uint64_t size = static_cast<uint64_t>(fileLength);
  const uint64_t bytes = static_cast<uint64_t>(count) * kWadLumpSize;
  if (dirOffset_ > size || bytes > size - dirOffset_) return Fail(Problem::DirectoryPastEnd);
  std::vector<uint8_t> directory(bytes);
  if (!source_file::ReadAt(file_, dirOffset_, directory.data(), bytes)) return Fail(Problem::Unreadable);
  lumps_.resize(count);
  names_.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* p = directory.data() + static_cast<size_t>(i) * kWadLumpSize;
    WadLump& lump = lumps_[i];
    lump.filePos = GetLE32(p);
    lump.diskSize = GetLE32(p + 4);
    lump.size = GetLE32(p + 8);
    lump.type = p[12];
    lump.compression = p[13];
    const char* name = reinterpret_cast<const char*>(p + 16);
    // A name that fills all 16 bytes has no terminating NUL; bytes after a NUL are padding.
    const void* nul = std::memchr(name, '\0', kWadNameSize);
    lump.name.assign(name, nul ? static_cast<size_t>(static_cast<const char*>(nul) - name) : kWadNameSize);
    names_[i] = lump.name + WadExtensionOfType(lump.type);
  }
  return Failure();
}

EntryLoad WadSource::Locate(uint32_t index, StoredBytes* where) {
  if (index >= lumps_.size() || file_ == nullptr) return EntryLoad::NotInSource;
  const WadLump& lump = lumps_[index];
  *where = StoredBytes{};
  if (lump.compression != 0) return EntryLoad::Compressed;
  where->offset = lump.filePos;
  where->size = where->storedSize = lump.size;
  if (lump.size == 0) return EntryLoad::Ok;
  const int64_t fileLength = FileLength();
  // An uncompressed lump's bytes fill its size on disk, and lie wholly inside the file.
  if (lump.size > lump.diskSize || fileLength < 0 || lump.filePos > static_cast<uint64_t>(fileLength) ||
      lump.size > static_cast<uint64_t>(fileLength) - lump.filePos)
    return EntryLoad::ReadFailed;
  return EntryLoad::Ok;
}

Failure WadSource::CheckPlacement(uint32_t index) {
  const WadLump& lump = lumps_[index];
  if (lump.size == 0 || lump.compression != 0 || file_ == nullptr) return Failure();
  const uint64_t dirEnd = dirOffset_ + static_cast<uint64_t>(lumps_.size()) * kWadLumpSize;
  return CheckSlotPlacement(FileLength(), lump.filePos, lump.size, kWadHeaderSize, dirOffset_, dirEnd);
}

}  // namespace

std::unique_ptr<ArchiveSource> OpenWadSource(const ArchiveFormat& format, const std::string& path, Failure* why) {
  *why = Failure();
  FILE* f = OpenArchiveFile(path, why);
  if (f == nullptr) return nullptr;
  std::unique_ptr<WadSource> source(new WadSource(format, path, f));
  *why = source->ReadDirectory();
  if (*why) return nullptr;
  return source;
}
