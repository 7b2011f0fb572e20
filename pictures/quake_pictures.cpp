// The Quake family's pictures, all 8-bit pixels in a game's palette but the palette itself:
// LMP pictures (the 2D pictures of gfx/, index 255 transparent as the game draws them),
// the console font (a 128 x 128 block, index 0 transparent), Quake II's WAL textures and
// the mip textures of WAD2 archives and maps (opaque, but for the names that start with
// '{', whose index 255 is a hole as in the engines that draw such textures).
#include "archive/bytes.h"
#include "pictures/decoders.h"

namespace {

constexpr size_t kWalHeader = 100;
constexpr size_t kWalSizes = 32;
constexpr size_t kWalOffsets = 40;
constexpr size_t kMipHeader = 40;
constexpr size_t kMipSizes = 16;
constexpr size_t kMipOffsets = 24;
constexpr uint32_t kConcharsSide = 128;

// Pixels of width x height at offset of the file, in the palette.
bool DecodeIndexed(const uint8_t* data, size_t size, uint64_t offset, uint32_t width, uint32_t height,
                   const GamePalette* palette, int transparentIndex, Picture* picture, std::string* why) {
  const uint64_t count = static_cast<uint64_t>(width) * height;
  if (offset > size || count > size - offset) {
    *why = "the file ends inside its pixels";
    return false;
  }
  if (!AllocatePicture(picture, width, height, why)) return false;
  picture->bits = 8;
  picture->indexed = true;
  FillFromIndexes(picture, data + offset, palette ? palette->rgb : nullptr, transparentIndex);
  return true;
}

bool DecodeLmp(const uint8_t* data, size_t size, const GamePalette* palette, Picture* picture, std::string* why) {
  if (size < 8) {
    *why = "the file ends inside its header";
    return false;
  }
  const uint32_t width = GetLE32(data), height = GetLE32(data + 4);
  const uint64_t count = static_cast<uint64_t>(width) * height;
  if (count != size - 8) {
    *why = "the file's size is not that of a " + std::to_string(width) + " x " + std::to_string(height) + " picture";
    return false;
  }
  return DecodeIndexed(data, size, 8, width, height, palette, 255, picture, why);
}

// Each colour of the palette one pixel, 16 to a row: the pane scales it up.
bool DecodePalette(const uint8_t* data, size_t size, Picture* picture, std::string* why) {
  if (size != 768) {
    *why = "a palette holds 768 bytes";
    return false;
  }
  if (!AllocatePicture(picture, 16, 16, why)) return false;
  picture->bits = 24;
  for (size_t i = 0; i < 256; ++i) {
    uint8_t* out = picture->rgba.get() + i * 4;
    out[0] = data[i * 3];
    out[1] = data[i * 3 + 1];
    out[2] = data[i * 3 + 2];
    out[3] = 255;
  }
  return true;
}

bool DecodeConchars(const uint8_t* data, size_t size, const GamePalette* palette, Picture* picture,
                    std::string* why) {
  if (size != kConcharsSide * kConcharsSide) {
    *why = "the console font holds 16,384 bytes";
    return false;
  }
  return DecodeIndexed(data, size, 0, kConcharsSide, kConcharsSide, palette, 0, picture, why);
}

// A texture's header: its sizes at sizesAt, then the offsets of its four mip levels, each
// level a quarter of the one before. The first level is the picture; the others, which only
// the game's renderer reads, must lie within the file too.
bool DecodeTexture(const uint8_t* data, size_t size, size_t header, size_t sizesAt, size_t offsetsAt,
                   const GamePalette* palette, int transparentIndex, Picture* picture, std::string* why) {
  if (size < header) {
    *why = "the file ends inside its header";
    return false;
  }
  const uint32_t width = GetLE32(data + sizesAt), height = GetLE32(data + sizesAt + 4);
  if (width == 0 || height == 0) {
    *why = "the picture has no pixels";
    return false;
  }
  for (uint32_t level = 1; level < 4; ++level) {
    const uint64_t offset = GetLE32(data + offsetsAt + level * 4);
    const uint64_t count = static_cast<uint64_t>(width >> level) * (height >> level);
    if (offset > size || count > size - offset) {
      *why = "mip level " + std::to_string(level) + " lies outside the file";
      return false;
    }
  }
  return DecodeIndexed(data, size, GetLE32(data + offsetsAt), width, height, palette, transparentIndex, picture,
                       why);
}

}  // namespace

bool DecodeQuakeKind(PictureKind kind, const uint8_t* data, size_t size, const GamePalette* palette,
                     Picture* picture, std::string* why) {
  switch (kind) {
    case PictureKind::QuakePicture:
      return DecodeLmp(data, size, palette, picture, why);
    case PictureKind::QuakePalette:
      return DecodePalette(data, size, picture, why);
    case PictureKind::Conchars:
      return DecodeConchars(data, size, palette, picture, why);
    case PictureKind::Wal:
      return DecodeTexture(data, size, kWalHeader, kWalSizes, kWalOffsets, palette, kNoTransparentIndex, picture,
                           why);
    case PictureKind::MipTexture: {
      const bool holes = size > 0 && data[0] == '{';
      return DecodeTexture(data, size, kMipHeader, kMipSizes, kMipOffsets, palette,
                           holes ? 255 : kNoTransparentIndex, picture, why);
    }
    default:
      *why = "the file is no Quake picture";
      return false;
  }
}
