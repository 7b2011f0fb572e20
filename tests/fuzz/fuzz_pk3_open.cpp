// Opens the input as a PK3 file and builds its tree.
#include <cstddef>
#include <cstdint>

#include "archive/format.h"
#include "archive/source.h"
#include "tests/fuzz/support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = WriteInputFile(data, size, ".pk3");
  if (path.empty()) return 0;
  const ArchiveFormat& format = DefaultFormat();
  Failure why;
  std::unique_ptr<ArchiveSource> source = format.open(format, path, &why);
  // A refused open says why.
  if (source == nullptr && !why) __builtin_trap();
  if (source == nullptr) return 0;
  BuildAndCheck(std::move(source));
  return 0;
}
