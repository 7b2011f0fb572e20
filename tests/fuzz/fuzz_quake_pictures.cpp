// The Quake kinds: the first byte chooses the entry's name (and whether a palette is
// given), the rest are its bytes, told apart by PictureKindOf and decoded as the preview
// decodes them.
#include "tests/fuzz/picture_fuzz.h"

namespace {

// A name, and the kind decoded when the bytes do not make the name's kind, so that every
// decoder meets every input.
const struct {
  const char* name;
  PictureKind kind;
} kEntries[] = {{"gfx/pic.lmp", PictureKind::QuakePicture},   {"gfx/palette.lmp", PictureKind::QuakePalette},
                {"gfx/conchars", PictureKind::Conchars},      {"textures/a.wal", PictureKind::Wal},
                {"a.mip", PictureKind::MipTexture}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t choice = data[0];
  ++data;
  --size;
  GamePalette palette;
  for (int i = 0; i < 768; ++i) palette.rgb[i] = static_cast<uint8_t>(i * 5);
  const auto& entry = kEntries[choice % 5];
  const PictureKind kind = PictureKindOf(entry.name, data, size);
  CheckDecoded(kind == PictureKind::None ? entry.kind : kind, data, size, choice & 0x80 ? nullptr : &palette);
  return 0;
}
