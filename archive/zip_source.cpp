#include "archive/zip_source.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "archive/crc32.h"
#include "archive/deflate.h"
#include "archive/formats_internal.h"
#include "archive/source_file.h"
#include "archive/stored_reading.h"
#include "archive/zip64_extra.h"

namespace {

// ---- The central directory ----

// The end record is searched for in the last 64 KB of the file, read in one block.
constexpr uint32_t kEndSearchSize = 65536;

// The central directory is parsed from a window of the file that is refilled as the parse
// moves on, so opening costs a few reads instead of three calls per record, and memory stays
// bounded whatever the offsets claim. The window is larger than the largest record (46 bytes
// plus three 16-bit lengths).
constexpr size_t kWindowSize = 256 * 1024;

struct WindowReader {
  FILE* file;
  uint64_t fileLength;
  std::vector<uint8_t> buffer = std::vector<uint8_t>(kWindowSize);
  uint64_t bufferStart = 0;  // file offset of buffer[0]
  size_t bufferLength = 0;
  uint64_t position;  // file offset of the next byte to take

  WindowReader(FILE* f, uint64_t length, uint64_t start) : file(f), fileLength(length), position(start) {}

  // Pointer to the n bytes at the position, which then moves past them; null when they are
  // not all in the file, or cannot be read.
  const uint8_t* Take(size_t n) {
    if (position > fileLength || n > fileLength - position) return nullptr;
    if (position < bufferStart || position - bufferStart > bufferLength ||
        n > bufferLength - (position - bufferStart)) {
      const uint64_t left = fileLength - position;
      const size_t want = left < kWindowSize ? static_cast<size_t>(left) : kWindowSize;
      if (!source_file::SeekTo(file, position)) return nullptr;
      bufferLength = std::fread(buffer.data(), 1, want, file);
      bufferStart = position;
      if (bufferLength < n) return nullptr;
    }
    const uint8_t* p = buffer.data() + (position - bufferStart);
    position += n;
    return p;
  }

  // Moves the position forward; the bytes need not exist unless taken later.
  void Skip(uint64_t n) { position += n; }

