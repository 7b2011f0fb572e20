#include "panes/core/list_order.h"

#include <cstring>

#include "archive/formats.h"

uint32_t EntryDisplaySize(const ArchiveEntry* entry) {
  if (!entry) return 0;
  switch (KindOf(entry)) {
    case EntryKind::PakFile:
      return entry->pakEntry ? entry->pakEntry->length : 0;
    case EntryKind::Pk3File:
      return entry->pk3Record ? entry->pk3Record->Get32(zipc::kUncompressedSize) : 0;
    case EntryKind::MemoryFile:
      return entry->size;
    default:
      return 0;
  }
}

bool EntryHasSize(const ArchiveEntry* entry) {
  if (!entry) return false;
  EntryKind kind = KindOf(entry);
  return kind == EntryKind::PakFile || kind == EntryKind::Pk3File || kind == EntryKind::MemoryFile;
}

namespace {

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

int ByteOrder(const char* a, const char* b) {
  return Sign(std::strcmp(a ? a : "", b ? b : ""));
}

bool IsDirectoryBit(const ArchiveEntry* e) {
  return (e->kind & static_cast<uint32_t>(EntryKind::Directory)) != 0;
}

// Directories before files; 0 when both or neither are directories.
int DirectoryRule(const ArchiveEntry* a, const ArchiveEntry* b) {
  bool da = IsDirectoryBit(a), db = IsDirectoryBit(b);
  if (da && !db) return -1;
  if (db && !da) return 1;
  return 0;
}

int TypeOrder(const ArchiveEntry* a, const ArchiveEntry* b) {
  const char* ea = a->name ? std::strrchr(a->name, '.') : nullptr;
  const char* eb = b->name ? std::strrchr(b->name, '.') : nullptr;
  if (ea && eb) {
    int byExtension = ByteOrder(ea, eb);
    return byExtension != 0 ? byExtension : ByteOrder(a->name, b->name);
  }
  if (ea) return 1;
  if (eb) return -1;
  return ByteOrder(a->name, b->name);
}

}  // namespace

int CompareListEntries(const ArchiveEntry* first, const ArchiveEntry* second, uint32_t sortKey) {
  const uint32_t key = sortKey & 0xFF;
  // Folders come before files in either direction; only the order within each is reversed.
  if (first && second && (key == 1 || key == 2 || key == 4)) {
    const int d = DirectoryRule(first, second);
    if (d != 0) return d;
  }
  const ArchiveEntry* a = first;
  const ArchiveEntry* b = second;
  if (sortKey & 0x100) {
    a = second;
    b = first;
  }
  if (!a) return b ? -1 : 0;
  if (!b) return 1;
  switch (key) {
    case 1: {
      int d = DirectoryRule(a, b);
      return d != 0 ? d : ByteOrder(a->name, b->name);
    }
    case 2: {
      int d = DirectoryRule(a, b);
      return d != 0 ? d : TypeOrder(a, b);
    }
    case 4: {
      uint32_t sa = EntryDisplaySize(a), sb = EntryDisplaySize(b);
      if (sa != sb) return sa < sb ? -1 : 1;
      int d = DirectoryRule(a, b);
      return d != 0 ? d : ByteOrder(a->name, b->name);
    }
    default:
      return 0;
  }
}
