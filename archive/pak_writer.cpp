#include "archive/pak_writer.h"

#include <cstdlib>
#include <cstring>

#include "archive/entry_data.h"
#include "archive/save_message.h"
#include "archive/writer_shared.h"

namespace {

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
  if (!AppendPath(w.path, w.pathLength, kPakNameSize, name, false)) {
    ShowSaveMessage(window, kMaxPathMessage);
    return false;
  }
  PakDirEntry* slot = TakeSlot(window, w);
  CutPath(w.path, w.pathLength, parentLength);
  if (slot == nullptr) return false;
  if (w.progress) w.progress->ShowItem(slot->name, size);

  // The offset and the end of the bytes must stay within the 32-bit fields.
  if (!OutputHasRoom(&w.output, size)) {
    ShowSaveMessagef(window, "Error writing %s%s", w.path, name);
    return false;
  }
  EntryBytes bytes;
  const EntryLoad load = LoadEntryBytes(w.source, e, &bytes);
  if (load != EntryLoad::Ok) {
    ShowLoadFailure(window, load, w.path, name);
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

  PointAtWritten(e, EntryKind::PakFile, slot, nullptr);
  if (w.progress) {
    w.progress->Step();
    // Stopped on request: abandoned like a failure whose message was shown already.
    if (w.progress->Cancelled()) return false;
  }
  return true;
}

// Writes a directory whose "name/" is on the writer's path. Only an empty one has an entry
// of its own: a name ending in "/" with no bytes.
bool WriteDirectoryEntry(SaveWindow& window, PakWriter& w, const ArchiveNode* node) {
  if (node->firstChild) return true;
  PakDirEntry* slot = TakeSlot(window, w);
  if (slot == nullptr) return false;
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

}  // namespace

int PakWriteNode(SaveWindow& window, PakWriter& w, ArchiveNode* top) {
  return WriteTree(
      window, top, w.path, w.pathLength, kPakNameSize,
      [&](const ArchiveNode* node) { return WriteDirectoryEntry(window, w, node); },
      [&](ArchiveEntry* e) { return WriteFile(window, w, e); });
}


PakArchive* PakSave(SaveWindow& window, ArchiveDocument* doc, const char* path, ArchiveNode** unmapped) {
  return PakSaveLimited(window, doc, path, kArchiveSizeLimit, unmapped);
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

  return ReopenSaved(w.archive->file, w.archive->path, path);
}

}  // namespace

PakArchive* PakSaveLimited(SaveWindow& window, ArchiveDocument* doc, const char* path,
                           uint64_t sizeLimit, ArchiveNode** unmapped) {
  ArchiveNode* copy = CopyForSave(window, doc);
  if (copy == nullptr) return nullptr;
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
  if (EndSave(doc, copy, &w.output, message, unmapped)) return w.archive;
  // The archive holds the written file open once it was reopened: closed first, so that
  // the file can go.
  PakClose(w.archive);
  OutputRemove(&w.output);
  ShowSaveFailure(window, message, path ? path : "");
  return nullptr;
}
