// The on-disk records of the PAK format and of the ZIP records a PK3 uses,
// and the open source archives built from them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "archive/bytes.h"

// ---- PAK ----

constexpr uint32_t kPakHeaderSize = 12;
constexpr uint32_t kPakDirEntrySize = 64;
constexpr uint32_t kPakNameSize = 56;
constexpr uint32_t kPakMaxEntries = 4096;

// One 64-byte directory record, exactly as on disk (little-endian hosts).
struct PakDirEntry {
  char name[kPakNameSize];
  uint32_t offset;
  uint32_t length;
};
static_assert(sizeof(PakDirEntry) == kPakDirEntrySize, "PAK directory records are 64 bytes");

struct PakHeader {
  char magic[4];  // "PACK"
  uint32_t dirOffset;
  uint32_t dirLength;
};
static_assert(sizeof(PakHeader) == kPakHeaderSize, "the PAK header is 12 bytes");

struct PakArchive {
  FILE* file;
  char* path;
  PakHeader header;
  uint32_t entryCount;
  PakDirEntry entries[kPakMaxEntries];  // slots beyond entryCount are zero
};

// Opens the archive at path; null on failure, with a short reason in *why (a folder, an
// empty file, no "PACK" header, a directory past the end, ...).
PakArchive* PakOpen(const char* path, std::string* why = nullptr);
void PakClose(PakArchive* archive);

// ---- ZIP records of a PK3 ----

constexpr uint32_t kZipEndSignature = 0x06054B50;
constexpr uint32_t kZipCentralSignature = 0x02014B50;
constexpr uint32_t kZipLocalSignature = 0x04034B50;
constexpr uint32_t kZipEndSize = 22;
constexpr uint32_t kZipCentralSize = 46;
constexpr uint32_t kZipLocalSize = 30;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr uint32_t kZip64EndSignature = 0x06064B50;
constexpr uint32_t kZip64LocatorSize = 20;
constexpr uint32_t kZip64EndSize = 56;
constexpr uint16_t kZip64ExtraId = 0x0001;

// General-purpose flag bits.
constexpr uint16_t kZipFlagEncrypted = 0x0001;
constexpr uint16_t kZipFlagDescriptor = 0x0008;  // sizes and CRC follow the data
constexpr uint16_t kZipFlagUtf8 = 0x0800;        // the name is UTF-8

// The most central records an archive may hold to be opened: each costs a record, a name,
// a node and an entry in a 32-bit address space.
constexpr uint32_t kPk3MaxOpenEntries = 1u << 20;

// Field offsets in the central directory header.
namespace zipc {
constexpr int kSignature = 0, kVersionMadeBy = 4, kVersionNeeded = 6, kFlags = 8, kMethod = 10,
              kTime = 12, kDate = 14, kCrc32 = 16, kCompressedSize = 20, kUncompressedSize = 24,
              kNameLength = 28, kExtraLength = 30, kCommentLength = 32, kDiskStart = 34,
              kInternalAttributes = 36, kExternalAttributes = 38, kLocalHeaderOffset = 42;
}
// Field offsets in the local file header.
namespace zipl {
constexpr int kSignature = 0, kVersionNeeded = 4, kFlags = 6, kMethod = 8, kTime = 10, kDate = 12,
              kCrc32 = 14, kCompressedSize = 18, kUncompressedSize = 22, kNameLength = 26,
              kExtraLength = 28;
}
// Field offsets in the ZIP64 end-of-central-directory locator and record.
namespace zip64 {
constexpr int kLocatorSignature = 0, kLocatorEndOffset = 8;
constexpr int kEndSignature = 0, kEndTotalEntries = 32, kEndCentralSize = 40, kEndCentralOffset = 48;
}
// Field offsets in the end-of-central-directory record.
namespace zipe {
constexpr int kSignature = 0, kDiskNumber = 4, kCentralDisk = 6, kEntriesOnDisk = 8,
              kTotalEntries = 10, kCentralSize = 12, kCentralOffset = 16, kCommentLength = 20;
}

struct Pk3CentralRecord {
  uint8_t header[kZipCentralSize];  // exactly as on disk
  char* name;                       // heap, NUL-terminated, as stored (not lower-cased)

  uint16_t Get16(int field) const { return GetLE16(header + field); }
  uint32_t Get32(int field) const { return GetLE32(header + field); }
  void Set16(int field, uint16_t v) { PutLE16(header + field, v); }
  void Set32(int field, uint32_t v) { PutLE32(header + field, v); }
};

// Central records whose sizes or offset the 32-bit fields could not hold (ZIP64) have the
// values of their ZIP64 extra field put into those fields when the archive is opened; an
// archive with a value beyond 32 bits is not opened.
struct Pk3Sharing;

struct Pk3Archive {
  FILE* file;
  char* path;
  Pk3CentralRecord* records;  // null when the archive has no entries
  uint8_t endRecord[kZipEndSize];
  // The number of records: the end record's 16-bit count, or the ZIP64 end record's.
  uint32_t entryCount;
  // Which records' stored bytes overlap, found when first asked (archive/entry_stream.h).
  Pk3Sharing* sharing;

  uint32_t TotalEntries() const { return entryCount; }
};

// Opens the archive at path; null on failure, with a short reason in *why (a folder, an
// empty file, no end record, a central directory past the end, a wrapped count, ...).
Pk3Archive* Pk3Open(const char* path, std::string* why = nullptr);
void Pk3Close(Pk3Archive* archive);