  // Why the last Take failed.
  Failure TakeFailure(size_t n) const {
    const bool inFile = position <= fileLength && n <= fileLength - position;
    return Fail(inFile ? Problem::Unreadable : Problem::CentralPastEnd);
  }
};

// What the end records say about the central directory.
struct CentralDirectory {
  uint64_t count;
  uint64_t size;
  uint64_t offset;
  bool zip64 = false;  // the values come from a ZIP64 end record
};

// Finds the end record; *position receives its file offset.
Failure FindEndRecord(FILE* f, uint64_t fileLength, uint8_t* endRecord, uint64_t* position) {
  if (fileLength < kZipEndSize) return Fail(Problem::NoEndRecord);
  uint8_t last[2];
  if (!source_file::ReadAt(f, fileLength - 2, last, 2)) return Fail(Problem::Unreadable);
  if (last[0] == 0 && last[1] == 0) {
    *position = fileLength - kZipEndSize;
    if (!source_file::ReadAt(f, *position, endRecord, kZipEndSize)) return Fail(Problem::Unreadable);
    return GetLE32(endRecord + zipe::kSignature) == kZipEndSignature ? Failure() : Fail(Problem::NoEndRecord);
  }

  // An archive comment follows the record: search backwards for a signature whose comment
  // length reaches exactly the end of the file. When none does, the signature nearest the
  // end says what is wrong.
  const uint32_t n = fileLength < kEndSearchSize ? static_cast<uint32_t>(fileLength) : kEndSearchSize;
  std::vector<uint8_t> tail(n);
  if (!source_file::ReadAt(f, fileLength - n, tail.data(), n)) return Fail(Problem::Unreadable);
  Problem nearest = Problem::NoEndRecord;
  for (uint32_t pos = n - kZipEndSize;; --pos) {
    const uint8_t* p = tail.data() + pos;
    if (GetLE32(p + zipe::kSignature) == kZipEndSignature) {
      const uint32_t reach = pos + kZipEndSize + GetLE16(p + zipe::kCommentLength);
      if (reach == n) {
        std::memcpy(endRecord, p, kZipEndSize);
        *position = fileLength - n + pos;
        return Failure();
      }
      if (nearest == Problem::NoEndRecord)
        nearest = reach > n ? Problem::CommentPastEnd : Problem::CommentShortOfEnd;
    }
    if (pos == 0) return Fail(nearest);
  }
}

// The central directory as the end records describe it. An archive with a ZIP64 locator
// right before its end record takes the ZIP64 end record's values, which writers give even
// when the classic fields could have held them.
Failure DescribeCentralDirectory(FILE* f, const uint8_t* endRecord, uint64_t endPosition, CentralDirectory* cd) {
  cd->count = GetLE16(endRecord + zipe::kTotalEntries);
  cd->size = GetLE32(endRecord + zipe::kCentralSize);
  cd->offset = GetLE32(endRecord + zipe::kCentralOffset);
  uint8_t locator[kZip64LocatorSize];
  if (endPosition < kZip64LocatorSize ||
      !source_file::ReadAt(f, endPosition - kZip64LocatorSize, locator, sizeof locator) ||
      GetLE32(locator + zip64::kLocatorSignature) != kZip64LocatorSignature)
    return Failure();
  const uint64_t at = GetLE64(locator + zip64::kLocatorEndOffset);
  uint8_t end64[kZip64EndSize];
  if (at > endPosition || kZip64EndSize > endPosition - at || !source_file::ReadAt(f, at, end64, sizeof end64) ||
      GetLE32(end64 + zip64::kEndSignature) != kZip64EndSignature)
    return Fail(Problem::Zip64EndDamaged);
  cd->zip64 = true;
  cd->count = GetLE64(end64 + zip64::kEndTotalEntries);
  cd->size = GetLE64(end64 + zip64::kEndCentralSize);
  cd->offset = GetLE64(end64 + zip64::kEndCentralOffset);
  return Failure();
}

// Counts the records that follow the last one read, up to the end of the directory as its
// size gives it. Zero when what follows is not a central record.
uint64_t CountFurtherRecords(WindowReader& reader, uint64_t end) {
  uint64_t more = 0;
  while (reader.position < end) {
    const uint8_t* fixed = reader.Take(kZipCentralSize);
    if (fixed == nullptr || GetLE32(fixed + zipc::kSignature) != kZipCentralSignature) break;
    ++more;
    reader.Skip(static_cast<uint64_t>(GetLE16(fixed + zipc::kNameLength)) + GetLE16(fixed + zipc::kExtraLength) +
                GetLE16(fixed + zipc::kCommentLength));
  }
  return more;
}

// Reads the record's extra field and puts the values of its ZIP64 field into the 32-bit
// fields that stand for them; a value that does not fit 32 bits refuses the archive.
Failure ApplyZip64Extra(ZipRecordHeader& record, std::string_view name, const uint8_t* extra, uint16_t extraLength) {
  Zip64Values values;
  values.uncompressed = record.Get32(zipc::kUncompressedSize);
  values.compressed = record.Get32(zipc::kCompressedSize);
  values.offset = record.Get32(zipc::kLocalHeaderOffset);
  if (!ReadZip64Extra(extra, extraLength, &values)) return Failure();
  if (values.uncompressed >= 0xFFFFFFFFu || values.compressed >= 0xFFFFFFFFu)
    return Fail(Problem::EntryTooLarge, std::string(name));
  if (values.offset >= 0xFFFFFFFFu) return Fail(Problem::EntryBeyond4GB, std::string(name));
  record.Set32(zipc::kUncompressedSize, static_cast<uint32_t>(values.uncompressed));
  record.Set32(zipc::kCompressedSize, static_cast<uint32_t>(values.compressed));
  record.Set32(zipc::kLocalHeaderOffset, static_cast<uint32_t>(values.offset));
  return Failure();
}

Failure Counted(Problem problem, uint64_t index, uint64_t count) {
  Failure f = Fail(problem);
  f.index = index;
  f.count = count;
  return f;
}

// ---- Entries ----

// Deflate codes at best two bits for a 258-byte match, so one compressed byte yields at
// most 1032 bytes. A record claiming more than that is damaged, and sizing a buffer by it
// would let a tiny file ask for gigabytes.
constexpr uint64_t kMaxInflateRatio = 1032;

bool InflatedFits(const StoredBytes& where, uint64_t available) {
  if (!where.deflated) return where.size <= available;
  return where.storedSize != 0 && where.storedSize <= available &&
         where.size <= static_cast<uint64_t>(where.storedSize) * kMaxInflateRatio + 258;
}

// The local header's sizes, through its ZIP64 field when they hold the marker; extra is
// the header's extra field. False when the field cannot be read.
bool LocalSizes(const uint8_t* header, const uint8_t* extra, Zip64Values* sizes) {
  sizes->uncompressed = GetLE32(header + zipl::kUncompressedSize);
  sizes->compressed = GetLE32(header + zipl::kCompressedSize);
  sizes->offset = 0;
  if (!NeedsZip64Extra(static_cast<uint32_t>(sizes->uncompressed), static_cast<uint32_t>(sizes->compressed), 0))
    return true;
  return extra != nullptr && ReadZip64Extra(extra, GetLE16(header + zipl::kExtraLength), sizes);
}

// The local header tells the same story as the central record: a mismatch means one of
// them is damaged, and trusting either could cut the entry short or misread it. extra is
// the header's extra field, null when it could not be read.
bool LocalAgrees(const uint8_t* header, const uint8_t* extra, const ZipRecordHeader& record) {
  if (GetLE16(header + zipl::kNameLength) != record.Get16(zipc::kNameLength) ||
      GetLE16(header + zipl::kMethod) != record.Get16(zipc::kMethod))
    return false;
  // With a data descriptor the local sizes may be zero: they follow the data instead.
  if ((GetLE16(header + zipl::kFlags) | record.Get16(zipc::kFlags)) & kZipFlagDescriptor) return true;
  Zip64Values sizes;
  if (!LocalSizes(header, extra, &sizes)) return false;
  return sizes.uncompressed == record.Get32(zipc::kUncompressedSize) &&
         sizes.compressed == record.Get32(zipc::kCompressedSize);
}

// What the central record alone tells of where an entry's bytes lie, once its local header
// put its data at offset (0: not reached, which leaves the rest unknown too). Every field
// of *where is set, each on its own: whoever reads one back soon after reads it as written.
void WhereByRecord(const ZipRecordHeader& record, uint64_t offset, StoredBytes* where) {
  where->offset = offset;
  where->storedSize = offset != 0 ? record.Get32(zipc::kCompressedSize) : 0;
  where->size = record.Get32(zipc::kUncompressedSize);
  where->deflated = offset != 0 && record.Get16(zipc::kMethod) == kZipDeflated;
  where->hasCrc = true;
  where->crc = record.Get32(zipc::kCrc32);
}

// Where a record's data starts, from its local header (null when it could not be read) and
// the header's extra field (null when that could not be read), and what reading it would
// meet: what Locate gives. *dataOffset stays 0 when the header is not reached.
EntryLoad LocateByHeader(const ZipRecordHeader& record, uint64_t fileLength, const uint8_t* header, const uint8_t* extra,
                         uint64_t* dataOffset) {
  *dataOffset = 0;
  const EntryLoad readable = ZipSource::Readable(record);
  if (readable != EntryLoad::Ok) return readable;
  const uint64_t local = record.Get32(zipc::kLocalHeaderOffset);
  if (local > fileLength || kZipLocalSize > fileLength - local) return EntryLoad::ReadFailed;
  if (header == nullptr || GetLE32(header + zipl::kSignature) != kZipLocalSignature) return EntryLoad::ReadFailed;
  if (!LocalAgrees(header, extra, record)) return EntryLoad::HeaderMismatch;
  // The local lengths decide where the data starts; the extra field may differ from the
  // central one.
  const uint64_t offset =
      local + kZipLocalSize + GetLE16(header + zipl::kNameLength) + GetLE16(header + zipl::kExtraLength);
  if (offset > fileLength) return EntryLoad::ReadFailed;
  *dataOffset = offset;
  StoredBytes where;
  WhereByRecord(record, offset, &where);
  // Stored bytes are their own compressed form: two sizes for them cannot both be right.
  if (!where.deflated && where.storedSize != where.size) return EntryLoad::ReadFailed;
  if (where.size != 0 && !InflatedFits(where, fileLength - offset)) return EntryLoad::ReadFailed;
  return EntryLoad::Ok;
}

// Local headers read front to back from blocks of the file: one read brings the headers
// of many small neighbouring entries, and the blocks grow no larger than the headers ahead
// need, so an archive of large entries reads little more than its headers.
class HeaderBlocks {
 public:
  HeaderBlocks(FILE* file, uint64_t fileLength) : file_(file), fileLength_(fileLength) {}
  static constexpr size_t kBlock = 64 * 1024;

