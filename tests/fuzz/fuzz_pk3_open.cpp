// Opens the input as a PK3 file and builds its tree.
#include <cstddef>
#include <cstdint>

#include "archive/loading.h"
#include "tests/fuzz/support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = WriteInputFile(data, size, ".pk3");
  if (path.empty()) return 0;
  Pk3Archive* pk3 = Pk3Open(path.c_str());
  if (pk3 == nullptr) return 0;
  BuildAndCheck(ArchiveKind::Pk3, pk3, pk3->TotalEntries());
  return 0;
}
