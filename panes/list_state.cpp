#include "panes/list_state.h"

#include <variant>

DataIdentity IdentityOf(const ArchiveDocument* doc, const Node* node) {
  DataIdentity identity;
  if (node == nullptr || !node->IsFile()) return identity;
  identity.size = node->size();
  if (const MemoryBytes* memory = std::get_if<MemoryBytes>(&node->data())) {
    identity.memory = memory->bytes;
    return identity;
  }
  const SourceEntry* entry = node->source();
  identity.source = doc ? doc->source.get() : nullptr;
  identity.index = entry->index;
  if (identity.source && entry->index < identity.source->Count())
    identity.offset = identity.source->Info(entry->index).offset;
  return identity;
}

bool SameData(const DataIdentity& a, const DataIdentity& b) {
  // Two owners of one buffer are one buffer; an expired owner is no buffer at all.
  const bool memoryA = !a.memory.owner_before(std::weak_ptr<const EntryBuffer>()) &&
                       !std::weak_ptr<const EntryBuffer>().owner_before(a.memory);
  const bool sameMemory = !a.memory.owner_before(b.memory) && !b.memory.owner_before(a.memory);
  if (!sameMemory) return false;
  if (!memoryA && a.memory.expired()) return false;
  return a.source == b.source && a.index == b.index && a.offset == b.offset && a.size == b.size;
}

ListState::~ListState() {
  if (thumbnailImages) ImageList_Destroy(thumbnailImages);
}
