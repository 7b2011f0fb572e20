// Writing a tree as a ZIP file: a local header and the bytes of each entry in archive order
// (every directory with an entry of its own, before its contents), then the central
// directory and the end record.
#include "archive/zip_writer.h"

#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/formats_internal.h"
#include "archive/part_deflater.h"
#include "archive/source_file.h"
#include "archive/stored_reading.h"
#include "archive/writer_shared.h"
#include "archive/zip64_extra.h"
#include "archive/zip_records.h"
#include "archive/zip_source.h"

namespace {

constexpr uint16_t kVersion = 20;
// The system an entry was made on, in the high byte of "version made by": FAT (DOS), or
// NTFS. An entry given a UTF-8 name here says NTFS, since Info-ZIP's unzip reads the names of
// entries made on FAT as code page 437 whatever their flag says; both systems' attributes
// read as DOS ones.
constexpr uint16_t kMadeOnFat = 0, kMadeOnNtfs = 11;
// The longest stored path: the name length field is 16-bit.
constexpr size_t kMaxPath = 65534;

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

// The state of one ZIP save.
struct ZipWriter {
  const WriteJob& job;
  ZipSource* zipSource;  // the source when it is a ZIP file, whose records are kept
  ArchiveOutput output{};
  std::vector<ZipRecord> records;  // written so far, in order
  uint32_t capacity = 0;          // records the tree needs
  int level = 6;
  bool cp437Source = false;  // the source is a ZIP that names no entry in UTF-8
  SaveQueue* queue = nullptr;
  std::vector<uint8_t> copyBuffer;  // for compressed bytes copied from the source
  WrittenEntries* written;
  // The source's folder entries by their path as the tree would give it but for case.
  std::unordered_map<std::string, uint32_t> folderRecords;
  SaveProgress* progress = nullptr;
};

// One entry on its way into the archive: a directory, or a file whose bytes a worker
// prepares or that are copied from the source as they lie.
struct ZipItem : SaveItem {
  EntryFields f{};
  NodeId node = kNoNode;  // the file's node; none for a directory
  bool raw = false;   // the source's compressed bytes, at work.where, are copied unchanged
  std::string name;   // the bytes of the stored path
  bool utf8 = false;  // the name is marked as UTF-8
  bool nameChosen = false;  // the name's bytes are not the source's own
  // Taken over from the source's record of an entry: its extra fields (central and local)
  // and the version it needs to be read; none for entries made here.
  std::string centralExtra, localExtra;
  uint16_t versionNeeded = 0;
  uint16_t sourceFlags = 0;  // the flags of the source's record, for its bytes kept as they lie
};

// Another name than the source's makes its Info-ZIP Unicode path field wrong.
constexpr uint16_t kUnicodePathExtraId = 0x7075;

void PutFields(uint8_t* h, int flags, int method, int time, int date, int crc, int compressed, int uncompressed,
               const EntryFields& f) {
  PutLE16(h + flags, f.flags);
  PutLE16(h + method, f.method);
  PutLE16(h + time, static_cast<uint16_t>(f.dosDateTime));
  PutLE16(h + date, static_cast<uint16_t>(f.dosDateTime >> 16));
  PutLE32(h + crc, f.crc);
  PutLE32(h + compressed, f.compressedSize);
  PutLE32(h + uncompressed, f.uncompressedSize);
}

// The version of the format an entry needs to be read: the source's record's while the
// entry needs no more (stored bytes are version 1.0); deflated bytes need 2.0.
uint16_t VersionNeeded(const ZipItem& item, const EntryFields& f) {
  if (f.method == kZipDeflated) return kVersion;
  return item.versionNeeded && item.versionNeeded < kVersion ? item.versionNeeded : kVersion;
}

void FillLocalHeader(uint8_t* local, const ZipItem& item, const EntryFields& f) {
  std::memset(local, 0, kZipLocalSize);
  PutLE32(local + zipl::kSignature, kZipLocalSignature);
  PutLE16(local + zipl::kVersionNeeded, VersionNeeded(item, f));
  PutFields(local, zipl::kFlags, zipl::kMethod, zipl::kTime, zipl::kDate, zipl::kCrc32, zipl::kCompressedSize,
            zipl::kUncompressedSize, f);
  PutLE16(local + zipl::kNameLength, static_cast<uint16_t>(item.name.size()));
  PutLE16(local + zipl::kExtraLength, static_cast<uint16_t>(item.localExtra.size()));
}

// Writes the local header and the path of an entry of dataSize bytes. False when the entry
// would not fit the archive.
Failure WriteLocalHeader(ZipWriter& w, const ZipItem& item, const EntryFields& f, uint64_t dataSize) {
  if (w.records.size() >= w.capacity) return Fail(Problem::TooManyFiles);
  if (!OutputHasRoom(&w.output, kZipLocalSize + item.name.size() + item.localExtra.size() + dataSize))
    return Fail(Problem::WriteFailed, item.path);
  uint8_t local[kZipLocalSize];
  FillLocalHeader(local, item, f);
  if (!OutputWrite(&w.output, local, sizeof local) || !OutputWrite(&w.output, item.name.data(), item.name.size()) ||
      !OutputWrite(&w.output, item.localExtra.data(), item.localExtra.size()))
    return Fail(Problem::WriteFailed, item.path);
  return Failure();
}

// Adds the central record of the entry whose local header was written at offset.
void AddRecord(ZipWriter& w, const ZipItem& item, const EntryFields& f, uint64_t offset) {
  ZipRecord r;
  r.Set32(zipc::kSignature, kZipCentralSignature);
  r.Set16(zipc::kVersionNeeded, VersionNeeded(item, f));
  r.name = item.name;
  r.extra = item.centralExtra;
  r.Set16(zipc::kExtraLength, static_cast<uint16_t>(r.extra.size()));
  PutFields(r.header, zipc::kFlags, zipc::kMethod, zipc::kTime, zipc::kDate, zipc::kCrc32, zipc::kCompressedSize,
            zipc::kUncompressedSize, f);
  r.Set16(zipc::kNameLength, static_cast<uint16_t>(item.name.size()));
  r.Set32(zipc::kLocalHeaderOffset, static_cast<uint32_t>(offset));
  uint16_t madeBy = f.madeBy ? f.madeBy : kVersion;
  if (item.utf8 && item.nameChosen && madeBy >> 8 == kMadeOnFat) madeBy = static_cast<uint16_t>(kMadeOnNtfs << 8 | (madeBy & 0xFF));
  r.Set16(zipc::kVersionMadeBy, madeBy);
  r.Set16(zipc::kInternalAttributes, f.internalAttributes);
  r.Set32(zipc::kExternalAttributes, f.externalAttributes);
  if (item.node != kNoNode) w.written->files.emplace_back(item.node, static_cast<uint32_t>(w.records.size()));
  w.records.push_back(std::move(r));
}

// Copies the source's compressed bytes of an entry, as they lie.
Failure CopyRaw(ZipWriter& w, const ZipItem& item) {
  return CopyEntryBytes(w.job, item.work.where.offset, item.work.where.storedSize, &w.output, w.copyBuffer, item.path);
}

// Writes the local header, the path and the bytes of the entry (bytes, or the source's
// compressed bytes for a raw copy), and adds its record.
Failure WriteEntry(ZipWriter& w, const ZipItem& item, const EntryFields& f, const uint8_t* bytes) {
  const uint32_t dataSize = f.uncompressedSize ? f.compressedSize : 0;
  const uint64_t offset = w.output.position;
  Failure failure = WriteLocalHeader(w, item, f, dataSize);
  if (failure) return failure;
  if (item.raw) {
    failure = CopyRaw(w, item);
    if (failure) return failure;
  } else if (!OutputWrite(&w.output, bytes, dataSize)) {
    return Fail(Problem::WriteFailed, item.path);
  }
  AddRecord(w, item, f, offset);
  return Failure();
}

// The flags of an entry as written: sizes are written before the data, so no descriptor
// follows it, and the name's coding is the one chosen for it.
void SetNameFlags(const ZipItem& item, EntryFields* f) {
  f->flags &= static_cast<uint16_t>(~(kZipFlagDescriptor | kZipFlagUtf8));
  if (item.utf8) f->flags |= kZipFlagUtf8;
}

// Writes a large file streamed in pieces: its plain bytes go through the compression's
// parts on every core, or straight to the file when stored. Its sizes and CRC-32 are put in
// the local header once known. A compression that does not gain is undone: the entry's
// compressed bytes in the source, when smaller than the plain ones, are checked and copied
// as they lie; otherwise the plain bytes are stored.
Failure WriteStreamed(ZipWriter& w, const ZipItem& item) {
  const EntryWork& work = item.work;
  EntryFields f = item.f;
  const uint32_t size = f.uncompressedSize;
  const bool sourceDeflated = !work.input && work.where.deflated && work.where.storedSize < size;
  f.method = work.level > 0 ? kZipDeflated : kZipStored;
  SetNameFlags(item, &f);
  const uint64_t offset = w.output.position;
  Failure failure = WriteLocalHeader(w, item, f, 0);
  if (failure) return failure;
  const uint64_t dataStart = w.output.position;
  OutputSink out(&w.output);
  uint32_t crc = 0;
  bool cancelled = false;
  EntryLoad load = EntryLoad::Ok;
  bool compressed = false;
  if (work.level > 0) {
    PartDeflater deflater(work.level, SaveThreadsFor(w.job.threads), &out,
                          sourceDeflated ? work.where.storedSize : size);
    load = StreamFileBytes(w.job, item, w.progress, &deflater, &crc, &cancelled);
    PartDeflater::Status status = deflater.status();
    if (load == EntryLoad::Ok) status = deflater.Finish();
    const bool noGain = status == PartDeflater::Status::Reached || status == PartDeflater::Status::Failed;
    if (status == PartDeflater::Status::Done) {
      compressed = true;
      f.flags = static_cast<uint16_t>(ZipFlagsForLevel(work.level) | (f.flags & kZipFlagUtf8));
      f.compressedSize = static_cast<uint32_t>(deflater.produced());
    } else if (noGain && !cancelled) {
      if (!OutputCutBack(&w.output, dataStart)) return Fail(Problem::WriteFailed, item.path);
      out.failed = false;
      load = EntryLoad::Ok;
    } else if (status == PartDeflater::Status::Refused) {
      out.failed = true;
    }
    if (!compressed && load == EntryLoad::Ok && sourceDeflated) {
      // The source's own bytes, checked whole before they are copied.
      load = ReadStoredBytes(w.job.source->file(), work.where, nullptr);
      if (load != EntryLoad::Ok) return EntryFailure(Problem::LoadFailed, item.path, load);
      failure = CopyRaw(w, item);
      if (failure) return failure;
      f.method = kZipDeflated;
      f.flags = item.sourceFlags;
      SetNameFlags(item, &f);
      f.compressedSize = work.where.storedSize;
      crc = work.where.crc;
      compressed = true;
    }
  }
  if (!compressed && load == EntryLoad::Ok) {
    f.method = kZipStored;
    f.flags &= kZipFlagUtf8;
    f.compressedSize = size;
    load = StreamFileBytes(w.job, item, w.progress, &out, &crc, &cancelled);
  }
  if (load != EntryLoad::Ok) return StreamFailure(load, cancelled, out.failed, item.path);
  f.crc = crc;
  // The header goes in again with what is known now.
  const uint64_t end = w.output.position;
  uint8_t local[kZipLocalSize];
  FillLocalHeader(local, item, f);
  if (!OutputSeek(&w.output, offset) || !OutputWrite(&w.output, local, sizeof local) || !OutputSeek(&w.output, end))
    return Fail(Problem::WriteFailed, item.path);
  AddRecord(w, item, f, offset);
  return Failure();
}

// Writes an entry whose work is done.
Failure WriteItem(ZipWriter& w, SaveItem& queued) {
  ZipItem& item = static_cast<ZipItem&>(queued);
  if (item.node == kNoNode) return WriteEntry(w, item, item.f, nullptr);
  const EntryWork& work = item.work;
  if (work.load != EntryLoad::Ok) return EntryFailure(Problem::LoadFailed, item.path, work.load);
  if (item.streamed) return WriteStreamed(w, item);
  EntryFields f = item.f;
  const uint8_t* bytes = nullptr;
  if (!item.raw && f.uncompressedSize != 0) {
    if (work.computeCrc) f.crc = work.crc;
    if (work.stored) {
      f.method = kZipDeflated;
      f.flags = item.sourceFlags;
      f.compressedSize = work.where.storedSize;
      bytes = work.stored->data();
    } else if (work.packed) {
      f.method = kZipDeflated;
      f.flags = ZipFlagsForLevel(work.level);
      f.compressedSize = work.packedSize;
      bytes = work.packed->data();
    } else {
      f.method = kZipStored;
      f.flags = 0;
      f.compressedSize = f.uncompressedSize;
      bytes = work.PlainData();
    }
  }
  SetNameFlags(item, &f);
  return WriteEntry(w, item, f, bytes);
}

bool QueueReady(ZipWriter& w, std::unique_ptr<ZipItem> item) {
  if (!w.queue->MakeRoom(0, [&](SaveItem& i) { return WriteItem(w, i); })) return false;
  w.queue->Push(std::move(item));
  return true;
}

// Queues a file whose bytes a worker makes ready, reading what the work starts from first:
// the stored bytes of a source entry, or the plain bytes of any other file. False when the
// save stopped.
bool QueueWork(ZipWriter& w, std::unique_ptr<ZipItem> item, const Node* node) {
  const auto write = [&](SaveItem& i) { return WriteItem(w, i); };
  EntryWork& work = item->work;
  item->cost = work.Cost(item->size) + (work.decode ? work.where.storedSize : item->size);
  if (!w.queue->MakeRoom(item->cost, write)) return false;
  if (work.decode) {
    std::shared_ptr<EntryBuffer> stored = EntryBuffer::Allocate(work.where.storedSize);
    if (!stored)
      work.load = EntryLoad::NoMemory;
    else if (work.where.storedSize == 0 ||
             !source_file::ReadAt(w.job.source->file(), work.where.offset, stored->data(), work.where.storedSize))
      work.load = EntryLoad::ReadFailed;
    else
      work.input = std::move(stored);
    work.inputRead = true;
  } else if (const SourceEntry* entry = node->source()) {
    work.load = w.job.source->Load(entry->index, &work.input);
    work.inputRead = true;
  } else {
    work.input = std::get<MemoryBytes>(node->data()).bytes;
  }
  item->needsWork = work.load == EntryLoad::Ok;
  w.queue->Push(std::move(item));
  return true;
}

// Queues a large file that is streamed when its turn comes: nothing of it is held meanwhile.
bool QueueStreamed(ZipWriter& w, std::unique_ptr<ZipItem> item) {
  item->streamed = true;
  return QueueReady(w, std::move(item));
}

// Queues an entry whose compressed bytes are copied as they lie. They are still inflated and
// checked against the CRC-32 first, by a worker reading them from the source in pieces, so
// that a damaged entry stops the save as one being recompressed would; the copy itself
// streams them from the source once its turn comes. False when the save stopped.
bool QueueVerified(ZipWriter& w, std::unique_ptr<ZipItem> item) {
  EntryWork& work = item->work;
  work.verifyStored = true;
  work.sourceFile = w.job.source->file();
  work.sourcePath = w.job.source->path().c_str();
  // Nothing of the entry is held, but counting its stored size keeps the look-ahead of the
  // checks within the budget's reach of the copying.
  item->cost = work.where.storedSize;
  if (!w.queue->MakeRoom(item->cost, [&](SaveItem& i) { return WriteItem(w, i); })) return false;
  item->needsWork = true;
  w.queue->Push(std::move(item));
  return true;
}

// Takes over what the source's record of entry index says beyond the entry's bytes: its
// time, the system that made it and its attributes there, its extra fields (times, owners,
// attributes), but for a Unicode path that a new name would contradict, and the version it
// needs to be read.
void TakeRecordFields(ZipWriter& w, uint32_t index, ZipItem* item) {
  const ZipRecordHeader& r = w.zipSource->Record(index);
  item->f.dosDateTime = static_cast<uint32_t>(r.Get16(zipc::kDate)) << 16 | r.Get16(zipc::kTime);
  item->f.madeBy = r.Get16(zipc::kVersionMadeBy);
  item->f.internalAttributes = r.Get16(zipc::kInternalAttributes);
  item->f.externalAttributes = r.Get32(zipc::kExternalAttributes);
  item->versionNeeded = r.Get16(zipc::kVersionNeeded);
  const std::string_view centralExtra = w.zipSource->CentralExtra(index);
  if (centralExtra.empty()) return;
  const auto kept = [item](std::string_view extra) {
    return item->nameChosen ? ExtraWithout(reinterpret_cast<const uint8_t*>(extra.data()),
                                           static_cast<uint32_t>(extra.size()), kUnicodePathExtraId)
                            : std::string(extra);
  };
  item->centralExtra = kept(centralExtra);
  item->localExtra = kept(w.zipSource->LocalExtra(index));
}

// Queues an entry of a ZIP source: its stamp, CRC-32 and attributes stay; its compressed
// bytes are copied as they lie when it was compressed at least as hard as asked, else it is
// inflated and compressed anew.
bool QueueZipSource(ZipWriter& w, std::unique_ptr<ZipItem> item, uint32_t index) {
  const ZipRecordHeader& r = w.zipSource->Record(index);
  const EntryLoad readable = ZipSource::Readable(r);
  if (readable != EntryLoad::Ok)
    return w.queue->Refuse(std::move(item), EntryFailure(Problem::LoadFailed, item->path, readable));
  const uint32_t size = r.Get32(zipc::kUncompressedSize);
  EntryFields& f = item->f;
  f.uncompressedSize = size;
  f.crc = r.Get32(zipc::kCrc32);
  TakeRecordFields(w, index, item.get());
  f.method = kZipStored;
  f.flags = 0;
  f.compressedSize = size;
  item->size = size;
  if (size == 0) {
    const EntryLoad empty = ZipSource::EmptyEntryCheck(r);
    if (empty != EntryLoad::Ok) return w.queue->Refuse(std::move(item), EntryFailure(Problem::LoadFailed, item->path, empty));
    return QueueReady(w, std::move(item));
  }

  EntryWork& work = item->work;
  work.load = w.zipSource->Locate(index, &work.where);
  if (work.load != EntryLoad::Ok) return QueueReady(w, std::move(item));
  work.level = w.level;
  const uint16_t flags = r.Get16(zipc::kFlags);
  item->sourceFlags = flags;
  const uint32_t compressed = r.Get32(zipc::kCompressedSize);
  if (w.level > 0 && r.Get16(zipc::kMethod) == kZipDeflated && ZipLevelForFlags(flags) >= w.level) {
    // Compressed at least as hard as asked: recompressing could gain nothing worth the time,
    // so the compressed bytes are kept as they are, unless they are no smaller than the
    // plain ones, which are then stored.
    if (compressed >= size) {
      work.level = 0;
    } else if (work.where.deflated) {
      item->raw = true;
      f.method = kZipDeflated;
      f.flags = flags;
      f.compressedSize = compressed;
      return QueueVerified(w, std::move(item));
    }
  }
  // Inflated and compressed anew, harder than before: kept as they lie after all when that
  // does not make them smaller.
  work.keepStored = work.level > 0 && work.where.deflated;
  if (size > kStreamedFileSize) return QueueStreamed(w, std::move(item));
  work.decode = true;
  return QueueWork(w, std::move(item), nullptr);
}

// Queues any other file (a memory file, an entry of another format's source): compressed
// anew, stamped with the time it carries (a file imported from disk, copied from another
// archive) or else the
// current time.
bool QueueOther(ZipWriter& w, std::unique_ptr<ZipItem> item, const Node* node) {
  const uint32_t size = node->size();
  EntryFields& f = item->f;
  f.uncompressedSize = size;
  const MemoryBytes* memory = std::get_if<MemoryBytes>(&node->data());
  f.dosDateTime = memory && memory->dosTime ? memory->dosTime : DosDateTimeNow();
  f.method = kZipStored;
  f.flags = 0;
  f.crc = 0;
  f.compressedSize = size;
  item->size = size;
  if (size == 0) {
    if (const SourceEntry* entry = node->source()) {
      SharedBytes none;
      item->work.load = w.job.source->Load(entry->index, &none);
    }
    return QueueReady(w, std::move(item));
  }
  item->work.computeCrc = true;
  item->work.level = w.level;
  if (size > kStreamedFileSize) {
    if (const SourceEntry* entry = node->source()) {
      item->work.load = w.job.source->Locate(entry->index, &item->work.where);
      if (item->work.load != EntryLoad::Ok) return QueueReady(w, std::move(item));
    } else {
      item->work.input = std::get<MemoryBytes>(node->data()).bytes;
    }
    return QueueStreamed(w, std::move(item));
  }
  return QueueWork(w, std::move(item), node);
}

// The bytes a file's path is stored under, and whether they are marked UTF-8. A file neither
// renamed nor moved keeps its source's bytes: a ZIP's with their flag, a PAK's or a WAD2's
// marked UTF-8 where they read as UTF-8. Any other path is stored as its UTF-8 text, marked
// so unless it is ASCII alone.
void ChooseStoredName(ZipWriter& w, const Node* node, ZipItem* item) {
  std::string bytes;
  NameCoding coding;
  if (UnchangedSourceName(w.job, node, item->path, &bytes, &coding)) {
    item->utf8 = coding == NameCoding::Utf8 || (coding == NameCoding::Bytes && !IsAscii(bytes) && IsValidUtf8(bytes));
    item->name = std::move(bytes);
    return;
  }
  item->name = item->path;
  item->utf8 = !IsAscii(item->path);
  item->nameChosen = true;
}

bool QueueFile(ZipWriter& w, const Node* node, const std::string& folder) {
  auto item = std::make_unique<ZipItem>();
  item->file = true;
  item->node = node->id();
  item->path = folder + node->name();
  ChooseStoredName(w, node, item.get());
  if (item->name.size() > kMaxPath) return w.queue->Refuse(std::move(item), Fail(Problem::PathTooLong));
  if (const SourceEntry* entry = node->source()) {
    if (w.job.source == nullptr || entry->index >= w.job.source->Count())
      return w.queue->Refuse(std::move(item), EntryFailure(Problem::LoadFailed, item->path, EntryLoad::NotInSource));
    if (w.zipSource) return QueueZipSource(w, std::move(item), entry->index);
  }
  return QueueOther(w, std::move(item), node);
}

// Every directory has an entry of its own, before its contents. A name beyond ASCII is
// stored in code page 437 when the ZIP it came from names every entry so and the name has
// a place there, as UTF-8 marked so otherwise.
bool QueueDirectory(ZipWriter& w, const std::string& path) {
  auto item = std::make_unique<ZipItem>();
  item->path = path;
  item->name = path;
  item->nameChosen = true;
  std::string cp437;
  if (!IsAscii(path)) {
    if (w.cp437Source && EncodeCp437(path, &cp437))
      item->name = std::move(cp437);
    else
      item->utf8 = true;
  }
  if (item->name.size() > kMaxPath) return w.queue->Refuse(std::move(item), Fail(Problem::PathTooLong));
  item->f = EntryFields{static_cast<uint16_t>(item->utf8 ? kZipFlagUtf8 : 0), kZipStored, DosDateTimeNow(), 0, 0, 0, 0, 0, 0};
  // A folder the source had an entry for keeps that entry's time, attributes and extra
  // fields, and its very name where the path still reads so.
  const auto stored = w.folderRecords.find(LowerCased(path));
  if (stored != w.folderRecords.end()) {
    const ZipRecordHeader& r = w.zipSource->Record(stored->second);
    const std::string_view name = w.zipSource->Name(stored->second);
    const NameCoding coding = w.zipSource->NameCodingOf(stored->second);
    if (NameText(name, coding) == path) {
      item->name = std::string(name);
      item->nameChosen = false;
      item->f.flags = r.Get16(zipc::kFlags) & kZipFlagUtf8;
    }
    TakeRecordFields(w, stored->second, item.get());
  }
  return QueueReady(w, std::move(item));
}

bool WriteCentralDirectory(ZipWriter& w) {
  for (const ZipRecord& r : w.records) {
    if (!OutputHasRoom(&w.output, kZipCentralSize + static_cast<uint64_t>(r.name.size()) + r.extra.size()) ||
        !OutputWrite(&w.output, r.header, kZipCentralSize) || !OutputWrite(&w.output, r.name.data(), r.name.size()) ||
        !OutputWrite(&w.output, r.extra.data(), r.extra.size()))
      return false;
  }
  return true;
}

bool WriteEndRecord(ZipWriter& w, uint64_t centralOffset) {
  uint8_t end[kZipEndSize] = {};
  PutLE32(end + zipe::kSignature, kZipEndSignature);
  // The node limit keeps the count within the 16-bit fields.
  const uint16_t count = static_cast<uint16_t>(w.records.size());
  PutLE16(end + zipe::kEntriesOnDisk, count);
  PutLE16(end + zipe::kTotalEntries, count);
  PutLE32(end + zipe::kCentralSize, static_cast<uint32_t>(w.output.position - centralOffset));
  PutLE32(end + zipe::kCentralOffset, static_cast<uint32_t>(centralOffset));
  // A ZIP source's comment stays with the archive.
  static const std::string kNone;
  const std::string& comment = w.zipSource ? w.zipSource->Comment() : kNone;
  PutLE16(end + zipe::kCommentLength, static_cast<uint16_t>(comment.size()));
  return OutputHasRoom(&w.output, kZipEndSize + comment.size()) && OutputWrite(&w.output, end, kZipEndSize) &&
         OutputWrite(&w.output, comment.data(), comment.size()) && OutputClose(&w.output);
}

Failure WriteArchive(ZipWriter& w) {
  const Node* root = w.job.tree->root();
  const uint32_t nodes = CountNodes(root);
  // The 16-bit entry counts cannot go further, and 0xFFFF stands for ZIP64.
  if (nodes > 65535) return Fail(Problem::TooManyFiles);
  w.capacity = nodes - 1;
  w.records.reserve(w.capacity);
  if (!OutputCreate(&w.output, w.job.path.c_str(), w.job.sizeLimit)) return Fail(Problem::OutputOpen, w.job.path);
  JobProgress progress(w.job, CountLeaves(root));
  w.progress = progress.get();
  w.copyBuffer.resize(kCopyBufferSize);
  {
    SaveQueue queue(progress.get(), w.job.threads);
    w.queue = &queue;
    std::string path;
    const bool walked =
        WalkInArchiveOrder(root, w.job.source, path, [&](const Node*) { return QueueDirectory(w, path); },
                           [&](const Node* node) { return QueueFile(w, node, path); });
    // A walk that stopped left the entry that failed last in the queue, unless writing an
    // earlier one stopped it; either way nothing is written after it.
    const bool drained = queue.Drain([&](SaveItem& i) { return WriteItem(w, i); });
    w.queue = nullptr;
    if (!walked || !drained) return queue.failure();
  }
  const uint64_t centralOffset = w.output.position;
  if (!WriteCentralDirectory(w)) return Fail(Problem::WriteCentral);
  if (!WriteEndRecord(w, centralOffset)) return Fail(Problem::WriteEnd);
  return Failure();
}

}  // namespace

Failure WriteZip(const WriteJob& job, WrittenEntries* written) {
  ZipWriter w{job, dynamic_cast<ZipSource*>(job.source), {}, {}, 0, 6, false, nullptr, {}, written, {}, nullptr};
  written->files.clear();
  w.level = job.level < 0 ? 0 : (job.level > 9 ? 9 : job.level);
  w.cp437Source = w.zipSource && !w.zipSource->NamesUtf8();
  if (w.zipSource)
    for (uint32_t i = 0; i < w.zipSource->Count(); ++i) {
      const std::string_view name = w.zipSource->Name(i);
      if (!name.empty() && name.back() == '/')
        w.folderRecords.emplace(LowerCased(w.zipSource->NameTextOf(i)), i);
    }
  const Failure failure = WriteArchive(w);
  return failure ? EndFailedWrite(job, &w.output, failure) : failure;
}
