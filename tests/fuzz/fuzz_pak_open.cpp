// Opens the input as a PAK file and builds its tree.
#include <cstddef>
#include <cstdint>

#include "archive/loading.h"
#include "tests/fuzz/support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = WriteInputFile(data, size, ".pak");
  if (path.empty()) return 0;
  PakArchive* pak = PakOpen(path.c_str());
  if (pak == nullptr) return 0;
  BuildAndCheck(ArchiveKind::Pak, pak, pak->entryCount);
  return 0;
}
