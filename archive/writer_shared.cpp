#include "archive/writer_shared.h"

#include <cstdlib>
#include <cstring>

#include "archive/entry_data.h"
#include "archive/source_file.h"

bool IsContainer(const ArchiveEntry* e) {
  return IsKind(e, EntryKind::Root) || IsKind(e, EntryKind::Directory);
}

bool AppendPath(char* path, size_t& length, size_t capacity, const char* name, bool slash) {
  const size_t n = name ? std::strlen(name) : 0;
  const size_t total = length + n + (slash ? 1 : 0);
  if (total >= capacity) return false;
  if (n) std::memcpy(path + length, name, n);
  if (slash) path[length + n] = '/';
  length = total;
  path[total] = '\0';
  return true;
}

void CutPath(char* path, size_t& length, size_t newLength) {
  length = newLength;
  path[newLength] = '\0';
}

void CutDirectoryName(char* path, size_t& length, const ArchiveEntry* directory) {
  const size_t n = directory->name ? std::strlen(directory->name) : 0;
  CutPath(path, length, length - n - 1);
}

void PointAtWritten(ArchiveEntry* e, EntryKind kind, PakDirEntry* slot, Pk3CentralRecord* record) {
  if (!IsKind(e, kind)) e->kind = static_cast<uint32_t>(kind) | (e->kind & kViewingFlag);
  e->pakEntry = slot;
  e->pk3Record = record;
  e->size = 0;
  e->data = nullptr;
}

ArchiveNode* CopyForSave(SaveWindow& window, ArchiveDocument* doc) {
  ArchiveNode* copy = doc ? TreeCopy(doc->root, CopyEntry, FreeEntryRecord) : nullptr;
  if (copy == nullptr) ShowSaveMessage(window, "Error duplicating data");
  return copy;
}

const char* ReopenSaved(FILE*& file, char*& storedPath, const char* path) {
  file = std::fopen(path, "rb");
  if (file == nullptr) return "Error opening %s";
  storedPath = CopyString(path);
  if (storedPath == nullptr) return "Error opening %s";
  return nullptr;
}

bool EndSave(ArchiveDocument* doc, ArchiveNode* copy, ArchiveOutput* output, const char* message,
             ArchiveNode** unmapped) {
  if (message == nullptr && unmapped != nullptr) {
    *unmapped = copy;
    return true;
  }
  if (message == nullptr) MapEntriesBack(doc->root, copy);
  TreeFree(copy, FreeEntryRecord);
  if (message == nullptr) return true;
  OutputClose(output);
  return false;
}

void FreeEntryRecord(ArchiveEntry* entry) { std::free(entry); }

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

void CommitSave(ArchiveDocument* doc, ArchiveNode* copy) {
  if (doc != nullptr) MapEntriesBack(doc->root, copy);
  TreeFree(copy, FreeEntryRecord);
}

void AbandonSave(ArchiveNode* copy) { TreeFree(copy, FreeEntryRecord); }

CopyResult CopySourceBytes(FILE* from, uint64_t offset, uint64_t n, ArchiveOutput* out, uint8_t* buffer,
                           size_t bufferSize) {
  if (n == 0) return CopyResult::Ok;
  while (n > 0) {
    const size_t piece = n < bufferSize ? static_cast<size_t>(n) : bufferSize;
    if (!source_file::ReadPieceAt(from, offset, buffer, piece)) return CopyResult::ReadFailed;
    if (!OutputWrite(out, buffer, piece)) return CopyResult::WriteFailed;
    offset += piece;
    n -= piece;
  }
  return CopyResult::Ok;
}
