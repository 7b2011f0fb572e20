#include "archive/entry_data.h"

#include <cstdlib>

#include "archive/crc32.h"
#include "archive/deflate.h"
#include "archive/source_file.h"
#include "archive/zip64_extra.h"

namespace {

// Deflate codes at best two bits for a 258-byte match, so one compressed byte yields at
// most 1032 bytes. A record claiming more than that is damaged, and sizing a buffer by
// it would let a tiny file ask for gigabytes.
constexpr uint64_t kMaxInflateRatio = 1032;

bool FileLength(FILE* f, uint64_t* length) {
  const int64_t n = source_file::Length(f);
  if (n < 0) return false;
  *length = static_cast<uint64_t>(n);
  return true;
}

// The entry's bytes lie wholly inside the file.
bool PakEntryInFile(PakArchive* archive, int index) {
  uint64_t fileLength;
  if (!FileLength(archive->file, &fileLength)) return false;
  const PakDirEntry& e = archive->entries[index];
  return e.offset <= fileLength && e.length <= fileLength - e.offset;
}

bool Pk3InflatedFits(const Pk3EntryData& data) {
  if (!data.deflated) return data.uncompressedSize <= data.available;
  return data.compressedSize != 0 && data.compressedSize <= data.available &&
         data.uncompressedSize <= static_cast<uint64_t>(data.compressedSize) * kMaxInflateRatio + 258;
}

// Reads a located entry whole into buffer (size checked by the caller), inflating it, and
// checks what it produced against the record's CRC-32.
EntryLoad Pk3ReadLocated(Pk3Archive* archive, const Pk3EntryData& data, uint32_t crc,
                         uint8_t* buffer) {
  if (!data.deflated) {
    if (!Pk3InflatedFits(data) || data.uncompressedSize == 0 ||
        !source_file::ReadAt(archive->file, data.offset, buffer, data.uncompressedSize))
      return EntryLoad::ReadFailed;
    return Pk3DecodeStored(data, crc, buffer, buffer);
  }
  EntryBytes stored;
  const EntryLoad read = Pk3ReadStored(archive, data, &stored);
  if (read != EntryLoad::Ok) return read;
  const EntryLoad decoded = Pk3DecodeStored(data, crc, stored.data, buffer);
  ReleaseEntryBytes(&stored);
  return decoded;
}

// The local header's sizes, through its ZIP64 field when they hold the marker. False when
// the field cannot be read; the sizes are then left as the header gives them.
bool LocalSizes(FILE* file, uint64_t local, const uint8_t* header, Zip64Values* sizes) {
  sizes->uncompressed = GetLE32(header + zipl::kUncompressedSize);
  sizes->compressed = GetLE32(header + zipl::kCompressedSize);
  sizes->offset = 0;
  if (!NeedsZip64Extra(static_cast<uint32_t>(sizes->uncompressed),
                       static_cast<uint32_t>(sizes->compressed), 0))
    return true;
  const uint16_t extraLength = GetLE16(header + zipl::kExtraLength);
  uint8_t* extra = static_cast<uint8_t*>(std::malloc(extraLength ? extraLength : 1));
  if (extra == nullptr) return false;
  const bool ok = source_file::ReadAt(file, local + kZipLocalSize + GetLE16(header + zipl::kNameLength),
                                      extra, extraLength) &&
                  ReadZip64Extra(extra, extraLength, sizes);
  std::free(extra);
  return ok;
}

// The local header tells the same story as the central record: a mismatch means one of
// them is damaged, and trusting either could cut the entry short or misread it.
bool LocalAgrees(FILE* file, uint64_t local, const uint8_t* header, const Pk3CentralRecord& record) {
  if (GetLE16(header + zipl::kNameLength) != record.Get16(zipc::kNameLength) ||
      GetLE16(header + zipl::kMethod) != record.Get16(zipc::kMethod))
    return false;
  // With a data descriptor the local sizes may be zero: they follow the data instead.
  if ((GetLE16(header + zipl::kFlags) | record.Get16(zipc::kFlags)) & kZipFlagDescriptor) return true;
  Zip64Values sizes;
  if (!LocalSizes(file, local, header, &sizes)) return false;
  return sizes.uncompressed == record.Get32(zipc::kUncompressedSize) &&
         sizes.compressed == record.Get32(zipc::kCompressedSize);
}

// Index of p within an array of count elements of size bytes starting at base, or -1.
// Compares addresses as integers: the pointer may belong to another array altogether.
int IndexInArray(const void* base, const void* p, size_t size, uint32_t count) {
  if (base == nullptr || p == nullptr) return -1;
  const uintptr_t b = reinterpret_cast<uintptr_t>(base);
  const uintptr_t q = reinterpret_cast<uintptr_t>(p);
  if (q < b) return -1;
  const uintptr_t offset = q - b;
  if (offset % size != 0) return -1;
  const uintptr_t index = offset / size;
  return index < count ? static_cast<int>(index) : -1;
}

}  // namespace

