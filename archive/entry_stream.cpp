#include "archive/entry_stream.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "archive/crc32.h"
#include "archive/quoted_name.h"
#include "archive/source_file.h"

struct Pk3Sharing {
  // For each record, another record whose bytes overlap its own, or -1.
  std::vector<int32_t> partner;
};

void FreePk3Sharing(Pk3Sharing* sharing) { delete sharing; }

namespace {

// The overlaps of the source's records, found once: each record's bytes run from its local
// header to the end of its data, as the local header's lengths place it. Records whose local
// header cannot be read have no place to overlap (reading them fails on its own).
Pk3Sharing* SharingOf(Pk3Archive* pk3) {
  if (pk3->sharing != nullptr) return pk3->sharing;
  std::unique_ptr<Pk3Sharing> sharing(new (std::nothrow) Pk3Sharing);
  if (!sharing) return nullptr;
  const uint32_t count = pk3->TotalEntries();
  sharing->partner.assign(count, -1);
  struct Span {
    uint64_t start, end;
    uint32_t index;
  };
  std::vector<Span> spans;
  spans.reserve(count);
  for (uint32_t i = 0; i < count; ++i)
    spans.push_back({pk3->records[i].Get32(zipc::kLocalHeaderOffset), 0, i});
  // Read front to back, and swept in that order.
  std::sort(spans.begin(), spans.end(),
            [](const Span& a, const Span& b) { return a.start != b.start ? a.start < b.start : a.index < b.index; });
  size_t kept = 0;
  for (const Span& span : spans) {
    uint8_t header[kZipLocalSize];
    if (!source_file::ReadAt(pk3->file, span.start, header, sizeof header) ||
        GetLE32(header + zipl::kSignature) != kZipLocalSignature)
      continue;
    const Pk3CentralRecord& r = pk3->records[span.index];
    const uint64_t end = span.start + kZipLocalSize + GetLE16(header + zipl::kNameLength) +
                         GetLE16(header + zipl::kExtraLength) + r.Get32(zipc::kCompressedSize);
    spans[kept++] = Span{span.start, end, span.index};
  }
  spans.resize(kept);
  uint64_t reach = 0;  // the furthest end of the spans before
  int32_t holder = -1;  // whose span reaches that far
  for (const Span& span : spans) {
    if (holder >= 0 && span.start < reach) {
      sharing->partner[span.index] = holder;
      if (sharing->partner[holder] < 0) sharing->partner[holder] = static_cast<int32_t>(span.index);
    }
    if (holder < 0 || span.end > reach) {
      reach = span.end;
      holder = static_cast<int32_t>(span.index);
    }
  }
  pk3->sharing = sharing.release();
  return pk3->sharing;
}

int32_t SharingPartner(Pk3Archive* pk3, int index) {
  const Pk3Sharing* sharing = SharingOf(pk3);
  // Without memory for the table nothing is known to overlap; the read itself is bounded.
  return sharing ? sharing->partner[static_cast<size_t>(index)] : -1;
}

std::string StoredName(const Pk3CentralRecord& r) {
  return r.name ? std::string(r.name, r.Get16(zipc::kNameLength)) : std::string();
}

// Forwards plain bytes to the next sink, if any, taking their CRC-32 on the way.
class CrcSink : public ByteSink {
 public:
  explicit CrcSink(ByteSink* next) : next_(next) {}
  bool Take(const uint8_t* data, size_t size) override {
    crc = Crc32Update(crc, data, size);
    return next_ == nullptr || next_->Take(data, size);
  }
  uint32_t crc = 0;

 private:
  ByteSink* next_;
};

// Reads n bytes at offset in pieces and hands each to take(data, size), which returns
// false to stop. The buffer is no larger than the bytes need.
template <typename Take>
EntryLoad ReadPieces(FILE* file, uint64_t offset, uint64_t n, Take take) {
  const size_t room = n < kStreamPieceSize ? static_cast<size_t>(n) : kStreamPieceSize;
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[room ? room : 1]);
  if (!buffer) return EntryLoad::NoMemory;
  while (n > 0) {
    const size_t piece = n < room ? static_cast<size_t>(n) : room;
    if (!source_file::ReadPieceAt(file, offset, buffer.get(), piece)) return EntryLoad::ReadFailed;
    if (!take(buffer.get(), piece)) return EntryLoad::Stopped;
    offset += piece;
    n -= piece;
  }
  return EntryLoad::Ok;
}