  // The n bytes at offset, or null when they are not all in the file or cannot be read.
  // When they must be read, the read runs on to reach, if that is within a block.
  const uint8_t* At(uint64_t offset, size_t n, uint64_t reach) {
    if (offset > fileLength_ || n > fileLength_ - offset) return nullptr;
    if (offset >= start_ && offset - start_ <= length_ && n <= length_ - (offset - start_))
      return block_.data() + (offset - start_);
    uint64_t want = reach > offset ? reach - offset : n;
    if (want > kBlock) want = kBlock;
    if (want < n) want = n;
    if (want > fileLength_ - offset) want = fileLength_ - offset;
    if (block_.size() < want) block_.resize(static_cast<size_t>(want));
    length_ = 0;
    if (!source_file::ReadPieceAt(file_, offset, block_.data(), static_cast<size_t>(want))) return nullptr;
    start_ = offset;
    length_ = static_cast<size_t>(want);
    return block_.data();
  }

 private:
  FILE* file_;
  uint64_t fileLength_;
  std::vector<uint8_t> block_;
  uint64_t start_ = 0;
  size_t length_ = 0;
};

}  // namespace

Failure ZipSource::ReadDirectory() {
  const int64_t length = FileLength();
  if (length < 0) return Fail(Problem::Unreadable);
  const uint64_t fileLength = static_cast<uint64_t>(length);
  uint8_t endRecord[kZipEndSize];
  uint64_t endPosition = 0;
  Failure why = FindEndRecord(file_, fileLength, endRecord, &endPosition);
  if (why) return why;
  // The archive's comment, which reaches the end of the file.
  comment_.resize(GetLE16(endRecord + zipe::kCommentLength));
  if (!comment_.empty() && !source_file::ReadAt(file_, endPosition + kZipEndSize, &comment_[0], comment_.size()))
    return Fail(Problem::Unreadable);
  CentralDirectory cd;
  why = DescribeCentralDirectory(file_, endRecord, endPosition, &cd);
  if (why) return why;
  zip64_ = cd.zip64;

  const uint64_t count = cd.count;
  if (cd.offset > fileLength) return Fail(Problem::CentralPastEnd);
  // Every record takes at least its fixed part: a count the file cannot hold is refused
  // before anything is allocated for it.
  if (count > (fileLength - cd.offset) / kZipCentralSize) return Fail(Problem::CentralPastEnd);
  if (count > kZipMaxOpenEntries) {
    Failure f = Fail(Problem::TooManyToOpen);
    f.count = count;
    f.limit = kZipMaxOpenEntries;
    return f;
  }
  // Each record is made where it is filled: a vector made whole first would pass over all
  // of them twice. The names and extra fields together take no more than the directory.
  records_.reserve(static_cast<size_t>(count));
  const uint64_t textRoom = cd.size < fileLength - cd.offset ? cd.size : fileLength - cd.offset;
  const uint64_t textBytes = textRoom > count * kZipCentralSize ? textRoom - count * kZipCentralSize : 0;
  // Room made at once at most: a directory that claims more grows as its names are read.
  texts_.reserve(static_cast<size_t>(textBytes < (16u << 20) ? textBytes : (16u << 20)));
  WindowReader reader(file_, fileLength, cd.offset);
  for (uint32_t i = 0; i < count; ++i) {
    Central& record = records_.emplace_back();
    const uint8_t* fixed = reader.Take(kZipCentralSize);
    if (fixed == nullptr) return reader.TakeFailure(kZipCentralSize);
    if (GetLE32(fixed + zipc::kSignature) != kZipCentralSignature) return Counted(Problem::CentralDamaged, i + 1, count);
    std::memcpy(record.header, fixed, kZipCentralSize);
    const uint16_t nameLength = record.Get16(zipc::kNameLength);
    // A nameless record has nothing to place in the tree.
    if (nameLength == 0) return Counted(Problem::Nameless, i + 1, count);
    const uint8_t* name = reader.Take(nameLength);
    if (name == nullptr) return reader.TakeFailure(nameLength);
    record.textAt = texts_.size();
    texts_.append(reinterpret_cast<const char*>(name), nameLength);
    const uint16_t extraLength = record.Get16(zipc::kExtraLength);
    if (extraLength > 0) {
      const uint8_t* extra = reader.Take(extraLength);
      if (extra == nullptr) return reader.TakeFailure(extraLength);
      if (NeedsZip64Extra(record.Get32(zipc::kUncompressedSize), record.Get32(zipc::kCompressedSize),
                          record.Get32(zipc::kLocalHeaderOffset))) {
        why = ApplyZip64Extra(record, std::string_view(texts_.data() + record.textAt, nameLength), extra, extraLength);
        if (why) return why;
        zip64_ = true;
      }
      const std::string kept = ExtraWithout(extra, extraLength, kZip64ExtraId);
      record.extraSize = static_cast<uint16_t>(kept.size());
      texts_.append(kept);
    }
    reader.Skip(record.Get16(zipc::kCommentLength));
  }
  // A count that wrapped around 16 bits (or a damaged one) leaves records behind that the
  // directory's size still covers: showing the archive without them would lose them at the
  // next save.
  if (cd.size > reader.position - cd.offset) {
    const uint64_t more = CountFurtherRecords(reader, cd.offset + cd.size);
    if (more > 0) {
      Failure f = Fail(Problem::CountMismatch);
      f.count = count;
      f.limit = count + more;
      return f;
    }
  }
  return Failure();
}

