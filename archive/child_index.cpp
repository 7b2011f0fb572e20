// Open addressing with linear probing; the table is kept at most half full.
#include "archive/child_index.h"

#include <cstdlib>
#include <cstring>

namespace {

uint32_t HashKey(const ArchiveNode* parent, const char* name) {
  // FNV-1a over the name, started from a mix of the parent's address.
  uint64_t p = reinterpret_cast<uintptr_t>(parent);
  uint32_t h = 2166136261u ^ static_cast<uint32_t>((p * 0x9E3779B97F4A7C15ull) >> 32);
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(name); *c; ++c) {
    h ^= *c;
    h *= 16777619u;
  }
  return h;
}

bool SameKey(const ArchiveNode* node, const ArchiveNode* parent, const char* name) {
  return node->parent == parent && node->entry && node->entry->name &&
         std::strcmp(node->entry->name, name) == 0;
}

void Place(ChildIndex::Slot* slots, size_t capacity, ArchiveNode* node, uint32_t hash) {
  size_t mask = capacity - 1;
  size_t i = hash & mask;
  while (slots[i].node) i = (i + 1) & mask;
  slots[i].node = node;
  slots[i].hash = hash;
}

bool Grow(ChildIndex* index) {
  if (index->capacity > SIZE_MAX / 2 / sizeof(ChildIndex::Slot)) return false;
  size_t capacity = index->capacity * 2;
  auto* slots = static_cast<ChildIndex::Slot*>(std::calloc(capacity, sizeof(ChildIndex::Slot)));
  if (slots == nullptr) return false;
  for (size_t i = 0; i < index->capacity; ++i)
    if (index->slots[i].node) Place(slots, capacity, index->slots[i].node, index->slots[i].hash);
  std::free(index->slots);
  index->slots = slots;
  index->capacity = capacity;
  return true;
}

}  // namespace

bool ChildIndexInit(ChildIndex* index, size_t expectedNodes) {
  size_t capacity = 64;
  while (capacity / 2 < expectedNodes && capacity < (SIZE_MAX >> 4)) capacity *= 2;
  index->slots = static_cast<ChildIndex::Slot*>(std::calloc(capacity, sizeof(ChildIndex::Slot)));
  index->capacity = index->slots ? capacity : 0;
  index->used = 0;
  return index->slots != nullptr;
}

void ChildIndexFree(ChildIndex* index) {
  std::free(index->slots);
  index->slots = nullptr;
  index->capacity = 0;
  index->used = 0;
}

ArchiveNode* ChildIndexFind(const ChildIndex* index, const ArchiveNode* parent, const char* name) {
  if (index->slots == nullptr) return nullptr;
  uint32_t hash = HashKey(parent, name);
  size_t mask = index->capacity - 1;
  for (size_t i = hash & mask; index->slots[i].node; i = (i + 1) & mask)
    if (index->slots[i].hash == hash && SameKey(index->slots[i].node, parent, name))
      return index->slots[i].node;
  return nullptr;
}

ArchiveNode* FindChildIndexed(const ChildIndex* index, const ArchiveNode* parent, const char* name) {
  return index ? ChildIndexFind(index, parent, name) : FindChildNamed(parent, name);
}

bool ChildIndexAdd(ChildIndex* index, ArchiveNode* node) {
  if (index->slots == nullptr || node->entry == nullptr || node->entry->name == nullptr) return false;
  if ((index->used + 1) * 2 > index->capacity && !Grow(index)) return false;
  Place(index->slots, index->capacity, node, HashKey(node->parent, node->entry->name));
  ++index->used;
  return true;
}
