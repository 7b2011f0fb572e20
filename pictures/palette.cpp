// Game palettes: which game's a kind takes, where a game keeps it, and reading one.
#include <cstring>

#include "pictures/decoders.h"
#include "pictures/picture.h"

namespace {

// Quake keeps its palette in gfx/palette.lmp, Quake II in pics/colormap.pcx; a mod of
// either may carry the other's file too, so each game looks for its own first.
const char* const kQuakePaths[] = {"gfx/palette.lmp", "pics/colormap.pcx"};
const char* const kQuakeIIPaths[] = {"pics/colormap.pcx", "gfx/palette.lmp"};

}  // namespace

PaletteGame PaletteGameOf(PictureKind kind) {
  return kind == PictureKind::Wal ? PaletteGame::QuakeII : PaletteGame::Quake;
}

bool NeedsGamePalette(PictureKind kind) {
  return kind == PictureKind::QuakePicture || kind == PictureKind::Conchars || kind == PictureKind::Wal ||
         kind == PictureKind::MipTexture;
}

const char* const* PalettePaths(PaletteGame game, size_t* count) {
  *count = 2;
  return game == PaletteGame::QuakeII ? kQuakeIIPaths : kQuakePaths;
}

bool PaletteFromBytes(const uint8_t* data, size_t size, std::string from, GamePalette* palette) {
  if (data == nullptr) return false;
  if (size == sizeof palette->rgb) {
    std::memcpy(palette->rgb, data, sizeof palette->rgb);
  } else if (!LooksLikePcx(data, size) || !PcxTrailingPalette(data, size, palette->rgb)) {
    return false;
  }
  palette->from = std::move(from);
  return true;
}
