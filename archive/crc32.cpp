#include "archive/crc32.h"

#include <zlib.h>

uint32_t Crc32(const void* data, size_t length) { return Crc32Update(0, data, length); }

uint32_t Crc32Update(uint32_t start, const void* data, size_t length) {
  // zlib takes its length in 32-bit pieces.
  const Bytef* p = static_cast<const Bytef*>(data);
  uLong crc = start;
  while (length > 0) {
    const uInt piece = length > 0x40000000u ? 0x40000000u : static_cast<uInt>(length);
    crc = crc32(crc, p, piece);
    p += piece;
    length -= piece;
  }
  return static_cast<uint32_t>(crc);
}
