#include "archive/entry_snapshot.h"

#include <algorithm>
#include <cstring>

#include "archive/stored_reading.h"

EntrySnapshot SnapshotEntry(const ArchiveDocument* doc, const Node* node) {
  EntrySnapshot entry;
  if (node == nullptr || !node->IsFile()) {
    entry.refused = EntryLoad::NoBytes;
    return entry;
  }
  entry.size = node->size();
  if (const MemoryBytes* memory = std::get_if<MemoryBytes>(&node->data())) {
    entry.memory = memory->bytes;
    return entry;
  }
  const SourceEntry* source = node->source();
  if (doc == nullptr || !doc->source || !doc->tree || doc->tree->Find(node->id()) != node || source == nullptr ||
      source->index >= doc->source->Count()) {
    entry.refused = EntryLoad::NotInSource;
    return entry;
  }
  entry.refused = doc->source->Locate(source->index, &entry.where);
  if (entry.refused == EntryLoad::Ok && doc->source->CheckPlacement(source->index).problem != Problem::None)
    entry.refused = EntryLoad::SharedData;
  entry.archivePath = doc->source->path();
  return entry;
}

namespace {

// Fills a buffer from the front. For a prefix it refuses once full, so that the read ends
// with what it wants; for the whole entry the read goes on to its end (and its CRC-32
// check), and a byte more than the buffer holds is damage. A raised stop flag refuses too.
class FillSink : public ByteSink {
 public:
  FillSink(EntryBuffer& to, bool whole, const std::atomic<bool>* stop) : to_(to), whole_(whole), stop_(stop) {}
  bool Take(const uint8_t* data, size_t size) override {
    if (stop_ && stop_->load(std::memory_order_relaxed)) {
      stopped = true;
      return false;
    }
    if (whole_ && size > to_.size() - used) {
      overflowed = true;
      return false;
    }
    const size_t n = std::min(size, to_.size() - used);
    std::memcpy(to_.data() + used, data, n);
    used += n;
    return whole_ || used < to_.size();
  }
  size_t used = 0;
  bool stopped = false, overflowed = false;

 private:
  EntryBuffer& to_;
  bool whole_;
  const std::atomic<bool>* stop_;
};

}  // namespace

EntryLoad ReadSnapshot(const EntrySnapshot& entry, uint32_t limit, SharedBytes* bytes,
                       const std::atomic<bool>* stop) {
  bytes->reset();
  if (entry.refused != EntryLoad::Ok) return entry.refused;
  const uint32_t wanted = std::min(limit, entry.size);
  if (entry.archivePath.empty()) {
    if (!entry.memory || wanted == 0) return EntryLoad::Ok;
    if (wanted == entry.memory->size()) {
      *bytes = entry.memory;
      return EntryLoad::Ok;
    }
    std::shared_ptr<EntryBuffer> prefix = EntryBuffer::Copy(entry.memory->data(), wanted);
    if (!prefix) return EntryLoad::NoMemory;
    *bytes = std::move(prefix);
    return EntryLoad::Ok;
  }
  if (wanted == 0) return EntryLoad::Ok;
  std::shared_ptr<EntryBuffer> buffer = EntryBuffer::Allocate(wanted);
  if (!buffer) return EntryLoad::NoMemory;
  Failure why;
  FILE* file = OpenArchiveFile(entry.archivePath, &why);
  if (file == nullptr) return EntryLoad::ReadFailed;
  const bool whole = wanted == entry.size;
  FillSink sink(*buffer, whole, stop);
  EntryLoad read = ReadStoredBytes(file, entry.where, &sink);
  std::fclose(file);
  if (sink.stopped) return EntryLoad::Stopped;
  if (sink.overflowed) return EntryLoad::ReadFailed;
  // A prefix read as far as the full buffer is all that was asked for.
  if (!whole && read == EntryLoad::Stopped && sink.used == wanted) read = EntryLoad::Ok;
  if (read != EntryLoad::Ok) return read;
  if (sink.used != wanted) return EntryLoad::ReadFailed;
  *bytes = std::move(buffer);
  return EntryLoad::Ok;
}
