#include "archive/entry_data.h"

#include "archive/disk.h"
#include "archive/dos_time.h"

namespace {

// The source entry a node reads from, or null when the node is no file of the source. A
// node of another document's tree is none, though its index may be one this source has.
const SourceEntry* EntryInSource(const ArchiveDocument* doc, const Node* node) {
  if (doc == nullptr || !doc->source || node == nullptr || !node->IsFile()) return nullptr;
  if (!doc->tree || doc->tree->Find(node->id()) != node) return nullptr;
  const SourceEntry* entry = node->source();
  return entry && entry->index < doc->source->Count() ? entry : nullptr;
}

}  // namespace

EntryLoad LoadEntryBytes(const ArchiveDocument* doc, const Node* node, SharedBytes* bytes) {
  bytes->reset();
  if (node == nullptr || !node->IsFile()) return EntryLoad::NoBytes;
  if (const MemoryBytes* memory = std::get_if<MemoryBytes>(&node->data())) {
    if (memory->bytes && memory->bytes->size() != 0) *bytes = memory->bytes;
    return EntryLoad::Ok;
  }
  const SourceEntry* entry = EntryInSource(doc, node);
  if (entry == nullptr) return EntryLoad::NotInSource;
  return doc->source->Load(entry->index, bytes);
}

EntryLoad StreamEntryBytes(const ArchiveDocument* doc, const Node* node, ByteSink* sink) {
  if (node == nullptr || !node->IsFile()) return EntryLoad::NoBytes;
  if (std::holds_alternative<MemoryBytes>(node->data())) {
    const EntryBuffer* bytes = node->memory();
    if (bytes && sink && !sink->Take(bytes->data(), bytes->size())) return EntryLoad::Stopped;
    return EntryLoad::Ok;
  }
  const SourceEntry* entry = EntryInSource(doc, node);
  if (entry == nullptr) return EntryLoad::NotInSource;
  return doc->source->Read(entry->index, sink);
}

EntryLoad PlanEntryRead(const ArchiveDocument* doc, const Node* node, StoredBytes* where) {
  *where = StoredBytes{};
  if (node == nullptr || !node->IsFile() || std::holds_alternative<MemoryBytes>(node->data())) return EntryLoad::NoBytes;
  const SourceEntry* entry = EntryInSource(doc, node);
  if (entry == nullptr) return EntryLoad::NotInSource;
  return doc->source->ReadPlan(entry->index, where);
}

Failure EntryPlacement(const ArchiveDocument* doc, const Node* node) {
  const SourceEntry* entry = EntryInSource(doc, node);
  return entry ? doc->source->CheckPlacement(entry->index) : Failure();
}

std::string StoredNameOf(const ArchiveDocument* doc, const Node* node) {
  const SourceEntry* entry = EntryInSource(doc, node);
  return entry ? doc->source->NameTextOf(entry->index) : StoredPath(node);
}

bool EntryModified(const ArchiveDocument* doc, const Node* node, int64_t* moment) {
  if (node == nullptr || !node->IsFile()) return false;
  if (const MemoryBytes* memory = std::get_if<MemoryBytes>(&node->data()))
    return memory->dosTime != 0 && MomentOfDosDateTime(memory->dosTime, moment);
  const SourceEntry* entry = EntryInSource(doc, node);
  if (entry == nullptr) return false;
  const EntryInfo info = doc->source->Info(entry->index);
  if (info.hasTime) return MomentOfDosDateTime(info.dosTime, moment);
  const DiskItem archive = StatPath(doc->source->path());
  if (archive.kind != DiskKind::File) return false;
  *moment = archive.modified;
  return true;
}
