#include "archive/pk3_writer.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "archive/crc32.h"
#include "archive/deflate.h"
#include "archive/entry_data.h"
#include "archive/pak_writer.h"
#include "archive/save_message.h"
#include "archive/writer_shared.h"

namespace {

constexpr uint16_t kVersion = 20;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
// The stored path and its NUL: the name length field is 16-bit.
constexpr size_t kPathBufferSize = 65535;

// Bits 1 and 2 of the general-purpose flags by level, and back.
constexpr uint16_t kFlagsForLevel[10] = {0, 6, 6, 4, 4, 0, 0, 0, 2, 2};
constexpr int kLevelForFlags[8] = {6, 0, 9, 0, 3, 0, 1, 0};

struct EntryFields {
  uint16_t flags;
  uint16_t method;
  uint32_t dosDateTime;
  uint32_t crc;
  uint32_t compressedSize;
  uint32_t uncompressedSize;
  // Taken over from a source record, so that the system that made the entry still reads
  // its name and attributes the same way; zero for entries made here.
  uint16_t madeBy;
  uint16_t internalAttributes;
  uint32_t externalAttributes;
};

// True when text holds bytes beyond ASCII and all of them form valid UTF-8 sequences.
bool IsNonAsciiUtf8(const char* text, size_t length) {
  bool beyondAscii = false;
  for (size_t i = 0; i < length;) {
    const uint8_t c = static_cast<uint8_t>(text[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    beyondAscii = true;
    const size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (n == 0 || (n == 3 && c > 0xEF) || n > length - i) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<uint8_t>(text[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return beyondAscii;
}

// The bytes of one file on their way out; whatever blocks they came in are freed with it.
struct FileData {
  EntryBytes plain{nullptr, 0, false};
  uint8_t* packed = nullptr;  // compressed form made or copied here
  const uint8_t* bytes = nullptr;
  FileData() = default;
  FileData(const FileData&) = delete;
  FileData& operator=(const FileData&) = delete;
  ~FileData() {
    ReleaseEntryBytes(&plain);
    std::free(packed);
  }
};

void PutFields(uint8_t* h, int flags, int method, int time, int date, int crc, int compressed,
               int uncompressed, const EntryFields& f) {
  PutLE16(h + flags, f.flags);
  PutLE16(h + method, f.method);
  PutLE16(h + time, static_cast<uint16_t>(f.dosDateTime));
  PutLE16(h + date, static_cast<uint16_t>(f.dosDateTime >> 16));
  PutLE32(h + crc, f.crc);
  PutLE32(h + compressed, f.compressedSize);
  PutLE32(h + uncompressed, f.uncompressedSize);
}

// Writes the local header, the path and the bytes of the entry at the writer's path, and
// fills the next record. Null after showing the message.
Pk3CentralRecord* WriteEntry(SaveWindow& window, Pk3Writer& w, const EntryFields& f,
                             const uint8_t* bytes) {
  Pk3Archive* a = w.archive;
  const uint32_t used = a->TotalEntries();
  if (used >= w.capacity) {
    ShowSaveMessage(window, kMaxFilesMessage);
    return nullptr;
  }
  const uint32_t dataSize = f.uncompressedSize ? f.compressedSize : 0;
  if (!OutputHasRoom(&w.output, kZipLocalSize + w.pathLength + static_cast<uint64_t>(dataSize))) {
    ShowSaveMessagef(window, "Error writing %s", w.path);
    return nullptr;
  }
  char* name = static_cast<char*>(std::malloc(w.pathLength + 1));
  if (name == nullptr) {
    ShowSaveMessagef(window, "Error allocating memory for %s", w.path);
    return nullptr;
  }
  std::memcpy(name, w.path, w.pathLength + 1);

  Pk3CentralRecord* r = &a->records[used];
  r->name = name;
  // Counted as soon as it owns its name, so that closing the archive frees it.
  a->entryCount = used + 1;
  PutFields(r->header, zipc::kFlags, zipc::kMethod, zipc::kTime, zipc::kDate, zipc::kCrc32,
            zipc::kCompressedSize, zipc::kUncompressedSize, f);
  r->Set16(zipc::kNameLength, static_cast<uint16_t>(w.pathLength));
  r->Set32(zipc::kLocalHeaderOffset, static_cast<uint32_t>(w.output.position));
  r->Set16(zipc::kVersionMadeBy, f.madeBy ? f.madeBy : kVersion);
  r->Set16(zipc::kInternalAttributes, f.internalAttributes);
  r->Set32(zipc::kExternalAttributes, f.externalAttributes);

  uint8_t local[kZipLocalSize] = {};
  PutLE32(local + zipl::kSignature, kZipLocalSignature);
  PutLE16(local + zipl::kVersionNeeded, kVersion);
  PutFields(local, zipl::kFlags, zipl::kMethod, zipl::kTime, zipl::kDate, zipl::kCrc32,
            zipl::kCompressedSize, zipl::kUncompressedSize, f);
  PutLE16(local + zipl::kNameLength, static_cast<uint16_t>(w.pathLength));
  if (!OutputWrite(&w.output, local, sizeof local) || !OutputWrite(&w.output, w.path, w.pathLength) ||
      !OutputWrite(&w.output, bytes, dataSize)) {
    ShowSaveMessagef(window, "Error writing %s", w.path);
    return nullptr;
  }
  return r;
}

// Compresses n plain bytes at level; when that makes them smaller the entry is deflated.
// A failure to compress is no error: the entry is stored.
void TryCompress(FileData& data, uint32_t n, int level, EntryFields& f) {
  f.method = kStored;
  f.flags = 0;
  f.compressedSize = n;
  data.bytes = data.plain.data;
  uint8_t* packed = static_cast<uint8_t*>(std::malloc(n));
  if (packed == nullptr) return;
  uint32_t packedSize = n;
  if (!DeflateBuffer(packed, &packedSize, data.plain.data, n, level) || packedSize >= n) {
    std::free(packed);
    return;
  }
  data.packed = packed;
  data.bytes = packed;
  f.method = kDeflated;
  f.flags = Pk3FlagsForLevel(level);
  f.compressedSize = packedSize;
  // The plain form is not needed any more.
  ReleaseEntryBytes(&data.plain);
}

// Loads the entry's plain bytes; false after showing the message.
bool LoadPlain(SaveWindow& window, Pk3Writer& w, const ArchiveEntry* e, FileData& data) {
  const EntryLoad load = LoadEntryBytes(w.source, e, &data.plain);
  if (load != EntryLoad::Ok) {
    ShowLoadFailure(window, load, w.path, "");
    return false;
  }
  data.bytes = data.plain.data;
  return true;
}

// Copies a source entry's compressed bytes unchanged; false after showing the message.
bool LoadRaw(SaveWindow& window, Pk3Writer& w, Pk3Archive* pk3, int index, uint32_t size,
             FileData& data) {
  Pk3EntryData where;
  const EntryLoad located = Pk3LocateEntry(pk3, index, &where);
  if (located != EntryLoad::Ok || !Pk3RawFits(where)) {
    ShowLoadFailure(window, located == EntryLoad::Ok ? EntryLoad::ReadFailed : located, w.path, "");
    return false;
  }
  data.packed = static_cast<uint8_t*>(std::malloc(size));
  if (data.packed == nullptr) {
    ShowSaveMessagef(window, "Error allocating memory for %s", w.path);
    return false;
  }
  if (!Pk3ReadRaw(pk3, index, data.packed, size)) {
    ShowLoadFailure(window, EntryLoad::ReadFailed, w.path, "");
    return false;
  }
  data.bytes = data.packed;
  return true;
}

// Decides the fields and bytes of an entry of the document's PK3 source.
bool PreparePk3Source(SaveWindow& window, Pk3Writer& w, const ArchiveEntry* e, EntryFields& f,
                      FileData& data) {
  Pk3Archive* pk3 = DocumentPk3(w.source);
  const int index = Pk3EntryIndex(pk3, e->pk3Record);
  if (index < 0) {
    ShowSaveMessagef(window, "No such file %s", w.path);
    return false;
  }
  const Pk3CentralRecord& r = pk3->records[index];
  const EntryLoad readable = Pk3RecordReadable(r);
  if (readable != EntryLoad::Ok) {
    ShowLoadFailure(window, readable, w.path, "");
    return false;
  }
  const uint32_t size = r.Get32(zipc::kUncompressedSize);
  f.uncompressedSize = size;
  f.madeBy = r.Get16(zipc::kVersionMadeBy);
  f.internalAttributes = r.Get16(zipc::kInternalAttributes);
  f.externalAttributes = r.Get32(zipc::kExternalAttributes);
  f.crc = r.Get32(zipc::kCrc32);
  f.dosDateTime = static_cast<uint32_t>(r.Get16(zipc::kDate)) << 16 | r.Get16(zipc::kTime);
  f.method = kStored;
  f.flags = 0;
  f.compressedSize = size;
  if (w.progress) w.progress->ShowItem(w.path, size);
  if (size == 0) return true;
  if (w.level == 0) return LoadPlain(window, w, e, data);

  const uint16_t flags = r.Get16(zipc::kFlags);
  const uint32_t compressed = r.Get32(zipc::kCompressedSize);
  if (r.Get16(zipc::kMethod) == kDeflated && Pk3LevelForFlags(flags) > w.level) {
    // Compressed harder than asked: keep the compressed bytes as they are, unless they
    // are no smaller than the plain ones, which are then stored.
    if (compressed >= size) return LoadPlain(window, w, e, data);
    // Only bytes that really are deflate data can be copied as such: a local header that
    // says stored holds plain bytes, which are compressed like any other.
    Pk3EntryData where;
    if (Pk3LocateEntry(pk3, index, &where) == EntryLoad::Ok && where.deflated) {
      if (!LoadRaw(window, w, pk3, index, compressed, data)) return false;
      f.method = kDeflated;
      f.flags = flags;
      f.compressedSize = compressed;
      return true;
    }
  }
  if (!LoadPlain(window, w, e, data)) return false;
  TryCompress(data, size, w.level, f);
  return true;
}

// Decides the fields and bytes of a PAK or memory entry: compressed anew, current time.
bool PrepareOther(SaveWindow& window, Pk3Writer& w, const ArchiveEntry* e, EntryFields& f,
                  FileData& data) {
  uint32_t size = 0;
  if (!EntryByteSize(w.source, e, &size)) {
    ShowSaveMessagef(window, "No such file %s", w.path);
    return false;
  }
  f.uncompressedSize = size;
  f.dosDateTime = DosDateTimeNow();
  f.method = kStored;
  f.flags = 0;
  f.crc = 0;
  f.compressedSize = size;
  if (w.progress) w.progress->ShowItem(w.path, size);
  if (size == 0) return true;
  if (!LoadPlain(window, w, e, data)) return false;
  f.crc = Crc32(data.plain.data, size);
  if (w.level > 0) TryCompress(data, size, w.level, f);
  return true;
}

bool WriteFile(SaveWindow& window, Pk3Writer& w, ArchiveEntry* e) {
  const size_t parentLength = w.pathLength;
  if (!AppendPath(w.path, w.pathLength, kPathBufferSize, e->name, false)) {
    ShowSaveMessage(window, kMaxPathMessage);
    return false;
  }
  EntryFields f{};
  FileData data;
  const bool fromPk3 = IsKind(e, EntryKind::Pk3File);
  const bool ready = fromPk3 ? PreparePk3Source(window, w, e, f, data) : PrepareOther(window, w, e, f, data);
  // Sizes are written before the data, so no descriptor follows it; a name that was UTF-8
  // stays marked as such as long as it still is.
  f.flags &= static_cast<uint16_t>(~(kZipFlagDescriptor | kZipFlagUtf8));
  if (ready && fromPk3 && (e->pk3Record->Get16(zipc::kFlags) & kZipFlagUtf8) &&
      IsNonAsciiUtf8(w.path, w.pathLength))
    f.flags |= kZipFlagUtf8;
  Pk3CentralRecord* record = ready ? WriteEntry(window, w, f, data.bytes) : nullptr;
  CutPath(w.path, w.pathLength, parentLength);
  if (record == nullptr) return false;

  PointAtWritten(e, EntryKind::Pk3File, nullptr, record);
  if (w.progress) {
    w.progress->Step();
    // Stopped on request: abandoned like a failure whose message was shown already.
    if (w.progress->Cancelled()) return false;
  }
  return true;
}

bool WriteCentralDirectory(Pk3Writer& w) {
  const uint32_t count = w.archive->TotalEntries();
  for (uint32_t i = 0; i < count; ++i) {
    const Pk3CentralRecord& r = w.archive->records[i];
    const uint16_t nameLength = r.Get16(zipc::kNameLength);
    if (!OutputHasRoom(&w.output, kZipCentralSize + static_cast<uint64_t>(nameLength)) ||
        !OutputWrite(&w.output, r.header, kZipCentralSize) || !OutputWrite(&w.output, r.name, nameLength))
      return false;
  }
  return true;
}

bool WriteEndRecord(Pk3Writer& w, uint64_t centralOffset) {
  uint8_t* end = w.archive->endRecord;
  // The node limit keeps the count within the 16-bit fields.
  PutLE16(end + zipe::kEntriesOnDisk, static_cast<uint16_t>(w.archive->TotalEntries()));
  PutLE16(end + zipe::kTotalEntries, static_cast<uint16_t>(w.archive->TotalEntries()));
  PutLE32(end + zipe::kCentralSize, static_cast<uint32_t>(w.output.position - centralOffset));
  PutLE32(end + zipe::kCentralOffset, static_cast<uint32_t>(centralOffset));
  return OutputHasRoom(&w.output, kZipEndSize) && OutputWrite(&w.output, end, kZipEndSize) &&
         OutputClose(&w.output);
}

// Makes the archive to write with one record slot per node below the root.
const char* CreateArchive(Pk3Writer& w, ArchiveNode* copy) {
  const uint32_t nodes = TreeCountNodes(copy);
  // The 16-bit entry counts cannot go further, and 0xFFFF stands for ZIP64.
  if (nodes > kPk3MaxNodes) return kMaxFilesMessage;
  w.archive = static_cast<Pk3Archive*>(std::calloc(1, sizeof(Pk3Archive)));
  if (w.archive == nullptr) return "Error creating PK3";
  PutLE32(w.archive->endRecord + zipe::kSignature, kZipEndSignature);
  w.capacity = nodes - 1;
  if (w.capacity == 0) return nullptr;
  w.archive->records = static_cast<Pk3CentralRecord*>(std::calloc(w.capacity, sizeof(Pk3CentralRecord)));
  if (w.archive->records == nullptr) return "Error creating PK3";
  for (uint32_t i = 0; i < w.capacity; ++i) {
    Pk3CentralRecord& r = w.archive->records[i];
    r.Set32(zipc::kSignature, kZipCentralSignature);
    r.Set16(zipc::kVersionMadeBy, kVersion);
    r.Set16(zipc::kVersionNeeded, kVersion);
  }
  return nullptr;
}

// The steps from creating the file to reopening it. Null on success, or the failure's
// message: empty when it was shown already, "%s" formats take the path.
const char* WriteArchive(SaveWindow& window, Pk3Writer& w, ArchiveNode* copy, const char* path) {
  if (!OutputCreate(&w.output, path, w.output.limit)) return "Error opening %s";
  window.Repaint();
  w.progress = window.OpenProgress(TreeCountLeaves(copy));
  w.path = static_cast<char*>(std::malloc(kPathBufferSize));
  if (w.path == nullptr) return "Error allocating memory";
  w.path[0] = '\0';
  if (!Pk3WriteNode(window, w, copy)) return "";
  const uint64_t centralOffset = w.output.position;
  if (!WriteCentralDirectory(w)) return "Error writing PK3 central directory";
  if (!WriteEndRecord(w, centralOffset)) return "Error writing PK3 end of directory";
  return ReopenSaved(w.archive->file, w.archive->path, path);
}

}  // namespace

uint16_t Pk3FlagsForLevel(int level) {
  if (level < 0) level = 0;
  if (level > 9) level = 9;
  return kFlagsForLevel[level];
}

int Pk3LevelForFlags(uint16_t flags) { return flags < 8 ? kLevelForFlags[flags] : 0; }

uint32_t DosDateTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  if (localtime_s(&local, &now) != 0) return 0;
#else
  if (localtime_r(&now, &local) == nullptr) return 0;
#endif
  // The year field counts 7 bits from 1980; a clock outside that span is held at its ends.
  int year = local.tm_year + 1900 - 1980;
  if (year < 0) year = 0;
  if (year > 127) year = 127;
  const uint32_t date = static_cast<uint32_t>(year << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
  const uint32_t time = static_cast<uint32_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
  return date << 16 | time;
}

int Pk3WriteNode(SaveWindow& window, Pk3Writer& w, ArchiveNode* top) {
  return WriteTree(
      window, top, w.path, w.pathLength, kPathBufferSize,
      [&](const ArchiveNode*) {
        // Every directory has an entry of its own, before its contents. Its name is read as
        // UTF-8 when the archive it came from named its entries so.
        const bool utf8 = w.utf8Source && IsNonAsciiUtf8(w.path, w.pathLength);
        const EntryFields f{static_cast<uint16_t>(utf8 ? kZipFlagUtf8 : 0), kStored, DosDateTimeNow(), 0, 0, 0, 0, 0, 0};
        return WriteEntry(window, w, f, nullptr) != nullptr;
      },
      [&](ArchiveEntry* e) { return WriteFile(window, w, e); });
}

Pk3Archive* Pk3Save(SaveWindow& window, ArchiveDocument* doc, const char* path, int level,
                    ArchiveNode** unmapped) {
  return Pk3SaveLimited(window, doc, path, level, kArchiveSizeLimit, unmapped);
}

Pk3Archive* Pk3SaveLimited(SaveWindow& window, ArchiveDocument* doc, const char* path, int level,
                           uint64_t sizeLimit, ArchiveNode** unmapped) {
  ArchiveNode* copy = CopyForSave(window, doc);
  if (copy == nullptr) return nullptr;
  Pk3Writer w{};
  w.source = doc;
  if (const Pk3Archive* pk3 = doc ? DocumentPk3(doc) : nullptr) {
    for (uint32_t i = 0; i < pk3->TotalEntries() && !w.utf8Source; ++i)
      w.utf8Source = (pk3->records[i].Get16(zipc::kFlags) & kZipFlagUtf8) != 0;
  }
  w.level = level < 0 ? 0 : (level > 9 ? 9 : level);
  w.output.limit = sizeLimit;
  const char* message = CreateArchive(w, copy);
  if (message == nullptr) message = WriteArchive(window, w, copy, path ? path : "");
  if (w.progress) w.progress->Close();
  std::free(w.path);
  if (EndSave(doc, copy, &w.output, message, unmapped)) return w.archive;
  // The archive holds the written file open once it was reopened: closed first, so that
  // the file can go.
  Pk3Close(w.archive);
  OutputRemove(&w.output);
  ShowSaveFailure(window, message, path ? path : "");
  return nullptr;
}