int PakEntryIndex(const PakArchive* archive, const PakDirEntry* entry) {
  if (archive == nullptr) return -1;
  const uint32_t count = archive->entryCount < kPakMaxEntries ? archive->entryCount : kPakMaxEntries;
  return IndexInArray(archive->entries, entry, sizeof(PakDirEntry), count);
}

int PakReadEntry(PakArchive* archive, int index, uint8_t* buffer, uint32_t bufferSize) {
  if (archive == nullptr || archive->file == nullptr || buffer == nullptr) return 0;
  if (index < 0 || static_cast<uint32_t>(index) >= archive->entryCount ||
      static_cast<uint32_t>(index) >= kPakMaxEntries)
    return 0;
  const PakDirEntry& e = archive->entries[index];
  if (e.length > bufferSize || e.length == 0) return 0;
  return source_file::ReadAt(archive->file, e.offset, buffer, e.length) ? 1 : 0;
}

int Pk3EntryIndex(const Pk3Archive* archive, const Pk3CentralRecord* record) {
  if (archive == nullptr) return -1;
  return IndexInArray(archive->records, record, sizeof(Pk3CentralRecord), archive->TotalEntries());
}

EntryLoad Pk3RecordReadable(const Pk3CentralRecord& record) {
  if (record.Get16(zipc::kFlags) & kZipFlagEncrypted) return EntryLoad::Encrypted;
  const uint16_t method = record.Get16(zipc::kMethod);
  return method == 0 || method == 8 ? EntryLoad::Ok : EntryLoad::Unsupported;
}

EntryLoad Pk3LocateEntry(Pk3Archive* archive, int index, Pk3EntryData* data) {
  if (archive == nullptr || archive->file == nullptr || archive->records == nullptr || data == nullptr)
    return EntryLoad::NotInSource;
  if (index < 0 || static_cast<uint32_t>(index) >= archive->TotalEntries()) return EntryLoad::NotInSource;
  const Pk3CentralRecord& record = archive->records[index];
  const EntryLoad readable = Pk3RecordReadable(record);
  if (readable != EntryLoad::Ok) return readable;
  uint64_t fileLength;
  if (!FileLength(archive->file, &fileLength)) return EntryLoad::ReadFailed;
  const uint64_t local = record.Get32(zipc::kLocalHeaderOffset);
  if (local > fileLength || kZipLocalSize > fileLength - local) return EntryLoad::ReadFailed;
  uint8_t header[kZipLocalSize];
  if (!source_file::ReadAt(archive->file, local, header, sizeof header)) return EntryLoad::ReadFailed;
  if (GetLE32(header + zipl::kSignature) != kZipLocalSignature) return EntryLoad::ReadFailed;
  if (!LocalAgrees(archive->file, local, header, record)) return EntryLoad::HeaderMismatch;
  // The local lengths decide where the data starts; the extra field may differ from the
  // central one.
  const uint64_t offset = local + kZipLocalSize + GetLE16(header + zipl::kNameLength) +
                          GetLE16(header + zipl::kExtraLength);
  if (offset > fileLength) return EntryLoad::ReadFailed;
  data->offset = offset;
  data->available = fileLength - offset;
  data->compressedSize = record.Get32(zipc::kCompressedSize);
  data->uncompressedSize = record.Get32(zipc::kUncompressedSize);
  data->deflated = record.Get16(zipc::kMethod) == 8;
  // Stored bytes are their own compressed form: two sizes for them cannot both be right.
  if (!data->deflated && data->compressedSize != data->uncompressedSize) return EntryLoad::ReadFailed;
  return EntryLoad::Ok;
}

