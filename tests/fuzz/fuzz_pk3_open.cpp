// Opens the input as a PK3 file and builds its tree.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  OpenAndCheck(data, size, ".pk3");
  return 0;
}
