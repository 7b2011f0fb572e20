// Reading a file entry's bytes in pieces, so that testing, extracting and exporting an entry
// of any size take the same few hundred kilobytes; and finding the entries of a PK3 whose
// stored bytes overlap, which a crafted archive uses to make a small file stand for many
// large ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/deflate.h"
#include "archive/entry_data.h"

// The size of the pieces a source is read in.
constexpr size_t kStreamPieceSize = 256 * 1024;

// Reads the plain bytes of a file entry in pieces into sink (null: they are only read and
// checked), with the checks LoadEntryBytes makes: a PK3 entry must inflate to its recorded
// size and match its CRC-32, a PAK entry must lie inside the file. A PK3 entry whose stored
// bytes overlap another entry's is refused (SharedData) before anything is read. The sink
// may have taken bytes of an entry that turns out damaged further on: only Ok says they
// were all good. Stopped when the sink refused a piece.
EntryLoad StreamEntryBytes(const ArchiveDocument* doc, const ArchiveEntry* entry, ByteSink* sink);

// The stored name of another entry of the document's PK3 source whose stored bytes (local
// header and data) overlap those of entry; empty when there is none. The local headers are
// read once, when the first entry of a source is asked about.
std::string EntrySharingPartner(const ArchiveDocument* doc, const ArchiveEntry* entry);

// Why an entry cannot be read, as the end of a sentence naming it: EntryLoadReason, with the
// other entry named for SharedData ("it shares its data with \"a.txt\"").
std::string EntryLoadFailure(const ArchiveDocument* doc, const ArchiveEntry* entry, EntryLoad result);

// The overlaps of a PK3 source's records, kept with the open archive.
struct Pk3Sharing;
void FreePk3Sharing(Pk3Sharing* sharing);