EntryLoad Pk3ReadStored(Pk3Archive* archive, const Pk3EntryData& data, EntryBytes* stored) {
  *stored = EntryBytes{nullptr, 0, false};
  if (!Pk3InflatedFits(data)) return EntryLoad::ReadFailed;
  const uint32_t size = data.deflated ? data.compressedSize : data.uncompressedSize;
  if (size == 0) return EntryLoad::ReadFailed;
  uint8_t* block = static_cast<uint8_t*>(std::malloc(size));
  if (block == nullptr) return EntryLoad::NoMemory;
  if (!source_file::ReadAt(archive->file, data.offset, block, size)) {
    std::free(block);
    return EntryLoad::ReadFailed;
  }
  *stored = EntryBytes{block, size, true};
  return EntryLoad::Ok;
}

EntryLoad Pk3DecodeStored(const Pk3EntryData& data, uint32_t crc, const uint8_t* stored, uint8_t* plain) {
  if (data.deflated && !InflateBuffer(plain, data.uncompressedSize, stored, data.compressedSize))
    return EntryLoad::ReadFailed;
  return Crc32(plain, data.uncompressedSize) == crc ? EntryLoad::Ok : EntryLoad::CrcMismatch;
}

EntryLoad Pk3EmptyEntryCheck(const Pk3CentralRecord& record) {
  const EntryLoad readable = Pk3RecordReadable(record);
  if (readable != EntryLoad::Ok) return readable;
  // No bytes have the CRC-32 0: any other value says the record lost its bytes or its size.
  return record.Get32(zipc::kCrc32) == 0 ? EntryLoad::Ok : EntryLoad::CrcMismatch;
}

int Pk3RawFits(const Pk3EntryData& data) { return data.compressedSize <= data.available ? 1 : 0; }

int Pk3ReadEntry(Pk3Archive* archive, int index, uint8_t* buffer, uint32_t bufferSize) {
  if (archive == nullptr || archive->file == nullptr || buffer == nullptr) return 0;
  if (index < 0 || static_cast<uint32_t>(index) >= archive->TotalEntries() || archive->records == nullptr)
    return 0;
  const Pk3CentralRecord& record = archive->records[index];
  if (record.Get32(zipc::kUncompressedSize) > bufferSize) return 0;
  Pk3EntryData data;
  if (Pk3LocateEntry(archive, index, &data) != EntryLoad::Ok) return 0;
  return Pk3ReadLocated(archive, data, record.Get32(zipc::kCrc32), buffer) == EntryLoad::Ok ? 1 : 0;
}

int Pk3ReadRaw(Pk3Archive* archive, int index, uint8_t* buffer, uint32_t bufferSize) {
  if (archive == nullptr || archive->file == nullptr || buffer == nullptr) return 0;
  if (index < 0 || static_cast<uint32_t>(index) >= archive->TotalEntries() || archive->records == nullptr)
    return 0;
  if (archive->records[index].Get32(zipc::kCompressedSize) > bufferSize) return 0;
  Pk3EntryData data;
  if (Pk3LocateEntry(archive, index, &data) != EntryLoad::Ok) return 0;
  if (!Pk3RawFits(data) || data.compressedSize == 0) return 0;
  return source_file::ReadAt(archive->file, data.offset, buffer, data.compressedSize) ? 1 : 0;
}

bool EntryByteSize(const ArchiveDocument* doc, const ArchiveEntry* entry, uint32_t* size) {
  if (entry == nullptr || size == nullptr) return false;
  switch (KindOf(entry)) {
    case EntryKind::PakFile: {
      const PakArchive* pak = doc ? DocumentPak(doc) : nullptr;
      const int index = PakEntryIndex(pak, entry->pakEntry);
      if (index < 0) return false;
      *size = pak->entries[index].length;
      return true;
    }
    case EntryKind::Pk3File: {
      const Pk3Archive* pk3 = doc ? DocumentPk3(doc) : nullptr;
      const int index = Pk3EntryIndex(pk3, entry->pk3Record);
      if (index < 0) return false;
      *size = pk3->records[index].Get32(zipc::kUncompressedSize);
      return true;
    }
    case EntryKind::MemoryFile:
      *size = entry->size;
      return true;
    default:
      return false;
  }
}

