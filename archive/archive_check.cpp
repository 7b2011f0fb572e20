#include "archive/archive_check.h"

#include <cstring>

#include "archive/entry_data.h"
#include "archive/entry_stream.h"
#include "archive/source_file.h"

namespace {

bool IsFile(const ArchiveEntry* e) {
  return IsKind(e, EntryKind::PakFile) || IsKind(e, EntryKind::Pk3File) || IsKind(e, EntryKind::MemoryFile);
}

std::string PakSlotName(const PakDirEntry& slot) {
  // A name that fills all 56 bytes has no terminating NUL.
  const void* nul = std::memchr(slot.name, '\0', kPakNameSize);
  return std::string(slot.name, nul ? static_cast<size_t>(static_cast<const char*>(nul) - slot.name) : kPakNameSize);
}

// Where a PAK entry's bytes lie, against the file's length and the places of its header
// and directory. Empty when they lie well; otherwise why not.
std::string PakBounds(const PakArchive* pak, const PakDirEntry& slot, uint64_t fileLength) {
  if (slot.length == 0) return std::string();
  const uint64_t start = slot.offset, end = start + slot.length;
  if (start > fileLength || slot.length > fileLength - start)
    return "its data (" + std::to_string(slot.length) + " bytes at offset " + std::to_string(start) +
           ") runs past the end of the file (" + std::to_string(fileLength) + " bytes)";
  if (start < kPakHeaderSize) return "its data overlaps the archive's header";
  const uint64_t dirStart = pak->header.dirOffset;
  const uint64_t dirEnd = dirStart + static_cast<uint64_t>(pak->entryCount) * kPakDirEntrySize;
  if (dirEnd > dirStart && start < dirEnd && end > dirStart) return "its data overlaps the archive's directory";
  return std::string();
}

}  // namespace

uint32_t CountCheckedEntries(const ArchiveDocument* doc) {
  if (doc == nullptr || doc->root == nullptr) return 0;
  uint32_t count = 0;
  for (const ArchiveNode* n = doc->root; n; n = NextInSubtree(n, doc->root))
    if (IsFile(n->entry)) ++count;
  return count;
}

ArchiveCheckResult CheckArchiveEntries(const ArchiveDocument* doc, SaveProgress* progress) {
  ArchiveCheckResult result;
  if (doc == nullptr || doc->root == nullptr) return result;
  PakArchive* pak = DocumentPak(doc);
  uint64_t pakLength = 0;
  if (pak && pak->file) {
    const int64_t length = source_file::Length(pak->file);
    pakLength = length > 0 ? static_cast<uint64_t>(length) : 0;
  }
  for (const ArchiveNode* n = doc->root; n; n = NextInSubtree(n, doc->root)) {
    const ArchiveEntry* e = n->entry;
    if (!IsFile(e)) continue;
    if (progress && progress->Cancelled()) {
      result.cancelled = true;
      break;
    }
    ++result.files;
    std::string stored = e->name ? e->name : "";
    std::string why;
    uint32_t size = 0;
    EntryByteSize(doc, e, &size);
    if (IsKind(e, EntryKind::PakFile) && pak && PakEntryIndex(pak, e->pakEntry) >= 0) {
      stored = PakSlotName(*e->pakEntry);
      why = PakBounds(pak, *e->pakEntry, pakLength);
    } else if (IsKind(e, EntryKind::Pk3File) && Pk3EntryIndex(DocumentPk3(doc), e->pk3Record) >= 0 &&
               e->pk3Record->name) {
      stored.assign(e->pk3Record->name, e->pk3Record->Get16(zipc::kNameLength));
    }
    if (progress) progress->ShowItem(stored.c_str(), size);
    if (why.empty() && !IsKind(e, EntryKind::MemoryFile)) {
      // Read in pieces and dropped: the check takes the same memory whatever the entry's size.
      const EntryLoad load = StreamEntryBytes(doc, e, nullptr);
      if (load != EntryLoad::Ok) why = EntryLoadFailure(doc, e, load);
    }
    if (!why.empty()) result.damaged.push_back(DamagedEntry{stored, why});
    if (progress) progress->Step();
  }
  return result;
}
