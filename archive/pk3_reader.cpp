// Opening a PK3 (ZIP) archive: its end record (and the ZIP64 one when there is one) and
// its central directory.
#include <cstdlib>
#include <cstring>

#include "archive/entry_stream.h"
#include "archive/formats.h"
#include "archive/quoted_name.h"
#include "archive/reader_open.h"
#include "archive/source_file.h"
#include "archive/zip64_extra.h"

namespace {

using reader_open::Refuse;

const char kNoEndRecord[] = "no end-of-central-directory record (not a ZIP archive, or cut short)";
const char kDirectoryPastEnd[] = "the central directory runs past the end of the file";

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
  // when they are not all in the file, or cannot be read.
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

  // Why the last Take failed.
  bool RefuseTake(size_t n, std::string* why) const {
    const bool inFile = position <= fileLength && n <= fileLength - position;
    return Refuse(why, inFile ? reader_open::kUnreadable : kDirectoryPastEnd);
  }
};

// What the end records say about the central directory.
struct CentralDirectory {
  uint64_t count;
  uint64_t size;
  uint64_t offset;
};

// Finds the end record; *position receives its file offset.
bool FindEndRecord(FILE* f, uint64_t fileLength, uint8_t* endRecord, uint64_t* position,
                   std::string* why) {
  if (fileLength < kZipEndSize) return Refuse(why, kNoEndRecord);
  uint8_t last[2];
  if (!source_file::ReadAt(f, fileLength - 2, last, 2)) return Refuse(why, reader_open::kUnreadable);
  if (last[0] == 0 && last[1] == 0) {
    *position = fileLength - kZipEndSize;
    if (!source_file::ReadAt(f, *position, endRecord, kZipEndSize))
      return Refuse(why, reader_open::kUnreadable);
    return GetLE32(endRecord + zipe::kSignature) == kZipEndSignature || Refuse(why, kNoEndRecord);
  }

  // An archive comment follows the record: search backwards for a signature
  // whose comment length reaches exactly the end of the file. When none does, the
  // signature nearest the end says what is wrong.
  const uint32_t n = fileLength < kEndSearchSize ? static_cast<uint32_t>(fileLength) : kEndSearchSize;
  if (!source_file::ReadAt(f, fileLength - n, endSearchBuffer, n))
    return Refuse(why, reader_open::kUnreadable);
  const char* nearest = kNoEndRecord;
  for (uint32_t pos = n - kZipEndSize;; --pos) {
    const uint8_t* p = endSearchBuffer + pos;
    if (GetLE32(p + zipe::kSignature) == kZipEndSignature) {
      const uint32_t reach = pos + kZipEndSize + GetLE16(p + zipe::kCommentLength);
      if (reach == n) {
        std::memcpy(endRecord, p, kZipEndSize);
        *position = fileLength - n + pos;
        return true;
      }
      if (nearest == kNoEndRecord)
        nearest = reach > n ? "the comment's length runs past the end"
                            : "the comment's length stops short of the end";
    }
    if (pos == 0) return Refuse(why, nearest);
  }
}

// The central directory as the end records describe it. An archive with a ZIP64 locator
// right before its end record takes the ZIP64 end record's values, which writers give even
// when the classic fields could have held them.
bool DescribeCentralDirectory(FILE* f, uint64_t fileLength, const uint8_t* endRecord,
                              uint64_t endPosition, CentralDirectory* cd, std::string* why) {
  cd->count = GetLE16(endRecord + zipe::kTotalEntries);
  cd->size = GetLE32(endRecord + zipe::kCentralSize);
  cd->offset = GetLE32(endRecord + zipe::kCentralOffset);
  uint8_t locator[kZip64LocatorSize];
  if (endPosition < kZip64LocatorSize ||
      !source_file::ReadAt(f, endPosition - kZip64LocatorSize, locator, sizeof locator) ||
      GetLE32(locator + zip64::kLocatorSignature) != kZip64LocatorSignature)
    return true;
  const uint64_t at = GetLE64(locator + zip64::kLocatorEndOffset);
  uint8_t end64[kZip64EndSize];
  if (at > endPosition || kZip64EndSize > endPosition - at ||
      !source_file::ReadAt(f, at, end64, sizeof end64) ||
      GetLE32(end64 + zip64::kEndSignature) != kZip64EndSignature) {
    if (why) *why = "its ZIP64 end record is missing or damaged";
    return false;
  }
  cd->count = GetLE64(end64 + zip64::kEndTotalEntries);
  cd->size = GetLE64(end64 + zip64::kEndCentralSize);
  cd->offset = GetLE64(end64 + zip64::kEndCentralOffset);
  return true;
}

