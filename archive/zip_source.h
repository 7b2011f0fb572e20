// Reading ZIP files (PK3, PK4, ZIP): the end record (and the ZIP64 one where there is one),
// the central directory, and entries stored or deflated. The ZIP writer reads the records of
// a ZIP source directly, to keep what it can of them.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/source.h"
#include "archive/zip_records.h"

class ZipSource : public ArchiveSource {
 public:
  ZipSource(const ArchiveFormat& format, std::string path, FILE* file)
      : ArchiveSource(format, std::move(path), file) {}

  Failure ReadDirectory();

  uint32_t Count() const override { return static_cast<uint32_t>(records_.size()); }
  std::string_view Name(uint32_t index) const override {
    return std::string_view(texts_.data() + records_[index].textAt, records_[index].Get16(zipc::kNameLength));
  }
  // UTF-8 when the record's flag says so, and code page 437 otherwise.
  NameCoding NameCodingOf(uint32_t index) const override;
  EntryInfo Info(uint32_t index) const override;
  EntryLoad Read(uint32_t index, ByteSink* sink) override;
  EntryLoad Load(uint32_t index, SharedBytes* bytes) override;
  EntryLoad Locate(uint32_t index, StoredBytes* where) override;
  EntryLoad ReadPlan(uint32_t index, StoredBytes* where) override;
  Failure CheckPlacement(uint32_t index) override;
  void PrepareToLocate() override { ReadLocalHeaders(); }
  bool StoredInFileOrder() const override { return inFileOrder_; }

  // The fixed part of the entry's central record.
  const ZipRecordHeader& Record(uint32_t index) const { return records_[index]; }
  // The extra field of the entry's central record without its ZIP64 subfield.
  std::string_view CentralExtra(uint32_t index) const {
    const Central& r = records_[index];
    return std::string_view(texts_.data() + r.textAt + r.Get16(zipc::kNameLength), r.extraSize);
  }
  // The extra field of the entry's local header without its ZIP64 subfield; empty when it
  // has none or it cannot be read.
  std::string LocalExtra(uint32_t index);
  // The archive's comment, as stored.
  const std::string& Comment() const override { return comment_; }
  bool HasZip64Records() const override { return zip64_; }
  // Whether any entry's name is marked as UTF-8.
  bool NamesUtf8() const;
  // The record alone says the entry can be read (not encrypted, a known method).
  static EntryLoad Readable(const ZipRecordHeader& record);
  // An entry whose record says it is empty has no bytes to check, but one that cannot be
  // read at all is refused, and so is one whose CRC-32 is not that of no bytes.
  static EntryLoad EmptyEntryCheck(const ZipRecordHeader& record);

 private:
  // Another record whose stored bytes (local header and data) overlap index's, or -1.
  int32_t SharingPartner(uint32_t index);
  // Reads every local header once, when the first entry is asked about, in file order and
  // many neighbouring headers to a read: where each entry's data lies (Locate) and which
  // entries overlap.
  void ReadLocalHeaders();

  // A central record as read: its name, then its extra field without the ZIP64 subfield,
  // lie in texts_ from textAt. Kept apart from the fixed parts, the many names of a large
  // archive cost one block of memory rather than one each.
  struct Central : ZipRecordHeader {
    uint16_t extraSize = 0;
    uint64_t textAt = 0;
  };
  std::vector<Central> records_;
  std::string texts_;
  std::string comment_;
  bool zip64_ = false;
  bool headersKnown_ = false;
  bool inFileOrder_ = true;  // the local headers lie in the order of the records
  // What the local headers tell of each entry, by its index: where its data starts (0 when
  // the header was not reached), what reading it would meet, and another entry whose bytes
  // overlap its own (-1: none). The rest of where its bytes lie is the central record's.
  struct Located {
    uint64_t offset;
    int32_t partner;
    EntryLoad load;
  };
  std::vector<Located> located_;
  // Where the entry's stored bytes lie, as far as its local header placed them.
  void WhereOf(uint32_t index, StoredBytes* where) const;
};

// Turns a located entry's stored bytes into its plain bytes: inflates them when deflated
// (plain may be stored itself otherwise) and checks the CRC-32 where the entry has one.
EntryLoad DecodeStored(const StoredBytes& where, const uint8_t* stored, uint8_t* plain);
