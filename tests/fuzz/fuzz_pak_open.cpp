// Opens the input as a PAK file and builds its tree.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  OpenAndCheck(data, size, ".pak");
  return 0;
}
