#include "transfer/core/drop_files.h"

#include "archive/bytes.h"

namespace {

// Splits the units (n of them, each read by unit(i)) into paths up to the empty one that
// ends the list. False when the list does not end within the units.
template <typename Text, typename Unit>
bool SplitPaths(size_t n, Unit unit, std::vector<Text>* paths) {
  Text path;
  for (size_t i = 0; i < n; ++i) {
    const auto c = unit(i);
    if (c != 0) {
      path.push_back(c);
      continue;
    }
    if (path.empty()) return true;
    paths->push_back(std::move(path));
    path.clear();
  }
  return false;
}

}  // namespace

bool ReadDropFiles(const uint8_t* block, size_t size, DroppedFiles* files) {
  *files = DroppedFiles{};
  if (block == nullptr || size < kDropFilesHeaderSize) return false;
  const uint32_t start = GetLE32(block);
  if (start < kDropFilesHeaderSize || start >= size) return false;
  DroppedFiles read;
  read.wide = GetLE32(block + 16) != 0;
  const uint8_t* list = block + start;
  // Whole 16-bit units only: a last odd byte cannot end a UTF-16 list.
  const bool ended =
      read.wide ? SplitPaths<std::u16string>(
                      (size - start) / 2,
                      [list](size_t i) { return static_cast<char16_t>(list[2 * i] | (list[2 * i + 1] << 8)); },
                      &read.wide16)
                : SplitPaths<std::string>(
                      size - start, [list](size_t i) { return static_cast<char>(list[i]); }, &read.narrow);
  if (!ended) return false;
  *files = std::move(read);
  return true;
}
