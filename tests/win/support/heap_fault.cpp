// A deliberately faulty program for the memory checker's own test: "use-after-free" writes
// into a freed block, "overrun" writes past the end of a block, "clean" does neither. Exits
// with 3 when the heaps fail validation afterwards, 0 when they pass.
#include <cstdlib>
#include <cstring>

#include "tests/win/support/heap_check.h"

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "clean";
  // Sized at run time, so that the compiler cannot see the planted overrun coming.
  const size_t size = 60 + std::strlen(mode) % 5;
  auto* block = static_cast<volatile unsigned char*>(std::malloc(size));
  if (block == nullptr) return 1;
  for (size_t i = 0; i < size; ++i) block[i] = 1;
  if (std::strcmp(mode, "use-after-free") == 0) {
    // Kept where the compiler cannot follow it, as a real dangling pointer would be.
    volatile unsigned char* volatile dangling = block;
    std::free(const_cast<unsigned char*>(block));
    dangling[40] = 0x11;
  } else if (std::strcmp(mode, "overrun") == 0) {
    for (size_t i = size; i < size + 4; ++i) block[i] = 0x22;
  } else {
    std::free(const_cast<unsigned char*>(block));
  }
  return ProcessHeapsValid() ? 0 : 3;
}
