// Table-driven cyclic redundancy checks, and the CRC-32 of the ZIP format.
#pragma once

#include <cstddef>
#include <cstdint>

// A CRC of up to 32 bits described by its 256-entry table.
struct CrcParameters {
  const uint32_t* table;
  uint32_t initial;
  uint32_t finalXor;
  bool reflected;  // bytes enter least significant bit first
};

// Fills table for the polynomial: given reversed when reflected, else in normal form.
void CrcBuildTable(uint32_t polynomial, bool reflected, uint32_t table[256]);

uint32_t CrcCompute(const CrcParameters& crc, const void* data, size_t length);

// The ZIP CRC-32 (reflected polynomial 0xEDB88320, initial value and final xor 0xFFFFFFFF),
// computed by zlib.
// Zero bytes give 0.
uint32_t Crc32(const void* data, size_t length);