EntryLoad StreamPak(PakArchive* pak, int index, ByteSink* sink) {
  const PakDirEntry& slot = pak->entries[index];
  if (slot.length == 0) return EntryLoad::Ok;
  const int64_t fileLength = source_file::Length(pak->file);
  if (fileLength < 0 || slot.offset > static_cast<uint64_t>(fileLength) ||
      slot.length > static_cast<uint64_t>(fileLength) - slot.offset)
    return EntryLoad::ReadFailed;
  return ReadPieces(pak->file, slot.offset, slot.length,
                    [sink](const uint8_t* data, size_t size) { return sink == nullptr || sink->Take(data, size); });
}

EntryLoad StreamPk3(Pk3Archive* pk3, int index, ByteSink* sink) {
  const Pk3CentralRecord& record = pk3->records[index];
  if (record.Get32(zipc::kUncompressedSize) == 0) return Pk3EmptyEntryCheck(record);
  Pk3EntryData where;
  const EntryLoad located = Pk3LocateEntry(pk3, index, &where);
  if (located != EntryLoad::Ok) return located;
  if (!where.deflated && where.uncompressedSize > where.available) return EntryLoad::ReadFailed;
  if (where.deflated && (where.compressedSize == 0 || where.compressedSize > where.available))
    return EntryLoad::ReadFailed;
  if (SharingPartner(pk3, index) >= 0) return EntryLoad::SharedData;

  CrcSink crc(sink);
  EntryLoad read;
  if (!where.deflated) {
    read = ReadPieces(pk3->file, where.offset, where.uncompressedSize,
                      [&crc](const uint8_t* data, size_t size) { return crc.Take(data, size); });
  } else {
    InflateStream inflater(where.uncompressedSize);
    InflateStream::Status status = InflateStream::Status::More;
    read = ReadPieces(pk3->file, where.offset, where.compressedSize, [&](const uint8_t* data, size_t size) {
      status = inflater.Feed(data, size, &crc);
      // A stream that ended needs none of the bytes after it.
      return status == InflateStream::Status::More;
    });
    if (read == EntryLoad::Stopped || read == EntryLoad::Ok) {
      switch (inflater.Finish()) {
        case InflateStream::Status::Ended:
          read = EntryLoad::Ok;
          break;
        case InflateStream::Status::Stopped:
          read = EntryLoad::Stopped;
          break;
        case InflateStream::Status::NoMemory:
          read = EntryLoad::NoMemory;
          break;
        default:
          read = EntryLoad::ReadFailed;
          break;
      }
    }
  }
  if (read != EntryLoad::Ok) return read;
  return crc.crc == record.Get32(zipc::kCrc32) ? EntryLoad::Ok : EntryLoad::CrcMismatch;
}

}  // namespace

EntryLoad StreamEntryBytes(const ArchiveDocument* doc, const ArchiveEntry* entry, ByteSink* sink) {
  if (entry == nullptr) return EntryLoad::NoBytes;
  switch (KindOf(entry)) {
    case EntryKind::PakFile: {
      PakArchive* pak = doc ? DocumentPak(doc) : nullptr;
      const int index = PakEntryIndex(pak, entry->pakEntry);
      if (index < 0 || pak->file == nullptr) return EntryLoad::NotInSource;
      return StreamPak(pak, index, sink);
    }
    case EntryKind::Pk3File: {
      Pk3Archive* pk3 = doc ? DocumentPk3(doc) : nullptr;
      const int index = Pk3EntryIndex(pk3, entry->pk3Record);
      if (index < 0 || pk3->file == nullptr) return EntryLoad::NotInSource;
      return StreamPk3(pk3, index, sink);
    }
    case EntryKind::MemoryFile:
      if (entry->size != 0 && entry->data == nullptr) return EntryLoad::ReadFailed;
      if (entry->size != 0 && sink != nullptr && !sink->Take(entry->data, entry->size)) return EntryLoad::Stopped;
      return EntryLoad::Ok;
    default:
      return EntryLoad::NoBytes;
  }
}

std::string EntrySharingPartner(const ArchiveDocument* doc, const ArchiveEntry* entry) {
  if (!IsKind(entry, EntryKind::Pk3File)) return std::string();
  Pk3Archive* pk3 = doc ? DocumentPk3(doc) : nullptr;
  const int index = Pk3EntryIndex(pk3, entry->pk3Record);
  if (index < 0 || pk3->file == nullptr) return std::string();
  const int32_t partner = SharingPartner(pk3, index);
  return partner >= 0 ? StoredName(pk3->records[partner]) : std::string();
}

std::string EntryLoadFailure(const ArchiveDocument* doc, const ArchiveEntry* entry, EntryLoad result) {
  if (result == EntryLoad::SharedData) {
    const std::string partner = EntrySharingPartner(doc, entry);
    if (!partner.empty()) return "it shares its data with " + QuotedName(partner.data(), partner.size());
  }
  return EntryLoadReason(result);
}
