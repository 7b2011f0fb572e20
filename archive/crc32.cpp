#include "archive/crc32.h"

#ifdef VELLUMIX_LIBDEFLATE
#include <libdeflate.h>
#else
#include <zlib.h>
#endif

uint32_t Crc32(const void* data, size_t length) { return Crc32Update(0, data, length); }

uint32_t Crc32Update(uint32_t start, const void* data, size_t length) {
#ifdef VELLUMIX_LIBDEFLATE
  // The same CRC, computed several times as fast where the processor has the instructions for it.
  return length == 0 ? start : libdeflate_crc32(start, data, length);
#else
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
#endif
}
