#include "archive/pak_writer.h"

#include <cstdlib>
#include <cstring>

#include "archive/entry_data.h"
#include "archive/save_message.h"

namespace {

bool IsContainer(const ArchiveEntry* e) {
  return IsKind(e, EntryKind::Root) || IsKind(e, EntryKind::Directory);
}

size_t NameLength(const ArchiveEntry* e) { return e->name ? std::strlen(e->name) : 0; }

// Appends name (and "/" for a directory prefix) to the writer's path; false when the
// result and its NUL would not fit the 56-byte name field.
bool AppendPath(PakWriter& w, const char* name, bool slash) {
  const size_t n = name ? std::strlen(name) : 0;
  const size_t total = w.pathLength + n + (slash ? 1 : 0);
  if (total >= kPakNameSize) return false;
  if (n) std::memcpy(w.path + w.pathLength, name, n);
  if (slash) w.path[w.pathLength + n] = '/';
  w.pathLength = total;
  w.path[total] = '\0';
  return true;
}

void CutPath(PakWriter& w, size_t length) {
  w.pathLength = length;
  w.path[length] = '\0';
}

// Takes the next directory slot for the entry at the writer's current path.
PakDirEntry* TakeSlot(SaveWindow& window, PakWriter& w) {
  if (w.archive->entryCount >= kPakMaxEntries) {
    ShowSaveMessage(window, kMaxFilesMessage);
    return nullptr;
  }
  PakDirEntry* slot = &w.archive->entries[w.archive->entryCount++];
  std::memset(slot->name, 0, sizeof slot->name);
  std::memcpy(slot->name, w.path, w.pathLength);
  return slot;
}

// Writes one file entry; the writer's path holds its parent's path.
bool WriteFile(SaveWindow& window, PakWriter& w, ArchiveEntry* e) {
  const size_t parentLength = w.pathLength;
  const char* name = e->name ? e->name : "";
  uint32_t size = 0;
  if (!EntryByteSize(w.source, e, &size)) {
    ShowSaveMessagef(window, "No such file %s%s", w.path, name);
    return false;
  }
  if (!AppendPath(w, name, false)) {
    ShowSaveMessage(window, kMaxPathMessage);
    return false;
  }
  PakDirEntry* slot = TakeSlot(window, w);
  CutPath(w, parentLength);
  if (slot == nullptr) return false;
  if (w.progress) w.progress->ShowItem(slot->name, size);

  // The offset and the end of the bytes must stay within the 32-bit fields.
  if (!OutputHasRoom(&w.output, size)) {
    ShowSaveMessagef(window, "Error writing %s%s", w.path, name);
    return false;
  }
  EntryBytes bytes;
  switch (LoadEntryBytes(w.source, e, &bytes)) {
    case EntryLoad::Ok:
      break;
    case EntryLoad::NoMemory:
      ShowSaveMessagef(window, "Error allocating memory for %s%s", w.path, name);
      return false;
    case EntryLoad::NotInSource:
      ShowSaveMessagef(window, "No such file %s%s", w.path, name);
      return false;
    default:
      ShowSaveMessagef(window, "Error loading %s%s", w.path, name);
      return false;
  }
  const uint64_t offset = w.output.position;
  const bool written = OutputWrite(&w.output, bytes.data, bytes.size);
  ReleaseEntryBytes(&bytes);
  if (!written) {
    ShowSaveMessagef(window, "Error writing %s%s", w.path, name);
    return false;
  }
  slot->offset = static_cast<uint32_t>(offset);
  slot->length = size;

  // The copy now describes a file of the new archive; the fields of its former kind are
  // cleared so that nothing in it points at bytes it no longer owns.
  if (!IsKind(e, EntryKind::PakFile))
    e->kind = static_cast<uint32_t>(EntryKind::PakFile) | (e->kind & kViewingFlag);
  e->pakEntry = slot;
  e->pk3Record = nullptr;
  e->size = 0;
  e->data = nullptr;
  if (w.progress) w.progress->Step();
  return true;
}

// Writes one node; on the way down a directory with children extends the path.
bool VisitNode(SaveWindow& window, PakWriter& w, ArchiveNode* node) {
  ArchiveEntry* e = node->entry;
  if (e == nullptr) {
    ShowSaveMessage(window, "Unknown type");
    return false;
  }
  switch (KindOf(e)) {
    case EntryKind::Root:
      return true;
    case EntryKind::Directory: {
      const size_t parentLength = w.pathLength;
      if (!AppendPath(w, e->name, true)) {
        ShowSaveMessage(window, kMaxPathMessage);
        return false;
      }
      if (node->firstChild) return true;
      // An empty directory survives as a name ending in "/" with no bytes.
      PakDirEntry* slot = TakeSlot(window, w);
      CutPath(w, parentLength);
      if (slot == nullptr) return false;
      slot->offset = 0;
      slot->length = 0;
      return true;
    }
    case EntryKind::PakFile:
    case EntryKind::Pk3File:
    case EntryKind::MemoryFile:
      return WriteFile(window, w, e);
    default:
      ShowSaveMessage(window, "Unknown type");
      return false;
  }
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

char* CopyString(const char* text) {
  const size_t n = std::strlen(text) + 1;
  char* copy = static_cast<char*>(std::malloc(n));
  if (copy) std::memcpy(copy, text, n);
  return copy;
}

}  // namespace

void FreeEntryRecord(ArchiveEntry* entry) { std::free(entry); }

int PakWriteNode(SaveWindow& window, PakWriter& w, ArchiveNode* top) {
  if (top == nullptr) return 1;
  // Iterative: a tree can be deeper than the stack allows recursion for.
  ArchiveNode* node = top;
  for (;;) {
    const size_t before = w.pathLength;
    if (!VisitNode(window, w, node)) return 0;
    if (node->firstChild && IsContainer(node->entry)) {
      node = node->firstChild;
      continue;
    }
    CutPath(w, before);
    for (;;) {
      if (node == top) return 1;
      if (node->nextSibling) {
        node = node->nextSibling;
        break;
      }
      node = node->parent;
      // Leaving a directory takes its "name/" off the path again.
      if (IsKind(node->entry, EntryKind::Directory)) CutPath(w, w.pathLength - NameLength(node->entry) - 1);
    }
  }
}

void MapEntriesBack(ArchiveNode* docTop, ArchiveNode* copyTop) {
  if (docTop == nullptr || copyTop == nullptr) return;
  ArchiveNode* d = docTop;
  ArchiveNode* c = copyTop;
  for (;;) {
    ArchiveEntry* de = d->entry;
    ArchiveEntry* ce = c->entry;
    if (de && ce) {
      switch (KindOf(de)) {
        case EntryKind::MemoryFile:
          std::free(de->data);
          *de = *ce;
          break;
        case EntryKind::PakFile:
        case EntryKind::Pk3File:
          *de = *ce;
          break;
        default:
          break;
      }
    }
    if (d->firstChild && c->firstChild && IsContainer(d->entry)) {
      d = d->firstChild;
      c = c->firstChild;
      continue;
    }
    for (;;) {
      if (d == docTop) return;
      if (d->nextSibling && c->nextSibling) {
        d = d->nextSibling;
        c = c->nextSibling;
        break;
      }
      d = d->parent;
      c = c->parent;
    }
  }
}

PakArchive* PakSave(SaveWindow& window, ArchiveDocument* doc, const char* path) {
  return PakSaveLimited(window, doc, path, kArchiveSizeLimit);
}

namespace {

// The steps between creating the file and reopening it. Returns null on success, or the
// failure's message: empty when it was shown already, "%s" formats take the path.
const char* WriteArchive(SaveWindow& window, PakWriter& w, ArchiveNode* copy, const char* path) {
  if (!OutputCreate(&w.output, path, w.output.limit)) return "Error opening %s";
  window.Repaint();
  w.progress = window.OpenProgress(TreeCountLeaves(copy));
  // The header goes in last, once the directory's place is known.
  if (!OutputSeek(&w.output, kPakHeaderSize)) return "Error writing PAK header";
  if (!PakWriteNode(window, w, copy)) return "";

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

  w.archive->file = std::fopen(path, "rb");
  if (w.archive->file == nullptr) return "Error opening %s";
  w.archive->path = CopyString(path);
  if (w.archive->path == nullptr) return "Error opening %s";
  return nullptr;
}

}  // namespace

PakArchive* PakSaveLimited(SaveWindow& window, ArchiveDocument* doc, const char* path,
                           uint64_t sizeLimit) {
  ArchiveNode* copy = doc ? TreeCopy(doc->root, CopyEntry, FreeEntryRecord) : nullptr;
  if (copy == nullptr) {
    ShowSaveMessage(window, "Error duplicating data");
    return nullptr;
  }
  PakWriter w{};
  w.source = doc;
  w.output.limit = sizeLimit;
  w.archive = static_cast<PakArchive*>(std::calloc(1, sizeof(PakArchive)));
  const char* message = "Error creating PAK";
  if (w.archive) {
    std::memcpy(w.archive->header.magic, "PACK", 4);
    message = WriteArchive(window, w, copy, path ? path : "");
  }
  if (w.progress) w.progress->Close();
  if (message == nullptr) {
    MapEntriesBack(doc->root, copy);
    TreeFree(copy, FreeEntryRecord);
    return w.archive;
  }
  TreeFree(copy, FreeEntryRecord);
  OutputClose(&w.output);
  PakClose(w.archive);
  if (std::strstr(message, "%s"))
    ShowSaveMessagef(window, message, path ? path : "");
  else if (*message)
    ShowSaveMessage(window, message);
  return nullptr;
}
