// Reads the input as a block of dropped files: a list is taken only when all of it lies in
// the block, and nothing is read outside the block (the build runs under ASan).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "transfer/core/drop_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly size bytes, so that ASan sees any read past the block.
  std::vector<uint8_t> block(data, data + size);
  DroppedFiles files;
  if (!ReadDropFiles(block.data(), block.size(), &files)) {
    if (!files.narrow.empty() || !files.wide16.empty()) std::abort();
    return 0;
  }
  size_t total = 0;
  for (const auto& p : files.narrow) total += p.size() + 1;
  for (const auto& p : files.wide16) total += 2 * (p.size() + 1);
  if (total > size) std::abort();
  return 0;
}
