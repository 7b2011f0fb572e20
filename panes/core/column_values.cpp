#include "panes/core/column_values.h"

#include <cstdio>

int64_t SavingMillionths(uint32_t size, uint32_t stored) {
  if (size == 0) return 0;
  // Both counts fit 32 bits: their difference times a million fits 64.
  return (static_cast<int64_t>(size) - static_cast<int64_t>(stored)) * 1000000 / static_cast<int64_t>(size);
}

std::string SavingText(uint32_t size, uint32_t stored) {
  return std::to_string(SavingMillionths(size, stored) / 10000) + "%";
}

namespace {

struct MethodName {
  uint16_t code;
  const char* name;
};

// The ZIP numbering's methods in use; Stored (0) and Deflate (8) are known by their kind.
constexpr MethodName kZipMethods[] = {
    {1, "Shrink"}, {2, "Reduce"}, {3, "Reduce"}, {4, "Reduce"}, {5, "Reduce"}, {6, "Implode"},
    {9, "Deflate64"}, {10, "PKWARE DCL"}, {12, "BZip2"}, {14, "LZMA"}, {18, "TERSE"}, {19, "LZ77"},
    {93, "Zstandard"}, {94, "MP3"}, {95, "XZ"}, {96, "JPEG"}, {97, "WavPack"}, {98, "PPMd"},
};

// A WAD2 lump's compression byte: 1 is the only one defined besides none.
constexpr MethodName kWadMethods[] = {{1, "LZSS"}};

template <size_t N>
const char* Lookup(const MethodName (&table)[N], uint16_t code) {
  for (const MethodName& m : table)
    if (m.code == code) return m.name;
  return nullptr;
}

}  // namespace

std::string MethodText(StoredMethod method, uint16_t code, bool zipMethods) {
  switch (method) {
    case StoredMethod::Stored: return "Stored";
    case StoredMethod::Deflated: return "Deflate";
    case StoredMethod::Encrypted: return "Encrypted";
    case StoredMethod::Other: break;
  }
  if (const char* name = zipMethods ? Lookup(kZipMethods, code) : Lookup(kWadMethods, code)) return name;
  return "Method " + std::to_string(code);
}

std::string CrcText(uint32_t crc) {
  char text[12];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(crc));
  return text;
}
