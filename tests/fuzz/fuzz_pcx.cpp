// Decodes the input as a PCX picture and reads the palette at its end; a decoded picture is
// checked whole and written as PNG.
#include <cstdlib>

#include "tests/fuzz/picture_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  GamePalette palette;
  if (PaletteFromBytes(data, size, "pics/colormap.pcx", &palette) && palette.from != "pics/colormap.pcx") std::abort();
  CheckDecoded(PictureKind::Pcx, data, size, nullptr);
  return 0;
}
