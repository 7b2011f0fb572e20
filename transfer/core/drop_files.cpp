#include "transfer/core/drop_files.h"

#include "archive/bytes.h"

bool ReadDropFiles(const uint8_t* block, size_t size, DroppedFiles* files) {
  *files = DroppedFiles{};
  if (block == nullptr || size < kDropFilesHeaderSize) return false;
  const uint32_t start = GetLE32(block);
  const bool wide = GetLE32(block + 16) != 0;
  if (start < kDropFilesHeaderSize || start >= size) return false;
  DroppedFiles read;
  read.wide = wide;
  if (wide) {
    // Whole 16-bit units only: a last odd byte cannot end the list.
    const size_t units = (size - start) / 2;
    const uint8_t* p = block + start;
    std::u16string path;
    for (size_t i = 0; i < units; ++i) {
      const char16_t c = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
      if (c != 0) {
        path.push_back(c);
        continue;
      }
      if (path.empty()) {
        *files = std::move(read);
        return true;
      }
      read.wide16.push_back(std::move(path));
      path.clear();
    }
    return false;
  }
  std::string path;
  for (size_t i = start; i < size; ++i) {
    const char c = static_cast<char>(block[i]);
    if (c != '\0') {
      path.push_back(c);
      continue;
    }
    if (path.empty()) {
      *files = std::move(read);
      return true;
    }
    read.narrow.push_back(std::move(path));
    path.clear();
  }
  return false;
}
