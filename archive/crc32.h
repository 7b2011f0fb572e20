// The CRC-32 of the ZIP format.
#pragma once

#include <cstddef>
#include <cstdint>

// The ZIP CRC-32 (reflected polynomial 0xEDB88320, initial value and final xor 0xFFFFFFFF),
// computed by zlib. Zero bytes give 0.
uint32_t Crc32(const void* data, size_t length);
// The CRC-32 of the bytes whose CRC-32 is crc followed by data: Crc32Update(Crc32(a), b)
// is the CRC-32 of a then b; Crc32Update(0, data) is Crc32(data).
uint32_t Crc32Update(uint32_t crc, const void* data, size_t length);