EntryInfo ZipSource::Info(uint32_t index) const {
  const Central& r = records_[index];
  EntryInfo info;
  info.size = r.Get32(zipc::kUncompressedSize);
  info.storedSize = r.Get32(zipc::kCompressedSize);
  info.offset = r.Get32(zipc::kLocalHeaderOffset);
  info.methodCode = r.Get16(zipc::kMethod);
  info.method = (r.Get16(zipc::kFlags) & kZipFlagEncrypted) ? StoredMethod::Encrypted
                : info.methodCode == kZipStored              ? StoredMethod::Stored
                : info.methodCode == kZipDeflated            ? StoredMethod::Deflated
                                                             : StoredMethod::Other;
  info.hasCrc = true;
  info.crc = r.Get32(zipc::kCrc32);
  info.hasTime = true;
  info.dosTime = static_cast<uint32_t>(r.Get16(zipc::kDate)) << 16 | r.Get16(zipc::kTime);
  // Attributes mean a Windows file's only when the system that made the entry was of the
  // DOS family (the high byte of "version made by" is 0).
  const uint32_t attributes = r.Get32(zipc::kExternalAttributes);
  info.hasDosAttributes = attributes != 0 && (r.Get16(zipc::kVersionMadeBy) >> 8) == 0;
  info.dosAttributes = attributes;
  return info;
}