// Counts the records that follow the last one read, up to the end of the directory as
// its size gives it. Zero when what follows is not a central record.
uint64_t CountFurtherRecords(WindowReader& reader, uint64_t end) {
  uint64_t more = 0;
  while (reader.position < end) {
    const uint8_t* fixed = reader.Take(kZipCentralSize);
    if (fixed == nullptr || GetLE32(fixed + zipc::kSignature) != kZipCentralSignature) break;
    ++more;
    reader.Skip(static_cast<uint64_t>(GetLE16(fixed + zipc::kNameLength)) +
                GetLE16(fixed + zipc::kExtraLength) + GetLE16(fixed + zipc::kCommentLength));
  }
  return more;
}

// Reads the record's extra field and puts the values of its ZIP64 field into the 32-bit
// fields that stand for them. False when a value does not fit 32 bits.
bool ApplyZip64Extra(Pk3CentralRecord& record, const uint8_t* extra, uint16_t extraLength,
                     std::string* why) {
  Zip64Values values;
  values.uncompressed = record.Get32(zipc::kUncompressedSize);
  values.compressed = record.Get32(zipc::kCompressedSize);
  values.offset = record.Get32(zipc::kLocalHeaderOffset);
  if (!ReadZip64Extra(extra, extraLength, &values)) return true;
  if (values.uncompressed >= 0xFFFFFFFFu || values.compressed >= 0xFFFFFFFFu) {
    if (why) *why = QuotedName(record.name) + " is 4 GB or larger";
    return false;
  }
  if (values.offset >= 0xFFFFFFFFu) {
    if (why) *why = QuotedName(record.name) + " lies beyond the first 4 GB of the file";
    return false;
  }
  record.Set32(zipc::kUncompressedSize, static_cast<uint32_t>(values.uncompressed));
  record.Set32(zipc::kCompressedSize, static_cast<uint32_t>(values.compressed));
  record.Set32(zipc::kLocalHeaderOffset, static_cast<uint32_t>(values.offset));
  return true;
}

std::string Entries(uint64_t count) {
  return reader_open::GroupedCount(count) + (count == 1 ? " entry" : " entries");
}

