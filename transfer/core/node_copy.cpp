// The walks follow the parent pointers of the item copies instead of recursing, so a
// directory nested thousands deep in an untrusted archive cannot exhaust the stack.
#include "transfer/core/node_copy.h"

#include "transfer/core/paired_walk.h"

#include <cstdlib>
#include <cstring>

#include "archive/entry_data.h"
#include "archive/loading.h"
#include "transfer/core/transfer_measure.h"

namespace {

// Links a fresh entry under parent; on failure the entry is left to the caller.
ArchiveNode* Link(ArchiveNode* parent, ArchiveEntry* entry) {
  ArchiveNode* node = TreeAddChild(parent, entry);
  if (node) entry->node = node;
  return node;
}

constexpr uint32_t Kind(EntryKind k) { return static_cast<uint32_t>(k); }

// Rewrites existing in place as a copy of item's file entry, kind and bytes, within one
// archive. false (nothing changed) when the bytes cannot be copied.
bool ReplaceWithinArchive(ArchiveEntry* existing, const ArchiveEntry* item) {
  uint8_t* data = nullptr;
  const bool memory = IsKind(item, EntryKind::MemoryFile);
  // The copy is made before the old buffer goes: the item may be the existing entry itself.
  if (memory && !CopyBytes(item->data, item->size, &data)) return false;
  if (existing->kind & Kind(EntryKind::MemoryFile)) {
    if (existing->data != data) std::free(existing->data);
  }
  existing->kind = (item->kind & kEntryKindMask) | (existing->kind & kViewingFlag);
  existing->pakEntry = IsKind(item, EntryKind::PakFile) ? item->pakEntry : nullptr;
  existing->pk3Record = IsKind(item, EntryKind::Pk3File) ? item->pk3Record : nullptr;
  existing->size = memory ? item->size : 0;
  existing->data = data;
  return true;
}

// The item's bytes as a buffer of their own, read from the source document. An item that
// cannot be read is noted in the state, so that the user hears of it.
bool ReadItemBytes(const ArchiveDocument* source, const ArchiveEntry* item, uint8_t** data,
                   uint32_t* size, TransferState* state) {
  EntryBytes bytes;
  const EntryLoad load = LoadEntryBytes(source, item, &bytes);
  if (load != EntryLoad::Ok) {
    NoteTransferFailure(state, item->name, EntryLoadReason(load));
    return false;
  }
  if (bytes.owned) {
    *data = bytes.data;
    *size = bytes.size;
    return true;
  }
  *size = bytes.size;
  return CopyBytes(bytes.data, bytes.size, data);
}

// One file item into dst. The new node, or null when nothing new was made; an item that
// did not arrive (skipped by the user's answer, unreadable, out of memory) leaves the
// context marked incomplete.
ArchiveNode* CopyFile(NodeCopyContext& c, ArchiveNode* dst, const ArchiveEntry* item) {
  ArchiveNode* existing = FindChildNamed(dst, item->name);
  // A directory of the name is never overwritten by a file (the checks refuse this
  // beforehand; a caller that skipped them must not turn a directory into a file).
  if ((existing && !IsFileKind(existing->entry)) ||
      (existing && !ResolveConflict(c.state, c.asker, existing->entry, item))) {
    c.incomplete = true;
    return nullptr;
  }

  if (c.sourceDocument == nullptr) {
    if (existing) {
      if (ReplaceWithinArchive(existing->entry, item))
        c.state->changed = 1;
      else
        c.incomplete = true;
      return nullptr;
    }
    ArchiveNode* node = CloneFileEntry(dst, item, item->name);
    if (node)
      c.state->changed = 1;
    else
      c.incomplete = true;
    return node;
  }

  uint8_t* data = nullptr;
  uint32_t size = 0;
  if (!ReadItemBytes(c.sourceDocument, item, &data, &size, c.state)) {
    c.incomplete = true;
    return nullptr;
  }
  if (existing) {
    ReplaceWithMemoryFile(existing->entry, data, size);
    c.state->changed = 1;
    return nullptr;
  }
  ArchiveNode* node = AddMemoryFileNode(dst, item->name, data, size);
  if (node == nullptr) {
    std::free(data);
    c.incomplete = true;
    return nullptr;
  }
  c.state->changed = 1;
  return node;
}

// The directory of item's name in dst, made when there is none. *made tells which.
// Null when a file holds the name or the directory cannot be made.
ArchiveNode* MergeOrMakeDirectory(NodeCopyContext& c, ArchiveNode* dst, const ArchiveEntry* item,
                                  bool* made) {
  *made = false;
  ArchiveNode* existing = FindChildNamed(dst, item->name);
  if (existing) return IsKind(existing->entry, EntryKind::Directory) ? existing : nullptr;
  ArchiveNode* node = AddDirectoryNode(c.folderTree, dst, item->name);
  if (node == nullptr) return nullptr;
  c.state->changed = 1;
  *made = true;
  return node;
}

}  // namespace

