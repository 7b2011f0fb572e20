#include "archive/crc32.h"

#include <array>

namespace {

constexpr uint32_t kZipPolynomial = 0xEDB88320u;

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

constexpr std::array<uint32_t, 256> MakeTable(uint32_t polynomial, bool reflected) {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) table[i] = TableEntry(polynomial, reflected, i);
  return table;
}

// Built by the compiler, so no start-up code and no first-use race.
constexpr std::array<uint32_t, 256> kZipTable = MakeTable(kZipPolynomial, true);

constexpr CrcParameters kZipCrc{kZipTable.data(), 0xFFFFFFFFu, 0xFFFFFFFFu, true};

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

uint32_t Crc32(const void* data, size_t length) { return CrcCompute(kZipCrc, data, length); }
