// The ZIP64 extended-information extra field, which holds the sizes and the offset of an
// entry whose 32-bit fields say 0xFFFFFFFF.
#pragma once

#include <cstdint>
#include <string>

#include "archive/bytes.h"
#include "archive/zip_records.h"

// Sizes and offset of one entry, in the width the ZIP64 field gives them.
struct Zip64Values {
  uint64_t uncompressed;
  uint64_t compressed;
  uint64_t offset;
};

constexpr uint32_t kZip64Marker = 0xFFFFFFFFu;

inline bool NeedsZip64Extra(uint32_t uncompressed, uint32_t compressed, uint32_t offset) {
  return uncompressed == kZip64Marker || compressed == kZip64Marker || offset == kZip64Marker;
}

// Replaces each value that holds the marker by the next 8-byte value of the ZIP64 field,
// in the order the field stores them (uncompressed size, compressed size, offset). False,
// values unchanged, when there is no such field or it is too short.
// The subfields of an extra field other than those of the id left out, as they lie; empty
// when the field does not split into whole subfields (it would not stay valid in another
// record).
inline std::string ExtraWithout(const uint8_t* extra, uint32_t length, uint16_t leftOut) {
  std::string kept;
  uint32_t at = 0;
  while (at < length) {
    if (length - at < 4) return std::string();
    const uint16_t size = GetLE16(extra + at + 2);
    if (size > length - at - 4) return std::string();
    if (GetLE16(extra + at) != leftOut) kept.append(reinterpret_cast<const char*>(extra + at), 4u + size);
    at += 4u + size;
  }
  return kept;
}

inline bool ReadZip64Extra(const uint8_t* extra, uint32_t length, Zip64Values* values) {
  uint32_t at = 0;
  while (length >= 4 && at <= length - 4) {
    const uint16_t id = GetLE16(extra + at);
    const uint16_t size = GetLE16(extra + at + 2);
    at += 4;
    if (size > length - at) return false;
    if (id == kZip64ExtraId) {
      const uint8_t* p = extra + at;
      uint32_t left = size;
      Zip64Values found = *values;
      for (uint64_t* field : {&found.uncompressed, &found.compressed, &found.offset}) {
        if (*field != kZip64Marker) continue;
        if (left < 8) return false;
        *field = GetLE64(p);
        p += 8;
        left -= 8;
      }
      *values = found;
      return true;
    }
    at += size;
  }
  return false;
}
