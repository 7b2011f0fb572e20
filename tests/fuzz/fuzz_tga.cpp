// Decodes the input as a TGA picture; a decoded one is checked whole and written as PNG.
#include "tests/fuzz/picture_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PictureKindOf("a.tga", data, size);
  CheckDecoded(PictureKind::Tga, data, size, nullptr);
  return 0;
}
