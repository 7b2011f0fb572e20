#include "archive/pak_writer.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "archive/entry_data.h"
#include "archive/save_message.h"
#include "archive/save_pipeline.h"
#include "archive/source_file.h"
#include "archive/writer_shared.h"

namespace {

// One file entry on its way into the PAK.
struct PakItem : SaveItem {
  PakDirEntry* slot = nullptr;
  ArchiveEntry* entry = nullptr;  // the working copy's, re-pointed once written
  bool fromPak = false;           // copied straight from the source PAK at offset
  uint32_t offset = 0;
};

// The state of one PAK save.
struct PakWriter {
  PakArchive* archive;  // being written: its slots fill in walk order
  ArchiveOutput output;
  const ArchiveDocument* source;  // whose source the entries' bytes are read from
  SaveProgress* progress;         // null when the dialog could not be shown
  char path[kPakNameSize];        // stored path of the current directory, with its "/"
  size_t pathLength;
  SaveQueue* queue;
  int64_t sourceLength;  // of a PAK source's file; -1 when unknown
  uint8_t* copyBuffer;
};

// Takes the next directory slot for the entry at the writer's current path; null when
// the format has no slot left.
PakDirEntry* TakeSlot(PakWriter& w) {
  if (w.archive->entryCount >= kPakMaxEntries) return nullptr;
  PakDirEntry* slot = &w.archive->entries[w.archive->entryCount++];
  std::memset(slot->name, 0, sizeof slot->name);
  std::memcpy(slot->name, w.path, w.pathLength);
  return slot;
}

// Writes an entry whose work is done; false after showing the message.
bool WriteItem(SaveWindow& window, PakWriter& w, SaveItem& queued) {
  PakItem& item = static_cast<PakItem&>(queued);
  const char* path = item.path.c_str();
  // The offset and the end of the bytes must stay within the 32-bit fields.
  if (!OutputHasRoom(&w.output, item.size)) {
    ShowSaveFailure(window, "Error writing %s", path);
    return false;
  }
  if (item.work.load != EntryLoad::Ok) {
    ShowLoadFailure(window, item.work.load, path, "");
    return false;
  }
  const uint64_t offset = w.output.position;
  if (item.fromPak) {
    const CopyResult copied = CopySourceBytes(DocumentPak(w.source)->file, item.offset, item.size,
                                              &w.output, w.copyBuffer, kCopyBufferSize);
    if (copied == CopyResult::ReadFailed) {
      ShowLoadFailure(window, EntryLoad::ReadFailed, path, "");
      return false;
    }
    if (copied == CopyResult::WriteFailed) {
      ShowSaveFailure(window, "Error writing %s", path);
      return false;
    }
  } else if (!OutputWrite(&w.output, item.work.plain.data, item.work.plain.size)) {
    ShowSaveFailure(window, "Error writing %s", path);
    return false;
  }
  item.slot->offset = static_cast<uint32_t>(offset);
  item.slot->length = item.size;
  PointAtWritten(item.entry, EntryKind::PakFile, item.slot, nullptr);
  return true;
}

// Decides where an entry's bytes come from: a PAK source's are copied as they lie, a PK3
// source's are read here and inflated and checked by a worker, a memory file's are written
// from its own buffer. False when the save stopped.
bool QueueBytes(SaveWindow& window, PakWriter& w, const ArchiveEntry* e, std::unique_ptr<PakItem> item) {
  const auto write = [&](SaveItem& i) { return WriteItem(window, w, i); };
  EntryWork& work = item->work;
  switch (KindOf(e)) {
    case EntryKind::PakFile: {
      const PakDirEntry& from = *e->pakEntry;
      item->fromPak = true;
      item->offset = from.offset;
      // The entry's bytes must lie wholly inside the file.
      if (item->size != 0 && (w.sourceLength < 0 || from.offset > static_cast<uint64_t>(w.sourceLength) ||
          from.length > static_cast<uint64_t>(w.sourceLength) - from.offset))
        work.load = EntryLoad::ReadFailed;
      break;
    }
    case EntryKind::Pk3File: {
      Pk3Archive* pk3 = DocumentPk3(w.source);
      const int index = Pk3EntryIndex(pk3, e->pk3Record);
      const Pk3CentralRecord& record = pk3->records[index];
      if (item->size == 0) {
        // Empty, but one that cannot be read at all is refused whatever its size.
        work.load = Pk3RecordReadable(record);
        break;
      }
      work.load = Pk3LocateEntry(pk3, index, &work.where);
      if (work.load != EntryLoad::Ok) break;
      work.decode = true;
      work.crc = record.Get32(zipc::kCrc32);
      const uint32_t stored = work.where.deflated ? work.where.compressedSize : work.where.uncompressedSize;
      item->cost = stored + work.Cost(item->size);
      if (!w.queue->MakeRoom(item->cost, write)) return false;
      work.load = Pk3ReadStored(pk3, work.where, &work.input);
      item->needsWork = work.load == EntryLoad::Ok;
      break;
    }
    default:
      if (e->size != 0 && e->data == nullptr) {
        work.load = EntryLoad::ReadFailed;  // claims bytes it does not hold
        break;
      }
      work.plain = EntryBytes{e->size ? e->data : nullptr, e->size, false};
      break;
  }
  if (!w.queue->MakeRoom(item->cost, write)) return false;
  w.queue->Push(std::move(item));
  return true;
}

// Queues one file entry; the writer's path holds its parent's path. False when the walk
// must stop.
bool QueueFile(SaveWindow& window, PakWriter& w, ArchiveEntry* e) {
  const size_t parentLength = w.pathLength;
  const char* name = e->name ? e->name : "";
  auto item = std::make_unique<PakItem>();
  item->path = std::string(w.path, w.pathLength) + name;
  item->file = true;
  item->entry = e;
  if (!EntryByteSize(w.source, e, &item->size)) return w.queue->Refuse(std::move(item), "No such file %s");
  if (!AppendPath(w.path, w.pathLength, kPakNameSize, name, false))
    return w.queue->Refuse(std::move(item), kMaxPathMessage);
  item->slot = TakeSlot(w);
  CutPath(w.path, w.pathLength, parentLength);
  if (item->slot == nullptr) return w.queue->Refuse(std::move(item), kMaxFilesMessage);
  return QueueBytes(window, w, e, std::move(item));
}

// A directory whose "name/" is on the writer's path. Only an empty one has an entry of its
// own: a name ending in "/" with no bytes.
bool QueueDirectory(PakWriter& w, const ArchiveNode* node) {
  if (node->firstChild) return true;
  PakDirEntry* slot = TakeSlot(w);
  if (slot == nullptr) {
    auto item = std::make_unique<PakItem>();
    return w.queue->Refuse(std::move(item), kMaxFilesMessage);
  }
  slot->offset = 0;
  slot->length = 0;
  return true;
}

bool WriteDirectory(PakWriter& w) {
  const uint32_t count = w.archive->entryCount;
  const uint64_t length = static_cast<uint64_t>(count) * kPakDirEntrySize;
  if (!OutputHasRoom(&w.output, length)) return false;
  uint8_t record[kPakDirEntrySize];
  for (uint32_t i = 0; i < count; ++i) {
    const PakDirEntry& slot = w.archive->entries[i];
    std::memcpy(record, slot.name, kPakNameSize);
    PutLE32(record + kPakNameSize, slot.offset);
    PutLE32(record + kPakNameSize + 4, slot.length);
    if (!OutputWrite(&w.output, record, sizeof record)) return false;
  }
  return true;
}

// Queues and writes every entry in walk order: each directory's children from the head of
// its list, a directory's subtree before its next sibling. The working copy's entries are
// re-pointed at the slots written. False after showing the message, or when cancelled.
bool WriteEntries(SaveWindow& window, PakWriter& w, ArchiveNode* copy, unsigned threads) {
  SaveQueue queue(window, w.progress, threads);
  w.queue = &queue;
  const auto write = [&](SaveItem& i) { return WriteItem(window, w, i); };
  const int walked = WriteTree(
      copy, w.path, w.pathLength, kPakNameSize,
      [&](const ArchiveNode* node) { return QueueDirectory(w, node); },
      [&](ArchiveEntry* e) { return QueueFile(window, w, e); },
      [&](const char* message) { w.queue->Refuse(std::make_unique<PakItem>(), message); });
  // A walk that stopped left the entry that failed last in the queue, unless writing an
  // earlier one stopped it; either way nothing is written after it.
  const bool drained = queue.Drain(write);
  w.queue = nullptr;
  return walked && drained;
}

// The PAK's length once written: header, every file's bytes and a directory record for each
// file and empty directory. A file whose size cannot be read counts as empty: its save fails.
uint64_t PlannedLength(const ArchiveDocument* source, const ArchiveNode* copy) {
  uint64_t length = kPakHeaderSize;
  for (const ArchiveNode* n = copy; n; n = NextInSubtree(n, copy)) {
    if (n == copy || n->firstChild) continue;
    uint32_t size = 0;
    if (!IsContainer(n->entry) && EntryByteSize(source, n->entry, &size)) length += size;
    length += kPakDirEntrySize;
  }
  return length;
}

// The steps between creating the file and reopening it. Returns null on success, or the
// failure's message: empty when it was shown already, "%s" formats take the path.
const char* WriteArchive(SaveWindow& window, PakWriter& w, ArchiveNode* copy, const char* path,
                         unsigned threads) {
  if (!OutputCreate(&w.output, path, w.output.limit)) return "Error opening %s";
  OutputReserve(&w.output, PlannedLength(w.source, copy));
  window.Repaint();
  w.progress = window.OpenProgress(TreeCountLeaves(copy));
  w.copyBuffer = static_cast<uint8_t*>(std::malloc(kCopyBufferSize));
  if (w.copyBuffer == nullptr) return "Error allocating memory";
  const PakArchive* pak = DocumentPak(w.source);
  w.sourceLength = pak && pak->file ? source_file::Length(pak->file) : -1;
  // The header goes in last, once the directory's place is known.
  if (!OutputSeek(&w.output, kPakHeaderSize)) return "Error writing PAK header";
  if (!WriteEntries(window, w, copy, threads)) return "";

  PakHeader& h = w.archive->header;
  h.dirOffset = static_cast<uint32_t>(w.output.position);
  h.dirLength = w.archive->entryCount * kPakDirEntrySize;
  // Seeking flushes: a failure there is the directory's, which went out last.
  if (!WriteDirectory(w) || !OutputSeek(&w.output, 0)) return "Error writing PAK directory listing";
  uint8_t header[kPakHeaderSize];
  std::memcpy(header, h.magic, 4);
  PutLE32(header + 4, h.dirOffset);
  PutLE32(header + 8, h.dirLength);
  if (!OutputWrite(&w.output, header, sizeof header) || !OutputClose(&w.output))
    return "Error writing PAK header";

  return ReopenSaved(w.archive->file, w.archive->path, path);
}

}  // namespace

