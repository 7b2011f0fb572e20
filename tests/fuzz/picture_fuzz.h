// What the picture fuzz targets share: a decoded picture must be whole and within the
// limits, and must pass through the PNG writer.
#pragma once

#include <cstdlib>

#include "pictures/picture.h"

inline void CheckDecoded(PictureKind kind, const uint8_t* data, size_t size, const GamePalette* palette) {
  Picture picture;
  std::string why;
  if (!DecodePicture(kind, data, size, palette, &picture, &why)) {
    if (why.empty() || picture.rgba) std::abort();
    return;
  }
  if (!picture.rgba || picture.width == 0 || picture.height == 0 || picture.width > kMaxPictureSide ||
      picture.height > kMaxPictureSide || uint64_t(picture.width) * picture.height * 4 > kMaxPictureBytes)
    std::abort();
  bool opaque = true;
  const size_t count = size_t(picture.width) * picture.height;
  for (size_t i = 0; i < count; ++i) opaque = opaque && picture.rgba[i * 4 + 3] == 255;
  if (opaque == picture.hasAlpha) std::abort();
  std::string png;
  if (!EncodePng(picture, &png) || png.size() < 57) std::abort();
}
