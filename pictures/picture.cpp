// Room for decoded pixels within the limits, and the one entry to the decoders of our kinds.
#include <new>

#include "pictures/decoders.h"
#include "pictures/picture.h"

bool AllocatePicture(Picture* picture, uint32_t width, uint32_t height, std::string* why) {
  if (width == 0 || height == 0) {
    *why = "the picture has no pixels";
    return false;
  }
  if (width > kMaxPictureSide || height > kMaxPictureSide) {
    *why = "the picture is larger than 16,384 pixels a side (" + std::to_string(width) + " x " +
           std::to_string(height) + ")";
    return false;
  }
  const uint64_t bytes = static_cast<uint64_t>(width) * height * 4;
  if (bytes > kMaxPictureBytes) {
    *why = "the picture would take more than 256 MB decoded (" + std::to_string(width) + " x " +
           std::to_string(height) + ")";
    return false;
  }
  picture->rgba.reset(new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]);
  if (!picture->rgba) {
    *why = "there is not enough memory to decode the picture";
    return false;
  }
  picture->width = width;
  picture->height = height;
  return true;
}

void FillFromIndexes(Picture* picture, const uint8_t* pixels, const uint8_t* rgb, int transparentIndex) {
  const size_t count = static_cast<size_t>(picture->width) * picture->height;
  uint8_t* out = picture->rgba.get();
  for (size_t i = 0; i < count; ++i, out += 4) {
    const uint8_t index = pixels[i];
    if (rgb) {
      out[0] = rgb[index * 3];
      out[1] = rgb[index * 3 + 1];
      out[2] = rgb[index * 3 + 2];
    } else {
      out[0] = out[1] = out[2] = index;
    }
    out[3] = index == transparentIndex ? 0 : 255;
  }
}

bool DecodePicture(PictureKind kind, const uint8_t* data, size_t size, const GamePalette* palette,
                   Picture* picture, std::string* why) {
  *picture = Picture();
  bool decoded = false;
  switch (kind) {
    case PictureKind::Tga:
      decoded = DecodeTga(data, size, picture, why);
      break;
    case PictureKind::Pcx:
      decoded = DecodePcx(data, size, picture, why);
      break;
    case PictureKind::QuakePicture:
    case PictureKind::QuakePalette:
    case PictureKind::Conchars:
    case PictureKind::Wal:
    case PictureKind::MipTexture:
      decoded = DecodeQuakeKind(kind, data, size, palette, picture, why);
      break;
    case PictureKind::None:
      *why = "the file is no picture";
      return false;
    case PictureKind::Png:
    case PictureKind::Jpeg:
    case PictureKind::Bmp:
    case PictureKind::Gif:
      *why = std::string("a ") + PictureKindName(kind) + " is decoded by the system";
      return false;
  }
  if (!decoded) {
    *picture = Picture();
    return false;
  }
  picture->gamePalette = NeedsGamePalette(kind);
  const size_t count = static_cast<size_t>(picture->width) * picture->height;
  const uint8_t* pixel = picture->rgba.get();
  picture->hasAlpha = false;
  for (size_t i = 0; i < count && !picture->hasAlpha; ++i) picture->hasAlpha = pixel[i * 4 + 3] != 255;
  return true;
}