bool CopyBytes(const uint8_t* data, uint32_t size, uint8_t** copy) {
  *copy = nullptr;
  if (size == 0) return true;
  if (data == nullptr) return false;
  *copy = static_cast<uint8_t*>(std::malloc(size));
  if (*copy == nullptr) return false;
  std::memcpy(*copy, data, size);
  return true;
}

ArchiveNode* CloneFileEntry(ArchiveNode* targetDir, const ArchiveEntry* entry, const char* name) {
  if (targetDir == nullptr || entry == nullptr || name == nullptr || !IsFileKind(entry)) return nullptr;
  auto* copy = static_cast<ArchiveEntry*>(std::calloc(1, sizeof(ArchiveEntry)));
  if (copy == nullptr) return nullptr;
  copy->kind = entry->kind & kEntryKindMask;
  copy->pakEntry = entry->pakEntry;
  copy->pk3Record = entry->pk3Record;
  copy->size = entry->size;
  copy->name = CopyString(name);
  bool ok = copy->name != nullptr;
  if (ok && IsKind(entry, EntryKind::MemoryFile)) ok = CopyBytes(entry->data, entry->size, &copy->data);
  ArchiveNode* node = ok ? Link(targetDir, copy) : nullptr;
  if (node == nullptr) FreeEntry(copy);
  return node;
}

ArchiveNode* AddMemoryFileNode(ArchiveNode* parent, const char* name, uint8_t* data, uint32_t size) {
  if (parent == nullptr || name == nullptr) return nullptr;
  auto* entry = static_cast<ArchiveEntry*>(std::calloc(1, sizeof(ArchiveEntry)));
  if (entry == nullptr) return nullptr;
  entry->kind = Kind(EntryKind::MemoryFile);
  entry->name = CopyString(name);
  ArchiveNode* node = entry->name ? Link(parent, entry) : nullptr;
  if (node == nullptr) {
    std::free(entry->name);
    std::free(entry);
    return nullptr;
  }
  entry->size = size;
  entry->data = size ? data : nullptr;
  return node;
}

void ReplaceWithMemoryFile(ArchiveEntry* entry, uint8_t* data, uint32_t size) {
  if (entry == nullptr) return;
  if ((entry->kind & Kind(EntryKind::MemoryFile)) && entry->data != data) std::free(entry->data);
  // The Viewing flag belongs to the viewer watch, which still holds this entry.
  entry->kind = Kind(EntryKind::MemoryFile) | (entry->kind & kViewingFlag);
  entry->pakEntry = nullptr;
  entry->pk3Record = nullptr;
  entry->size = size;
  entry->data = size ? data : nullptr;
}

ArchiveNode* CopyNodeInto(NodeCopyContext& c, ArchiveNode* targetDir, const ArchiveNode* item) {
  if (c.state == nullptr || targetDir == nullptr || item == nullptr || item->entry == nullptr)
    return nullptr;
  ArchiveNode* top = nullptr;
  c.incomplete = false;
  WalkPaired(item, targetDir, [&](const ArchiveNode* node, ArchiveNode* dst, bool& stop) {
    ArchiveNode* into = nullptr;
    stop = c.state->cancelled;
    if (stop) return into;
    const ArchiveEntry* e = node->entry;
    if (e && IsKind(e, EntryKind::Directory) && e->name) {
      bool made = false;
      into = MergeOrMakeDirectory(c, dst, e, &made);
      // A directory that could not be had leaves everything below it behind.
      if (into == nullptr) c.incomplete = true;
      if (node == item && made) top = into;
    } else if (e && IsFileKind(e) && e->name) {
      ArchiveNode* copy = CopyFile(c, dst, e);
      if (node == item) top = copy;
    } else {
      c.incomplete = true;
    }
    stop = c.state->cancelled;
    return into;
  });
  if (c.state->cancelled) c.incomplete = true;
  return top;
}