bool ReadCentralDirectory(FILE* f, uint64_t fileLength, const CentralDirectory& cd,
                          Pk3Archive* pk3, std::string* why) {
  const uint64_t count = cd.count;
  if (cd.offset > fileLength) return Refuse(why, kDirectoryPastEnd);
  // Every record takes at least its fixed part: a count the file cannot hold is refused
  // before anything is allocated for it.
  if (count > (fileLength - cd.offset) / kZipCentralSize) return Refuse(why, kDirectoryPastEnd);
  if (count > kPk3MaxOpenEntries)
    return Refuse(why, "it holds " + std::to_string(count) + " entries, more than the " +
                           std::to_string(kPk3MaxOpenEntries) + " Vellumix can open");

  uint8_t* window = static_cast<uint8_t*>(std::malloc(kWindowSize));
  if (window == nullptr) return Refuse(why, reader_open::kNoMemory);
  if (count > 0) {
    pk3->records = static_cast<Pk3CentralRecord*>(std::calloc(count, sizeof(Pk3CentralRecord)));
    if (pk3->records == nullptr) {
      std::free(window);
      return Refuse(why, reader_open::kNoMemory);
    }
  }
  pk3->entryCount = static_cast<uint32_t>(count);
  WindowReader reader{f, fileLength, window, 0, 0, cd.offset};
  bool ok = true;
  for (uint32_t i = 0; i < count && ok; ++i) {
    Pk3CentralRecord& record = pk3->records[i];
    const uint8_t* fixed = reader.Take(kZipCentralSize);
    if (fixed == nullptr) {
      ok = reader.RefuseTake(kZipCentralSize, why);
      break;
    }
    if (GetLE32(fixed + zipc::kSignature) != kZipCentralSignature) {
      ok = Refuse(why, "the central directory is damaged at entry " +
                           reader_open::GroupedCount(i + 1) + " of " + reader_open::GroupedCount(count));
      break;
    }
    std::memcpy(record.header, fixed, kZipCentralSize);
    const uint16_t nameLength = record.Get16(zipc::kNameLength);
    // A nameless record has nothing to place in the tree.
    if (nameLength == 0) {
      ok = Refuse(why, "entry " + reader_open::GroupedCount(i + 1) +
                           " of the central directory has no name");
      break;
    }
    const uint8_t* name = reader.Take(nameLength);
    if (name == nullptr) {
      ok = reader.RefuseTake(nameLength, why);
      break;
    }
    record.name = static_cast<char*>(std::malloc(nameLength + 1u));
    if (record.name == nullptr) {
      ok = Refuse(why, reader_open::kNoMemory);
      break;
    }
    std::memcpy(record.name, name, nameLength);
    record.name[nameLength] = '\0';
    const uint16_t extraLength = record.Get16(zipc::kExtraLength);
    if (NeedsZip64Extra(record.Get32(zipc::kUncompressedSize), record.Get32(zipc::kCompressedSize),
                        record.Get32(zipc::kLocalHeaderOffset))) {
      const uint8_t* extra = reader.Take(extraLength);
      ok = extra != nullptr ? ApplyZip64Extra(record, extra, extraLength, why)
                            : reader.RefuseTake(extraLength, why);
    } else {
      reader.Skip(extraLength);
    }
    reader.Skip(record.Get16(zipc::kCommentLength));
  }
  // A count that wrapped around 16 bits (or a damaged one) leaves records behind that the
  // directory's size still covers: showing the archive without them would lose them at
  // the next save.
  if (ok && cd.size > reader.position - cd.offset) {
    const uint64_t more = CountFurtherRecords(reader, cd.offset + cd.size);
    if (more > 0)
      ok = Refuse(why, "the end record counts " + Entries(count) + " but the directory holds " +
                           reader_open::GroupedCount(count + more));
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

bool ReadPk3(FILE* f, Pk3Archive* pk3, std::string* why) {
  const int64_t length = source_file::Length(f);
  if (length < 0) return Refuse(why, reader_open::kUnreadable);
  const uint64_t fileLength = static_cast<uint64_t>(length);
  uint64_t endPosition = 0;
  if (!FindEndRecord(f, fileLength, pk3->endRecord, &endPosition, why)) return false;
  CentralDirectory cd;
  return DescribeCentralDirectory(f, fileLength, pk3->endRecord, endPosition, &cd, why) &&
         ReadCentralDirectory(f, fileLength, cd, pk3, why);
}

}  // namespace

Pk3Archive* Pk3Open(const char* path, std::string* why) {
  if (why) why->clear();
  if (path == nullptr) return nullptr;
  FILE* f = reader_open::OpenForReading(path, why);
  if (f == nullptr) return nullptr;
  Pk3Archive* pk3 = static_cast<Pk3Archive*>(std::calloc(1, sizeof(Pk3Archive)));
  if (pk3 == nullptr) {
    Refuse(why, reader_open::kNoMemory);
    std::fclose(f);
    return nullptr;
  }
  if (ReadPk3(f, pk3, why)) {
    pk3->path = CopyString(path);
    if (pk3->path == nullptr) Refuse(why, reader_open::kNoMemory);
  }
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
  FreePk3Sharing(archive->sharing);
  FreeRecords(archive);
  std::free(archive->path);
  std::free(archive);
}
