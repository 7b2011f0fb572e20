#include "archive/pk3_writer.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "archive/entry_data.h"
#include "archive/save_message.h"
#include "archive/save_pipeline.h"
#include "archive/writer_shared.h"

namespace {

constexpr uint16_t kVersion = 20;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
// The stored path and its NUL: the name length field is 16-bit.
constexpr size_t kPathBufferSize = 65535;

// Bits 1 and 2 of the general-purpose flags by level, and back.

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

// The state of one PK3 save.
struct Pk3Writer {
  Pk3Archive* archive;  // being written: records fill in walk order, counted by its end record
  uint32_t capacity;    // record slots made
  ArchiveOutput output;
  const ArchiveDocument* source;  // whose source the entries' bytes are read from
  SaveProgress* progress;         // null when the dialog could not be shown
  int level;
  char* path;  // 65535-byte buffer: stored path of the current directory, with its "/"
  size_t pathLength;
  bool utf8Source;  // the source archive names some entries in UTF-8
  SaveQueue* queue;
  uint8_t* copyBuffer;  // for compressed bytes copied from the source
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

// One entry on its way into the archive: a directory, or a file whose bytes a worker
// prepares or that are copied from the source as they lie.
struct Pk3Item : SaveItem {
  EntryFields f{};
  ArchiveEntry* entry = nullptr;  // the working copy's file entry; null for a directory
  bool raw = false;   // the source's compressed bytes, at work.where, are copied unchanged
  bool utf8 = false;  // the name stays marked as UTF-8
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

// Writes the local header, the path and the bytes of the entry (bytes, or the source's
// compressed bytes for a raw copy), and fills the next record. Null after showing the
// message.
Pk3CentralRecord* WriteEntry(SaveWindow& window, Pk3Writer& w, const Pk3Item& item, const EntryFields& f,
                             const uint8_t* bytes) {
  Pk3Archive* a = w.archive;
  const uint32_t used = a->TotalEntries();
  const char* path = item.path.c_str();
  const size_t pathLength = item.path.size();
  if (used >= w.capacity) {
    ShowSaveMessage(window, kMaxFilesMessage);
    return nullptr;
  }
  const uint32_t dataSize = f.uncompressedSize ? f.compressedSize : 0;
  if (!OutputHasRoom(&w.output, kZipLocalSize + pathLength + static_cast<uint64_t>(dataSize))) {
    ShowSaveFailure(window, "Error writing %s", path);
    return nullptr;
  }
  char* name = static_cast<char*>(std::malloc(pathLength + 1));
  if (name == nullptr) {
    ShowSaveFailure(window, "Error allocating memory for %s", path);
    return nullptr;
  }
  std::memcpy(name, path, pathLength + 1);

  Pk3CentralRecord* r = &a->records[used];
  r->name = name;
  // Counted as soon as it owns its name, so that closing the archive frees it.
  a->entryCount = used + 1;
  PutFields(r->header, zipc::kFlags, zipc::kMethod, zipc::kTime, zipc::kDate, zipc::kCrc32,
            zipc::kCompressedSize, zipc::kUncompressedSize, f);
  r->Set16(zipc::kNameLength, static_cast<uint16_t>(pathLength));
  r->Set32(zipc::kLocalHeaderOffset, static_cast<uint32_t>(w.output.position));
  r->Set16(zipc::kVersionMadeBy, f.madeBy ? f.madeBy : kVersion);
  r->Set16(zipc::kInternalAttributes, f.internalAttributes);
  r->Set32(zipc::kExternalAttributes, f.externalAttributes);

  uint8_t local[kZipLocalSize] = {};
  PutLE32(local + zipl::kSignature, kZipLocalSignature);
  PutLE16(local + zipl::kVersionNeeded, kVersion);
  PutFields(local, zipl::kFlags, zipl::kMethod, zipl::kTime, zipl::kDate, zipl::kCrc32,
            zipl::kCompressedSize, zipl::kUncompressedSize, f);
  PutLE16(local + zipl::kNameLength, static_cast<uint16_t>(pathLength));
  if (!OutputWrite(&w.output, local, sizeof local) || !OutputWrite(&w.output, path, pathLength)) {
    ShowSaveFailure(window, "Error writing %s", path);
    return nullptr;
  }
  if (item.raw) {
    const CopyResult copied = CopySourceBytes(DocumentPk3(w.source)->file, item.work.where.offset, dataSize,
                                              &w.output, w.copyBuffer, kCopyBufferSize);
    if (copied == CopyResult::ReadFailed) {
      ShowLoadFailure(window, EntryLoad::ReadFailed, path, "");
      return nullptr;
    }
    if (copied == CopyResult::Ok) return r;
  } else if (OutputWrite(&w.output, bytes, dataSize)) {
    return r;
  }
  ShowSaveFailure(window, "Error writing %s", path);
  return nullptr;
}

// Writes an entry whose work is done; false after showing the message.
bool WriteItem(SaveWindow& window, Pk3Writer& w, SaveItem& queued) {
  Pk3Item& item = static_cast<Pk3Item&>(queued);
  if (item.entry == nullptr) return WriteEntry(window, w, item, item.f, nullptr) != nullptr;
  const EntryWork& work = item.work;
  if (work.load != EntryLoad::Ok) {
    ShowLoadFailure(window, work.load, item.path.c_str(), "");
    return false;
  }
  EntryFields f = item.f;
  const uint8_t* bytes = nullptr;
  if (!item.raw && f.uncompressedSize != 0) {
    if (work.computeCrc) f.crc = work.crc;
    if (work.packed != nullptr) {
      f.method = kDeflated;
      f.flags = Pk3FlagsForLevel(work.level);
      f.compressedSize = work.packedSize;
      bytes = work.packed;
    } else {
      f.method = kStored;
      f.flags = 0;
      f.compressedSize = f.uncompressedSize;
      bytes = work.plain.data;
    }
  }
  // Sizes are written before the data, so no descriptor follows it; a name that was UTF-8
  // stays marked as such as long as it still is.
  f.flags &= static_cast<uint16_t>(~(kZipFlagDescriptor | kZipFlagUtf8));
  if (item.utf8) f.flags |= kZipFlagUtf8;
  Pk3CentralRecord* record = WriteEntry(window, w, item, f, bytes);
  if (record == nullptr) return false;
  PointAtWritten(item.entry, EntryKind::Pk3File, nullptr, record);
  return true;
}

// Queues a file whose bytes a worker makes ready (cost and work set), reading what the
// work starts from first. False when the save stopped.
bool QueueWork(SaveWindow& window, Pk3Writer& w, std::unique_ptr<Pk3Item> item,
               EntryLoad (*read)(Pk3Writer&, const ArchiveEntry*, EntryWork&)) {
  const auto write = [&](SaveItem& i) { return WriteItem(window, w, i); };
  item->cost = item->work.Cost(item->size) + (item->work.decode ? item->work.where.compressedSize : item->size);
  if (!w.queue->MakeRoom(item->cost, write)) return false;
  item->work.load = read(w, item->entry, item->work);
  item->needsWork = item->work.load == EntryLoad::Ok;
  w.queue->Push(std::move(item));
  return true;
}

bool QueueReady(SaveWindow& window, Pk3Writer& w, std::unique_ptr<Pk3Item> item) {
  if (!w.queue->MakeRoom(0, [&](SaveItem& i) { return WriteItem(window, w, i); })) return false;
  w.queue->Push(std::move(item));
  return true;
}

// Queues an entry whose compressed bytes are copied as they lie. They are still inflated and
// checked against the CRC-32 first, by a worker reading them from the source in pieces, so
// that a damaged entry stops the save as one being recompressed would; the copy itself
// streams them from the source once its turn comes. False when the save stopped.
bool QueueVerified(SaveWindow& window, Pk3Writer& w, std::unique_ptr<Pk3Item> item) {
  EntryWork& work = item->work;
  const Pk3Archive* pk3 = DocumentPk3(w.source);
  work.verifyStored = true;
  work.crc = item->f.crc;
  work.sourceFile = pk3->file;
  work.sourcePath = pk3->path;
  // Nothing of the entry is held, but counting its stored size keeps the look-ahead of the
  // checks within the budget's reach of the copying.
  item->cost = work.where.compressedSize;
  if (!w.queue->MakeRoom(item->cost, [&](SaveItem& i) { return WriteItem(window, w, i); })) return false;
  item->needsWork = true;
  w.queue->Push(std::move(item));
  return true;
}

// A PK3 source entry's stored bytes, inflated and checked by the worker.
EntryLoad ReadStored(Pk3Writer& w, const ArchiveEntry*, EntryWork& work) {
  return Pk3ReadStored(DocumentPk3(w.source), work.where, &work.input);
}

// Any other entry's plain bytes: read from a PAK source, or lent by a memory file.
EntryLoad ReadPlain(Pk3Writer& w, const ArchiveEntry* e, EntryWork& work) {
  return LoadEntryBytes(w.source, e, &work.input);
}

// Queues an entry of the document's PK3 source: its stamp, CRC-32 and attributes stay;
// its compressed bytes are copied as they lie when it was compressed at least as hard as
// asked, else it is inflated and compressed anew.
bool QueuePk3Source(SaveWindow& window, Pk3Writer& w, std::unique_ptr<Pk3Item> item) {
  Pk3Archive* pk3 = DocumentPk3(w.source);
  const int index = Pk3EntryIndex(pk3, item->entry->pk3Record);
  if (index < 0) return w.queue->Refuse(std::move(item), "No such file %s");
  const Pk3CentralRecord& r = pk3->records[index];
  item->refusal = Pk3RecordReadable(r);
  if (item->refusal != EntryLoad::Ok) return w.queue->Refuse(std::move(item), nullptr);
  const uint32_t size = r.Get32(zipc::kUncompressedSize);
  EntryFields& f = item->f;
  f.uncompressedSize = size;
  f.madeBy = r.Get16(zipc::kVersionMadeBy);
  f.internalAttributes = r.Get16(zipc::kInternalAttributes);
  f.externalAttributes = r.Get32(zipc::kExternalAttributes);
  f.crc = r.Get32(zipc::kCrc32);
  f.dosDateTime = static_cast<uint32_t>(r.Get16(zipc::kDate)) << 16 | r.Get16(zipc::kTime);
  f.method = kStored;
  f.flags = 0;
  f.compressedSize = size;
  item->size = size;
  item->utf8 = (r.Get16(zipc::kFlags) & kZipFlagUtf8) && IsNonAsciiUtf8(item->path.c_str(), item->path.size());
  if (size == 0) {
    item->refusal = Pk3EmptyEntryCheck(r);
    if (item->refusal != EntryLoad::Ok) return w.queue->Refuse(std::move(item), nullptr);
    return QueueReady(window, w, std::move(item));
  }

  EntryWork& work = item->work;
  work.load = Pk3LocateEntry(pk3, index, &work.where);
  if (work.load != EntryLoad::Ok) return QueueReady(window, w, std::move(item));
  work.level = w.level;
  const uint16_t flags = r.Get16(zipc::kFlags);
  const uint32_t compressed = r.Get32(zipc::kCompressedSize);
  if (w.level > 0 && r.Get16(zipc::kMethod) == kDeflated && Pk3LevelForFlags(flags) >= w.level) {
    // Compressed at least as hard as asked: recompressing could gain nothing worth the
    // time, so the compressed bytes are kept as they are, unless they are no smaller than
    // the plain ones, which are then stored. Only bytes that really are deflate data can
    // be copied as such: a local header that says stored holds plain bytes, which are
    // compressed like any other.
    if (compressed >= size) {
      work.level = 0;
    } else if (work.where.deflated) {
      item->raw = true;
      f.method = kDeflated;
      f.flags = flags;
      f.compressedSize = compressed;
      if (!Pk3RawFits(work.where)) {
        work.load = EntryLoad::ReadFailed;
        return QueueReady(window, w, std::move(item));
      }
      return QueueVerified(window, w, std::move(item));
    }
  }
  work.decode = true;
  work.crc = f.crc;
  return QueueWork(window, w, std::move(item), ReadStored);
}

// Queues a PAK or memory entry: compressed anew, stamped with the current time.
bool QueueOther(SaveWindow& window, Pk3Writer& w, std::unique_ptr<Pk3Item> item) {
  uint32_t size = 0;
  if (!EntryByteSize(w.source, item->entry, &size)) return w.queue->Refuse(std::move(item), "No such file %s");
  EntryFields& f = item->f;
  f.uncompressedSize = size;
  f.dosDateTime = DosDateTimeNow();
  f.method = kStored;
  f.flags = 0;
  f.crc = 0;
  f.compressedSize = size;
  item->size = size;
  if (size == 0) return QueueReady(window, w, std::move(item));
  item->work.computeCrc = true;
  item->work.level = w.level;
  return QueueWork(window, w, std::move(item), ReadPlain);
}

bool QueueFile(SaveWindow& window, Pk3Writer& w, ArchiveEntry* e) {
  auto item = std::make_unique<Pk3Item>();
  item->file = true;
  item->entry = e;
  item->path.assign(w.path, w.pathLength);
  item->path += e->name ? e->name : "";
  if (item->path.size() >= kPathBufferSize) return w.queue->Refuse(std::move(item), kMaxPathMessage);
  if (IsKind(e, EntryKind::Pk3File)) return QueuePk3Source(window, w, std::move(item));
  return QueueOther(window, w, std::move(item));
}

// Every directory has an entry of its own, before its contents. Its name is read as UTF-8
// when the archive it came from named its entries so.
bool QueueDirectory(SaveWindow& window, Pk3Writer& w) {
  auto item = std::make_unique<Pk3Item>();
  item->path.assign(w.path, w.pathLength);
  const bool utf8 = w.utf8Source && IsNonAsciiUtf8(w.path, w.pathLength);
  item->f = EntryFields{static_cast<uint16_t>(utf8 ? kZipFlagUtf8 : 0), kStored, DosDateTimeNow(), 0, 0, 0, 0, 0, 0};
  return QueueReady(window, w, std::move(item));
}

// Queues and writes node and everything below it in walk order, each directory's own
// entry before its contents. The working copy's file entries are re-pointed at the records
// written. False after showing the message, or when cancelled.
bool WriteEntries(SaveWindow& window, Pk3Writer& w, ArchiveNode* top, unsigned threads) {
  SaveQueue queue(window, w.progress, threads);
  w.queue = &queue;
  const int walked = WriteTree(
      top, w.path, w.pathLength, kPathBufferSize, [&](const ArchiveNode*) { return QueueDirectory(window, w); },
      [&](ArchiveEntry* e) { return QueueFile(window, w, e); },
      [&](const char* message) { queue.Refuse(std::make_unique<Pk3Item>(), message); });
  // A walk that stopped left the entry that failed last in the queue, unless writing an
  // earlier one stopped it; either way nothing is written after it.
  const bool drained = queue.Drain([&](SaveItem& i) { return WriteItem(window, w, i); });
  w.queue = nullptr;
  return walked && drained;
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
const char* WriteArchive(SaveWindow& window, Pk3Writer& w, ArchiveNode* copy, const char* path,
                         unsigned threads) {
  if (!OutputCreate(&w.output, path, w.output.limit)) return "Error opening %s";
  window.Repaint();
  w.progress = window.OpenProgress(TreeCountLeaves(copy));
  w.path = static_cast<char*>(std::malloc(kPathBufferSize));
  if (w.path == nullptr) return "Error allocating memory";
  w.path[0] = '\0';
  w.copyBuffer = static_cast<uint8_t*>(std::malloc(kCopyBufferSize));
  if (w.copyBuffer == nullptr) return "Error allocating memory";
  if (!WriteEntries(window, w, copy, threads)) return "";
  const uint64_t centralOffset = w.output.position;
  if (!WriteCentralDirectory(w)) return "Error writing PK3 central directory";
  if (!WriteEndRecord(w, centralOffset)) return "Error writing PK3 end of directory";
  return ReopenSaved(w.archive->file, w.archive->path, path);
}

}  // namespace


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

Pk3Archive* Pk3Save(SaveWindow& window, ArchiveDocument* doc, const char* path, int level,
                    ArchiveNode** unmapped) {
  return Pk3SaveLimited(window, doc, path, level, kArchiveSizeLimit, unmapped);
}

Pk3Archive* Pk3SaveLimited(SaveWindow& window, ArchiveDocument* doc, const char* path, int level,
                           uint64_t sizeLimit, ArchiveNode** unmapped, unsigned threads) {
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
  if (message == nullptr) message = WriteArchive(window, w, copy, path ? path : "", threads);
  if (w.progress) w.progress->Close();
  std::free(w.path);
  std::free(w.copyBuffer);
  if (EndSave(doc, copy, &w.output, message, unmapped)) return w.archive;
  // The archive holds the written file open once it was reopened: closed first, so that
  // the file can go.
  Pk3Close(w.archive);
  OutputRemove(&w.output);
  ShowSaveFailure(window, message, path ? path : "");
  return nullptr;
}
