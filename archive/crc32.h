// The CRC-32 of the ZIP format.
#pragma once

#include <cstddef>
#include <cstdint>

// The ZIP CRC-32 (reflected polynomial 0xEDB88320, initial value and final xor 0xFFFFFFFF),
// computed by zlib. Zero bytes give 0.
uint32_t Crc32(const void* data, size_t length);
