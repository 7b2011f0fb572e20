// Opening a PAK archive: its header and its directory.
#include <cstdlib>
#include <cstring>

#include "archive/formats.h"
#include "archive/source_file.h"

namespace {

// Reads header and directory into pak; the directory must lie wholly inside the file.
bool ReadPak(FILE* f, PakArchive* pak, std::string* why) {
  int64_t fileLength = source_file::Length(f);
  if (fileLength < static_cast<int64_t>(kPakHeaderSize)) return false;
  uint8_t raw[kPakHeaderSize];
  if (!source_file::ReadAt(f, 0, raw, sizeof raw)) return false;
  if (std::memcmp(raw, "PACK", 4) != 0) return false;
  std::memcpy(pak->header.magic, raw, 4);
  pak->header.dirOffset = GetLE32(raw + 4);
  pak->header.dirLength = GetLE32(raw + 8);

  const uint64_t size = static_cast<uint64_t>(fileLength);
  const uint64_t dirOffset = pak->header.dirOffset;
  // A remainder of the length beyond whole records is ignored.
  const uint32_t count = pak->header.dirLength / kPakDirEntrySize;
  if (count > kPakMaxEntries) {
    if (why)
      *why = "it holds " + std::to_string(count) + " entries, more than the " +
             std::to_string(kPakMaxEntries) + " a PAK file can have";
    return false;
  }
  const uint64_t bytes = static_cast<uint64_t>(count) * kPakDirEntrySize;
  if (dirOffset > size || bytes > size - dirOffset) {
    if (why) *why = "its directory runs past the end of the file";
    return false;
  }
  if (!source_file::ReadAt(f, dirOffset, pak->entries, bytes)) return false;
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
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) {
    if (why) *why = "the file cannot be opened";
    return nullptr;
  }
  PakArchive* pak = static_cast<PakArchive*>(std::calloc(1, sizeof(PakArchive)));
  if (pak == nullptr) {
    std::fclose(f);
    return nullptr;
  }
  if (ReadPak(f, pak, why)) pak->path = CopyString(path);
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