NameCoding ZipSource::NameCodingOf(uint32_t index) const {
  return records_[index].Get16(zipc::kFlags) & kZipFlagUtf8 ? NameCoding::Utf8 : NameCoding::Cp437;
}

bool ZipSource::NamesUtf8() const {
  for (const Central& r : records_)
    if (r.Get16(zipc::kFlags) & kZipFlagUtf8) return true;
  return false;
}

EntryLoad ZipSource::Readable(const ZipRecordHeader& record) {
  if (record.Get16(zipc::kFlags) & kZipFlagEncrypted) return EntryLoad::Encrypted;
  const uint16_t method = record.Get16(zipc::kMethod);
  return method == kZipStored || method == kZipDeflated ? EntryLoad::Ok : EntryLoad::Unsupported;
}

EntryLoad ZipSource::EmptyEntryCheck(const ZipRecordHeader& record) {
  const EntryLoad readable = Readable(record);
  if (readable != EntryLoad::Ok) return readable;
  // No bytes have the CRC-32 0: any other value says the record lost its bytes or its size.
  return record.Get32(zipc::kCrc32) == 0 ? EntryLoad::Ok : EntryLoad::CrcMismatch;
}

EntryLoad ZipSource::Locate(uint32_t index, StoredBytes* where) {
  if (index >= records_.size() || file_ == nullptr) return EntryLoad::NotInSource;
  ReadLocalHeaders();
  WhereOf(index, where);
  return located_[index].load;
}

