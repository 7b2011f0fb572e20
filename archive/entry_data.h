// Reading the bytes of file entries: from a PAK or PK3 source on demand, or
// from the entry itself for files held in memory.
#pragma once

#include <cstdint>

#include "archive/document.h"
#include "archive/formats.h"
#include "archive/tree.h"

enum class EntryLoad {
  Ok,
  NotInSource,     // a PAK or PK3 entry that does not belong to the document's source
  NoMemory,        // no buffer for the bytes
  ReadFailed,      // the source cannot deliver the bytes (damaged, truncated)
  NoBytes,         // the entry is not a file
  Encrypted,       // the entry is encrypted
  Unsupported,     // compressed by a method other than stored and deflated
  CrcMismatch,     // the bytes read do not match the record's CRC-32
  HeaderMismatch,  // the local header disagrees with the central record
};

// Why an entry could not be read, as the end of a sentence naming it ("it is encrypted").
const char* EntryLoadReason(EntryLoad result);

// Slot number of entry within archive->entries; negative when the pointer lies outside
// the 4096 slots or between two of them.
int PakEntryIndex(const PakArchive* archive, const PakDirEntry* entry);
// Reads the entry's bytes into buffer. 1 on success; 0 when the archive is not open,
// the index is not a valid entry, the entry is empty or larger than bufferSize, or the
// bytes cannot be read whole.
int PakReadEntry(PakArchive* archive, int index, uint8_t* buffer, uint32_t bufferSize);

// Position of record within archive->records; -1 when it is 65535 or more or the pointer
// lies outside the array or between two records.
int Pk3EntryIndex(const Pk3Archive* archive, const Pk3CentralRecord* record);
// Reads the entry, inflating it when deflated, into buffer; the entry's uncompressed
// size must fit bufferSize. 1 on success: the bytes match the record's CRC-32.
int Pk3ReadEntry(Pk3Archive* archive, int index, uint8_t* buffer, uint32_t bufferSize);
// Reads the entry's stored bytes (the compressed form when deflated) without inflating;
// its compressed size must fit bufferSize. 1 on success.
int Pk3ReadRaw(Pk3Archive* archive, int index, uint8_t* buffer, uint32_t bufferSize);

// Where a PK3 entry's stored bytes lie, found through its local header.
struct Pk3EntryData {
  uint64_t offset;     // file offset of the first stored byte
  uint64_t available;  // bytes from offset to the end of the file
  uint32_t compressedSize;
  uint32_t uncompressedSize;
  bool deflated;  // false: stored, as the local header says
};
// Reads and checks the entry's local header. Ok when the entry can be read: it is neither
// encrypted nor compressed by a method other than stored and deflated, its local header
// agrees with the central record (name length, method, and sizes unless they follow the
// data), and its data starts inside the file. Checked before any buffer is sized from the
// record's counts.
EntryLoad Pk3LocateEntry(Pk3Archive* archive, int index, Pk3EntryData* data);
// The central record alone says the entry can be read (not encrypted, a known method).
EntryLoad Pk3RecordReadable(const Pk3CentralRecord& record);
// An entry whose record says it is empty has no bytes to check, but one that cannot be read
// at all (encrypted, an unknown method) is refused, and so is one whose CRC-32 is not that
// of no bytes.
EntryLoad Pk3EmptyEntryCheck(const Pk3CentralRecord& record);
// 1 when the entry's compressed bytes (for Pk3ReadRaw) lie inside the file.
int Pk3RawFits(const Pk3EntryData& data);

// ---- Bytes of any file entry ----

struct EntryBytes {
  uint8_t* data;  // null when size is 0
  uint32_t size;
  bool owned;  // true: a heap block the caller frees (ReleaseEntryBytes); false: the entry's own
};

// The two halves of reading a located entry, for a save that reads its source on one
// thread and inflates on others. Pk3ReadStored reads the bytes as they lie in the file (the
// compressed form when deflated) into a new block, refusing sizes the file cannot hold.
// Pk3DecodeStored makes the uncompressedSize plain bytes from them (plain may be stored
// itself when the entry is not deflated) and checks them against crc.
EntryLoad Pk3ReadStored(Pk3Archive* archive, const Pk3EntryData& data, EntryBytes* stored);
EntryLoad Pk3DecodeStored(const Pk3EntryData& data, uint32_t crc, const uint8_t* stored, uint8_t* plain);

// The size of a file entry's bytes by its kind; false for entries that are not files or
// do not belong to the source.
bool EntryByteSize(const ArchiveDocument* doc, const ArchiveEntry* entry, uint32_t* size);

// The bytes of a file entry. A MemoryFile lends its own buffer (owned false); PAK and PK3
// entries are read into a new block of exactly their size. An empty file gives no block.
EntryLoad LoadEntryBytes(const ArchiveDocument* doc, const ArchiveEntry* entry, EntryBytes* bytes);
// Frees the block of an owned result and clears it.
void ReleaseEntryBytes(EntryBytes* bytes);
