// What the decoders of pictures/ share among themselves: each format's checks and decoder,
// and the way 8-bit pixels become colours. Not for the areas above: they call picture.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "pictures/picture.h"

// Whether the bytes start like a picture of the format: enough to name the kind, not a
// promise that it decodes.
bool LooksLikeTga(const uint8_t* data, size_t size);
bool LooksLikePcx(const uint8_t* data, size_t size);

bool DecodeTga(const uint8_t* data, size_t size, Picture* picture, std::string* why);
bool DecodePcx(const uint8_t* data, size_t size, Picture* picture, std::string* why);
// The Quake kinds: LMP pictures, palettes, conchars, WAL and mip textures.
bool DecodeQuakeKind(PictureKind kind, const uint8_t* data, size_t size, const GamePalette* palette,
                     Picture* picture, std::string* why);

// The 256-colour palette at the end of an 8-bit PCX (0x0C, then 768 bytes of RGB) into rgb;
// false when the file has none.
bool PcxTrailingPalette(const uint8_t* data, size_t size, uint8_t rgb[768]);

// No pixel is transparent.
constexpr int kNoTransparentIndex = -1;
// Fills an allocated picture of width x height from as many 8-bit pixels, the top row
// first, with the colours of rgb (768 bytes; null: index i is grey level i). The pixel equal
// to transparentIndex gets alpha 0.
void FillFromIndexes(Picture* picture, const uint8_t* pixels, const uint8_t* rgb, int transparentIndex);