void ZipSource::WhereOf(uint32_t index, StoredBytes* where) const {
  WhereByRecord(records_[index], located_[index].offset, where);
}

std::string ZipSource::LocalExtra(uint32_t index) {
  const uint64_t local = records_[index].Get32(zipc::kLocalHeaderOffset);
  uint8_t header[kZipLocalSize];
  if (!source_file::ReadAt(file_, local, header, sizeof header) ||
      GetLE32(header + zipl::kSignature) != kZipLocalSignature)
    return std::string();
  const uint16_t length = GetLE16(header + zipl::kExtraLength);
  std::vector<uint8_t> extra(length);
  if (length == 0 ||
      !source_file::ReadAt(file_, local + kZipLocalSize + GetLE16(header + zipl::kNameLength), extra.data(), length))
    return std::string();
  return ExtraWithout(extra.data(), length, kZip64ExtraId);
}

EntryLoad ZipSource::ReadPlan(uint32_t index, StoredBytes* where) {
  if (index >= records_.size() || file_ == nullptr) {
    *where = StoredBytes{};
    return EntryLoad::NotInSource;
  }
  ReadLocalHeaders();
  // One look at what the headers told, which holds the record's size too.
  const Located& at = located_[index];
  if (records_[index].Get32(zipc::kUncompressedSize) == 0) {
    *where = StoredBytes{};
    return EmptyEntryCheck(records_[index]);
  }
  WhereOf(index, where);
  if (at.load != EntryLoad::Ok) return at.load;
  return at.partner >= 0 ? EntryLoad::SharedData : EntryLoad::Ok;
}

EntryLoad ZipSource::Read(uint32_t index, ByteSink* sink) {
  StoredBytes where;
  const EntryLoad planned = ReadPlan(index, &where);
  if (planned != EntryLoad::Ok || where.size == 0) return planned;
  return ReadStoredBytes(file_, where, sink);
}

EntryLoad ZipSource::Load(uint32_t index, SharedBytes* bytes) {
  bytes->reset();
  if (index >= records_.size() || file_ == nullptr) return EntryLoad::NotInSource;
  const Central& record = records_[index];
  const uint32_t size = record.Get32(zipc::kUncompressedSize);
  if (size == 0) return EmptyEntryCheck(record);
  StoredBytes where;
  const EntryLoad located = Locate(index, &where);
  if (located != EntryLoad::Ok) return located;
  // Whole: read in one go and inflated in one call, faster than pieces for the many small
  // entries of a game archive.
  std::shared_ptr<EntryBuffer> plain = EntryBuffer::Allocate(size);
  if (!plain) return EntryLoad::NoMemory;
  if (!where.deflated) {
    if (!source_file::ReadAt(file_, where.offset, plain->data(), size)) return EntryLoad::ReadFailed;
  } else {
    std::shared_ptr<EntryBuffer> stored = EntryBuffer::Allocate(where.storedSize);
    if (!stored) return EntryLoad::NoMemory;
    if (!source_file::ReadAt(file_, where.offset, stored->data(), where.storedSize)) return EntryLoad::ReadFailed;
    const EntryLoad decoded = DecodeStored(where, stored->data(), plain->data());
    if (decoded != EntryLoad::Ok) return decoded;
    *bytes = std::move(plain);
    return EntryLoad::Ok;
  }
  const EntryLoad checked = DecodeStored(where, plain->data(), plain->data());
  if (checked != EntryLoad::Ok) return checked;
  *bytes = std::move(plain);
  return EntryLoad::Ok;
}

EntryLoad DecodeStored(const StoredBytes& where, const uint8_t* stored, uint8_t* plain) {
  if (where.deflated && !InflateBuffer(plain, where.size, stored, where.storedSize)) return EntryLoad::ReadFailed;
  if (!where.hasCrc) return EntryLoad::Ok;
  return Crc32(plain, where.size) == where.crc ? EntryLoad::Ok : EntryLoad::CrcMismatch;
}

Failure ZipSource::CheckPlacement(uint32_t index) {
  const int32_t partner = SharingPartner(index);
  if (partner < 0) return Failure();
  return Fail(Problem::SharesData, std::string(Name(static_cast<uint32_t>(partner))));
}

int32_t ZipSource::SharingPartner(uint32_t index) {
  ReadLocalHeaders();
  return index < located_.size() ? located_[index].partner : -1;
}

