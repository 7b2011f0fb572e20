#include "archive/crc32.h"

#include <zlib.h>

namespace {

constexpr uint32_t TableEntry(uint32_t polynomial, bool reflected, uint32_t index) {
  uint32_t c = reflected ? index : index << 24;
  for (int bit = 0; bit < 8; ++bit) {
    if (reflected)
      c = (c & 1u) ? (c >> 1) ^ polynomial : c >> 1;
    else
      c = (c & 0x80000000u) ? (c << 1) ^ polynomial : c << 1;
  }
  return c;
}

}  // namespace

void CrcBuildTable(uint32_t polynomial, bool reflected, uint32_t table[256]) {
  for (uint32_t i = 0; i < 256; ++i) table[i] = TableEntry(polynomial, reflected, i);
}

uint32_t CrcCompute(const CrcParameters& crc, const void* data, size_t length) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  const uint32_t* table = crc.table;
  uint32_t c = crc.initial;
  if (crc.reflected) {
    for (size_t i = 0; i < length; ++i) c = table[(c ^ p[i]) & 0xFFu] ^ (c >> 8);
  } else {
    for (size_t i = 0; i < length; ++i) c = table[((c >> 24) ^ p[i]) & 0xFFu] ^ (c << 8);
  }
  return c ^ crc.finalXor;
}

uint32_t Crc32(const void* data, size_t length) {
  // zlib's slicing implementation is about ten times faster than the byte table; it takes
  // its length in 32-bit pieces.
  const Bytef* p = static_cast<const Bytef*>(data);
  uLong crc = crc32(0L, Z_NULL, 0);
  while (length > 0) {
    const uInt piece = length > 0x40000000u ? 0x40000000u : static_cast<uInt>(length);
    crc = crc32(crc, p, piece);
    p += piece;
    length -= piece;
  }
  return static_cast<uint32_t>(crc);
}
