// Writing a tree as a PAK file: the header, every file's bytes as they are, and the
// directory at the end.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/bytes.h"
#include "archive/formats_internal.h"
#include "archive/pak_records.h"
#include "archive/source_file.h"
#include "archive/writer_shared.h"

namespace {

using PakItem = SlotItem;

// The state of one PAK save.
struct PakWriter {
  const WriteJob& job;
  ArchiveOutput output{};
  std::vector<PakDirEntry> slots;
  SaveQueue* queue = nullptr;
  std::vector<uint8_t> copyBuffer;
  WrittenEntries* written;
  SaveProgress* progress = nullptr;
};

// Takes the next directory slot for the entry at path; false when the format has none left.
bool TakeSlot(PakWriter& w, const std::string& path, uint32_t* slot) {
  if (w.slots.size() >= kPakMaxEntries) return false;
  PakDirEntry entry{};
  std::memcpy(entry.name, path.data(), path.size());
  w.slots.push_back(entry);
  *slot = static_cast<uint32_t>(w.slots.size() - 1);
  return true;
}

// Writes an entry whose work is done.
Failure WriteItem(PakWriter& w, SaveItem& queued) {
  PakItem& item = static_cast<PakItem&>(queued);
  // The offset and the end of the bytes must stay within the 32-bit fields.
  if (!OutputHasRoom(&w.output, item.size)) return Fail(Problem::WriteFailed, item.path);
  if (item.work.load != EntryLoad::Ok) return EntryFailure(Problem::LoadFailed, item.path, item.work.load);
  const uint64_t offset = w.output.position;
  const Failure failure = WriteSlotBytes(w.job, &w.output, w.progress, w.copyBuffer, item);
  if (failure) return failure;
  w.slots[item.slot].offset = static_cast<uint32_t>(offset);
  w.slots[item.slot].length = item.size;
  w.written->files.emplace_back(item.node, item.slot);
  return Failure();
}

// Decides where an entry's bytes come from (a memory file's are written from its own
// buffer) and queues it. False when the save stopped.
bool QueueBytes(PakWriter& w, const Node* node, std::unique_ptr<PakItem> item) {
  const auto write = [&](SaveItem& i) { return WriteItem(w, i); };
  EntryWork& work = item->work;
  if (const SourceEntry* entry = node->source()) {
    if (item->size == 0) {
      // Empty, but one that cannot be read at all is refused whatever its size.
      SharedBytes none;
      work.load = w.job.source->Load(entry->index, &none);
    } else if (!ReadySlotSourceBytes(w.job, *w.queue, entry->index, item.get(), write)) {
      return false;
    }
  } else {
    work.plain = std::get<MemoryBytes>(node->data()).bytes;
  }
  if (!w.queue->MakeRoom(item->cost, write)) return false;
  w.queue->Push(std::move(item));
  return true;
}

// Queues one file entry at path. False when the walk must stop.
bool QueueFile(PakWriter& w, const Node* node, const std::string& folder) {
  auto item = std::make_unique<PakItem>();
  item->path = folder + node->name();
  item->file = true;
  item->node = node->id();
  item->size = node->size();
  const SourceEntry* entry = node->source();
  if (entry && (w.job.source == nullptr || entry->index >= w.job.source->Count()))
    return w.queue->Refuse(std::move(item), EntryFailure(Problem::LoadFailed, item->path, EntryLoad::NotInSource));
  const std::string name = BytesNameFor(w.job, node, item->path);
  if (name.size() > kPakMaxPathLength) return w.queue->Refuse(std::move(item), Fail(Problem::PathTooLong));
  if (!TakeSlot(w, name, &item->slot)) return w.queue->Refuse(std::move(item), Fail(Problem::TooManyFiles));
  return QueueBytes(w, node, std::move(item));
}

// A directory whose "name/" ends path. Only an empty one has an entry of its own: a name
// ending in "/" with no bytes.
bool QueueDirectory(PakWriter& w, const Node* node, const std::string& path) {
  if (path.size() > kPakMaxPathLength) return w.queue->Refuse(std::make_unique<PakItem>(), Fail(Problem::PathTooLong));
  if (node->firstChild()) return true;
  uint32_t slot;
  if (!TakeSlot(w, path, &slot)) return w.queue->Refuse(std::make_unique<PakItem>(), Fail(Problem::TooManyFiles));
  return true;
}

bool WriteDirectory(PakWriter& w) {
  const uint64_t length = static_cast<uint64_t>(w.slots.size()) * kPakDirEntrySize;
  if (!OutputHasRoom(&w.output, length)) return false;
  uint8_t record[kPakDirEntrySize];
  for (const PakDirEntry& slot : w.slots) {
    std::memcpy(record, slot.name, kPakNameSize);
    PutLE32(record + kPakNameSize, slot.offset);
    PutLE32(record + kPakNameSize + 4, slot.length);
    if (!OutputWrite(&w.output, record, sizeof record)) return false;
  }
  return true;
}

// The PAK's length once written: header, every file's bytes and a directory record for each
// file and empty directory.
uint64_t PlannedLength(const Node* root) {
  uint64_t length = kPakHeaderSize;
  for (const Node* n = root; n; n = NextInSubtree(n, root)) {
    if (n == root || n->firstChild()) continue;
    length += n->size() + kPakDirEntrySize;
  }
  return length;
}

Failure WriteArchive(PakWriter& w) {
  const Node* root = w.job.tree->root();
  if (!OutputCreate(&w.output, w.job.path.c_str(), w.job.sizeLimit)) return Fail(Problem::OutputOpen, w.job.path);
  OutputReserve(&w.output, PlannedLength(root));
  JobProgress progress(w.job, CountLeaves(root));
  w.progress = progress.get();
  w.copyBuffer.resize(kCopyBufferSize);
  // The header goes in last, once the directory's place is known.
  if (!OutputSeek(&w.output, kPakHeaderSize)) return Fail(Problem::WriteHeader);
  {
    SaveQueue queue(progress.get(), w.job.threads);
    w.queue = &queue;
    const auto write = [&](SaveItem& i) { return WriteItem(w, i); };
    std::string path;
    const bool walked =
        WalkInArchiveOrder(root, w.job.source, path, [&](const Node* node) { return QueueDirectory(w, node, path); },
                           [&](const Node* node) { return QueueFile(w, node, path); });
    // A walk that stopped left the entry that failed last in the queue, unless writing an
    // earlier one stopped it; either way nothing is written after it.
    const bool drained = queue.Drain(write);
    w.queue = nullptr;
    if (!walked || !drained) return queue.failure();
  }
  const uint32_t dirOffset = static_cast<uint32_t>(w.output.position);
  const uint32_t dirLength = static_cast<uint32_t>(w.slots.size()) * kPakDirEntrySize;
  // Seeking flushes: a failure there is the directory's, which went out last.
  if (!WriteDirectory(w) || !OutputSeek(&w.output, 0)) return Fail(Problem::WriteDirectory);
  uint8_t header[kPakHeaderSize];
  std::memcpy(header, "PACK", 4);
  PutLE32(header + 4, dirOffset);
  PutLE32(header + 8, dirLength);
  if (!OutputWrite(&w.output, header, sizeof header) || !OutputClose(&w.output)) return Fail(Problem::WriteHeader);
  return Failure();
}

}  // namespace

Failure WritePak(const WriteJob& job, WrittenEntries* written) {
  PakWriter w{job, {}, {}, nullptr, {}, written};
  written->files.clear();
  const Failure failure = WriteArchive(w);
  return failure ? EndFailedWrite(job, &w.output, failure) : failure;
}