EntryLoad LoadEntryBytes(const ArchiveDocument* doc, const ArchiveEntry* entry, EntryBytes* bytes) {
  if (bytes == nullptr) return EntryLoad::NoBytes;
  *bytes = EntryBytes{nullptr, 0, false};
  if (entry == nullptr) return EntryLoad::NoBytes;
  switch (KindOf(entry)) {
    case EntryKind::PakFile: {
      PakArchive* pak = doc ? DocumentPak(doc) : nullptr;
      const int index = PakEntryIndex(pak, entry->pakEntry);
      if (index < 0) return EntryLoad::NotInSource;
      const uint32_t size = pak->entries[index].length;
      if (size == 0) return EntryLoad::Ok;
      if (!PakEntryInFile(pak, index)) return EntryLoad::ReadFailed;
      uint8_t* block = static_cast<uint8_t*>(std::malloc(size));
      if (block == nullptr) return EntryLoad::NoMemory;
      if (!PakReadEntry(pak, index, block, size)) {
        std::free(block);
        return EntryLoad::ReadFailed;
      }
      *bytes = EntryBytes{block, size, true};
      return EntryLoad::Ok;
    }
    case EntryKind::Pk3File: {
      Pk3Archive* pk3 = doc ? DocumentPk3(doc) : nullptr;
      const int index = Pk3EntryIndex(pk3, entry->pk3Record);
      if (index < 0) return EntryLoad::NotInSource;
      const Pk3CentralRecord& record = pk3->records[index];
      const uint32_t size = record.Get32(zipc::kUncompressedSize);
      if (size == 0) return Pk3EmptyEntryCheck(record);
      Pk3EntryData data;
      const EntryLoad located = Pk3LocateEntry(pk3, index, &data);
      if (located != EntryLoad::Ok) return located;
      if (!Pk3InflatedFits(data)) return EntryLoad::ReadFailed;
      uint8_t* block = static_cast<uint8_t*>(std::malloc(size));
      if (block == nullptr) return EntryLoad::NoMemory;
      const EntryLoad read = Pk3ReadLocated(pk3, data, record.Get32(zipc::kCrc32), block);
      if (read != EntryLoad::Ok) {
        std::free(block);
        return read;
      }
      *bytes = EntryBytes{block, size, true};
      return EntryLoad::Ok;
    }
    case EntryKind::MemoryFile:
      // An entry claiming bytes it does not hold cannot lend them.
      if (entry->size != 0 && entry->data == nullptr) return EntryLoad::ReadFailed;
      *bytes = EntryBytes{entry->size ? entry->data : nullptr, entry->size, false};
      return EntryLoad::Ok;
    default:
      return EntryLoad::NoBytes;
  }
}

const char* EntryLoadReason(EntryLoad result) {
  switch (result) {
    case EntryLoad::Ok:
      return "it was read";
    case EntryLoad::NotInSource:
      return "it is not in the archive's file";
    case EntryLoad::NoMemory:
      return "it is too large to read into memory";
    case EntryLoad::NoBytes:
      return "it is not a file";
    case EntryLoad::Encrypted:
      return "it is encrypted";
    case EntryLoad::Unsupported:
      return "it uses a compression method Vellumix cannot read";
    case EntryLoad::CrcMismatch:
      return "its data does not match its CRC-32 (the archive is damaged)";
    case EntryLoad::HeaderMismatch:
      return "its local header does not match the central directory (the archive is damaged)";
    case EntryLoad::ReadFailed:
      break;
  }
  return "its data is damaged or missing";
}

void ReleaseEntryBytes(EntryBytes* bytes) {
  if (bytes == nullptr) return;
  if (bytes->owned) std::free(bytes->data);
  *bytes = EntryBytes{nullptr, 0, false};
}
