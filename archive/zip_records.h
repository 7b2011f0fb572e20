// The ZIP records the PK3 family of formats is made of: end record, central directory
// records, local headers and their fields, as the format lays them out.
#pragma once

#include <cstdint>
#include <string>

#include "archive/bytes.h"

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

constexpr uint16_t kZipStored = 0;
constexpr uint16_t kZipDeflated = 8;

// The most central records an archive may hold to be opened: each costs a record, a name,
// a node and an entry in a 32-bit address space.
constexpr uint32_t kZipMaxOpenEntries = 1u << 20;

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

// The fixed part of one central directory record exactly as on disk (with the values of a
// ZIP64 extra field put into the 32-bit fields they stand for), its fields read and set by
// their offsets.
struct ZipRecordHeader {
  uint8_t header[kZipCentralSize] = {};

  uint16_t Get16(int field) const { return GetLE16(header + field); }
  uint32_t Get32(int field) const { return GetLE32(header + field); }
  void Set16(int field, uint16_t v) { PutLE16(header + field, v); }
  void Set32(int field, uint32_t v) { PutLE32(header + field, v); }
};

// One central directory record as a writer makes it: its fixed part and its name as stored.
struct ZipRecord : ZipRecordHeader {
  std::string name;
  // The record's extra field without its ZIP64 subfield, whose values the header holds (the
  // header's extra length still gives the field as stored).
  std::string extra;
};