// Each record's bytes run from its local header to the end of its data, as the local
// header's lengths place it. Records whose local header cannot be read have no place to
// overlap (reading them fails on its own).
void ZipSource::ReadLocalHeaders() {
  if (headersKnown_) return;
  headersKnown_ = true;
  const uint32_t count = Count();
  located_.assign(count, Located{0, -1, EntryLoad::ReadFailed});
  const int64_t length = FileLength();
  const uint64_t fileLength = length > 0 ? static_cast<uint64_t>(length) : 0;
  const auto offsetOf = [this](uint32_t i) -> uint64_t { return records_[i].Get32(zipc::kLocalHeaderOffset); };
  // Read front to back, and swept in that order: the order they are stored in, nearly
  // always; otherwise byOffset holds the records in the order of their offsets.
  inFileOrder_ = true;
  for (uint32_t i = 1; i < count && inFileOrder_; ++i) inFileOrder_ = offsetOf(i - 1) <= offsetOf(i);
  std::vector<uint32_t> byOffset;
  if (!inFileOrder_) {
    byOffset.resize(count);
    for (uint32_t i = 0; i < count; ++i) byOffset[i] = i;
    std::stable_sort(byOffset.begin(), byOffset.end(), [&](uint32_t a, uint32_t b) { return offsetOf(a) < offsetOf(b); });
  }
  const auto recordAt = [&](size_t s) { return inFileOrder_ ? static_cast<uint32_t>(s) : byOffset[s]; };
  HeaderBlocks blocks(file_, fileLength);
  size_t ahead = 0;      // the furthest record whose header the next read may bring along
  uint64_t reachEnd = 0;  // the furthest end of the records' bytes before
  int32_t holder = -1;    // whose bytes reach that far
  for (size_t s = 0; s < count; ++s) {
    const uint32_t index = recordAt(s);
    const uint64_t start = offsetOf(index);
    const Central& record = records_[index];
    // A header, its name and a usual extra field.
    constexpr uint64_t kHeaderRoom = kZipLocalSize + 512;
    if (ahead < s) ahead = s;
    while (ahead + 1 < count && offsetOf(recordAt(ahead + 1)) - start + kHeaderRoom <= HeaderBlocks::kBlock) ++ahead;
    const uint64_t reach = offsetOf(recordAt(ahead)) + kHeaderRoom;
    const uint8_t* header = file_ != nullptr ? blocks.At(start, kZipLocalSize, reach) : nullptr;
    const uint8_t* extra = nullptr;
    uint8_t fixed[kZipLocalSize];
    if (header != nullptr) {
      // The header is copied: the block may move on for its extra field.
      std::memcpy(fixed, header, sizeof fixed);
      header = fixed;
      if (GetLE32(header + zipl::kSignature) == kZipLocalSignature)
        extra = blocks.At(start + kZipLocalSize + GetLE16(header + zipl::kNameLength),
                          GetLE16(header + zipl::kExtraLength), reach);
    }
    Located& at = located_[index];
    at.load = LocateByHeader(record, fileLength, header, extra, &at.offset);
    // Records whose local header cannot be read have no place to overlap.
    if (header == nullptr || GetLE32(header + zipl::kSignature) != kZipLocalSignature) continue;
    const uint64_t end = start + kZipLocalSize + GetLE16(header + zipl::kNameLength) +
                         GetLE16(header + zipl::kExtraLength) + record.Get32(zipc::kCompressedSize);
    if (holder >= 0 && start < reachEnd) {
      at.partner = holder;
      int32_t& holderPartner = located_[static_cast<uint32_t>(holder)].partner;
      if (holderPartner < 0) holderPartner = static_cast<int32_t>(index);
    }
    if (holder < 0 || end > reachEnd) {
      reachEnd = end;
      holder = static_cast<int32_t>(index);
    }
  }
}

std::unique_ptr<ArchiveSource> OpenZipSource(const ArchiveFormat& format, const std::string& path, Failure* why) {
  *why = Failure();
  FILE* f = OpenArchiveFile(path, why);
  if (f == nullptr) return nullptr;
  std::unique_ptr<ZipSource> source(new ZipSource(format, path, f));
  *why = source->ReadDirectory();
  if (*why) return nullptr;
  return source;
}
