// Pictures of the kinds the platform decodes (PNG, JPEG, BMP, GIF: its first frame), through
// the Windows Imaging Component, which the system keeps patched. Callable on any thread: the
// call enters COM on its thread for its own duration when the thread has not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "pictures/picture.h"

// Decodes the picture held whole in data into 32-bit RGBA pixels, refusing one above
// kMaxPictureSide a side or kMaxPictureBytes decoded before any pixel is copied. False, with
// the reason, when the bytes are no picture the platform reads, are damaged, or are a PNG of
// fewer than 8 bits a pixel on a platform whose decoder cannot convert those (Wine's).
bool DecodeWithPlatform(const uint8_t* data, size_t size, Picture* picture, std::string* why);

// Whether the platform's decoder is known to turn a PNG of fewer than 8 bits a pixel into
// garbage: true under Wine.
bool PlatformGarblesLowDepthPngs();