PakArchive* PakSave(SaveWindow& window, ArchiveDocument* doc, const char* path, ArchiveNode** unmapped) {
  return PakSaveLimited(window, doc, path, kArchiveSizeLimit, unmapped);
}

PakArchive* PakSaveLimited(SaveWindow& window, ArchiveDocument* doc, const char* path,
                           uint64_t sizeLimit, ArchiveNode** unmapped, unsigned threads) {
  ArchiveNode* copy = CopyForSave(window, doc);
  if (copy == nullptr) return nullptr;
  PakWriter w{};
  w.source = doc;
  w.output.limit = sizeLimit;
  w.archive = static_cast<PakArchive*>(std::calloc(1, sizeof(PakArchive)));
  const char* message = "Error creating PAK";
  if (w.archive) {
    std::memcpy(w.archive->header.magic, "PACK", 4);
    message = WriteArchive(window, w, copy, path ? path : "", threads);
  }
  if (w.progress) w.progress->Close();
  std::free(w.copyBuffer);
  if (EndSave(doc, copy, &w.output, message, unmapped)) return w.archive;
  // The archive holds the written file open once it was reopened: closed first, so that
  // the file can go.
  PakClose(w.archive);
  OutputRemove(&w.output);
  ShowSaveFailure(window, message, path ? path : "");
  return nullptr;
}
