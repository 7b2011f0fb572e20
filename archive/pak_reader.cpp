// Opening a PAK archive: its header and its directory.
#include <cstdlib>
#include <cstring>

#include "archive/formats.h"
#include "archive/reader_open.h"
#include "archive/source_file.h"

namespace {

using reader_open::Refuse;

// Reads header and directory into pak; the directory must lie wholly inside the file.
bool ReadPak(FILE* f, PakArchive* pak, std::string* why) {
  int64_t fileLength = source_file::Length(f);
  if (fileLength < 0) return Refuse(why, reader_open::kUnreadable);
  uint8_t raw[kPakHeaderSize];
  const size_t have = fileLength < kPakHeaderSize ? static_cast<size_t>(fileLength) : kPakHeaderSize;
  if (!source_file::ReadAt(f, 0, raw, have)) return Refuse(why, reader_open::kUnreadable);
  // A start of the file that matches as far as it goes is a PAK cut short.
  if (std::memcmp(raw, "PACK", have < 4 ? have : 4) != 0)
    return Refuse(why, "no \"PACK\" header (not a PAK archive)");
  if (have < kPakHeaderSize) return Refuse(why, "its header is cut short");
  std::memcpy(pak->header.magic, raw, 4);
  pak->header.dirOffset = GetLE32(raw + 4);
  pak->header.dirLength = GetLE32(raw + 8);

  const uint64_t size = static_cast<uint64_t>(fileLength);
  const uint64_t dirOffset = pak->header.dirOffset;
  // A remainder of the length beyond whole records is ignored.
  const uint32_t count = pak->header.dirLength / kPakDirEntrySize;
  if (count > kPakMaxEntries)
    return Refuse(why, "it holds " + std::to_string(count) + " entries, more than the " +
                           std::to_string(kPakMaxEntries) + " a PAK file can have");
  const uint64_t bytes = static_cast<uint64_t>(count) * kPakDirEntrySize;
  if (dirOffset > size || bytes > size - dirOffset)
    return Refuse(why, "its directory runs past the end of the file");
  if (!source_file::ReadAt(f, dirOffset, pak->entries, bytes)) return Refuse(why, reader_open::kUnreadable);
  for (uint32_t i = 0; i < count; ++i) {
    PakDirEntry& e = pak->entries[i];
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&e);
    e.offset = GetLE32(p + kPakNameSize);
    e.length = GetLE32(p + kPakNameSize + 4);
  }
  pak->entryCount = count;
  return true;
}

}  // namespace

PakArchive* PakOpen(const char* path, std::string* why) {
  if (why) why->clear();
  if (path == nullptr) return nullptr;
  FILE* f = reader_open::OpenForReading(path, why);
  if (f == nullptr) return nullptr;
  PakArchive* pak = static_cast<PakArchive*>(std::calloc(1, sizeof(PakArchive)));
  if (pak == nullptr) {
    Refuse(why, reader_open::kNoMemory);
    std::fclose(f);
    return nullptr;
  }
  if (ReadPak(f, pak, why)) {
    pak->path = CopyString(path);
    if (pak->path == nullptr) Refuse(why, reader_open::kNoMemory);
  }
  if (pak->path == nullptr) {
    std::fclose(f);
    std::free(pak);
    return nullptr;
  }
  pak->file = f;
  return pak;
}

void PakClose(PakArchive* archive) {
  if (archive == nullptr) return;
  if (archive->file) std::fclose(archive->file);
  std::free(archive->path);
  std::free(archive);
}
