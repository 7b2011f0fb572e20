// TGA pictures: colour-mapped (8-bit indexes into a map of 15-, 16-, 24- or 32-bit
// colours), true colour (15, 16, 24, 32 bits) and grey (8 bits), each plain or
// run-length encoded; rows bottom-up unless the descriptor says top-down, and right to
// left when it says so. The format has no magic: the header has to make sense instead.
#include <vector>

#include "archive/bytes.h"
#include "pictures/decoders.h"

namespace {

constexpr size_t kHeader = 18;

struct TgaHeader {
  uint8_t idLength, mapType, imageType;
  uint16_t mapFirst, mapLength;
  uint8_t mapEntryBits;
  uint16_t width, height;
  uint8_t pixelBits, descriptor;

  uint8_t BaseType() const { return imageType & 7; }
  bool Rle() const { return (imageType & 8) != 0; }
  uint8_t AlphaBits() const { return descriptor & 15; }
  bool TopDown() const { return (descriptor & 0x20) != 0; }
  bool RightToLeft() const { return (descriptor & 0x10) != 0; }
};

TgaHeader ReadHeader(const uint8_t* p) {
  TgaHeader h;
  h.idLength = p[0];
  h.mapType = p[1];
  h.imageType = p[2];
  h.mapFirst = GetLE16(p + 3);
  h.mapLength = GetLE16(p + 5);
  h.mapEntryBits = p[7];
  h.width = GetLE16(p + 12);
  h.height = GetLE16(p + 14);
  h.pixelBits = p[16];
  h.descriptor = p[17];
  return h;
}

bool IsColourBits(uint8_t bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }

// Why the header cannot describe a picture we decode; null when it can.
const char* HeaderProblem(const TgaHeader& h) {
  if (h.mapType > 1) return "the header names an unknown kind of colour map";
  const uint8_t type = h.BaseType();
  if ((h.imageType & ~8) != type || type < 1 || type > 3) return "the header names an unknown kind of picture";
  if (h.mapType == 1 && !IsColourBits(h.mapEntryBits)) return "the colour map's entries have an unknown size";
  if (type == 1 && (h.mapType != 1 || h.pixelBits != 8)) return "a colour-mapped picture needs a map and 8-bit pixels";
  if (type == 2 && !IsColourBits(h.pixelBits)) return "the pixels have an unknown size";
  if (type == 3 && h.pixelBits != 8) return "a grey picture needs 8-bit pixels";
  if (h.width == 0 || h.height == 0) return "the picture has no pixels";
  return nullptr;
}

// One stored colour of 2, 3 or 4 bytes (blue first) as RGBA. A 32-bit colour's fourth byte
// is its alpha; a 16-bit colour's top bit only with useAlpha; 15-bit colours are opaque.
void ColourOf(const uint8_t* p, uint8_t bits, bool useAlpha, uint8_t* out) {
  if (bits == 15 || bits == 16) {
    const uint16_t v = GetLE16(p);
    const uint8_t r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
    out[0] = static_cast<uint8_t>((r << 3) | (r >> 2));
    out[1] = static_cast<uint8_t>((g << 3) | (g >> 2));
    out[2] = static_cast<uint8_t>((b << 3) | (b >> 2));
    out[3] = bits == 16 && useAlpha && !(v & 0x8000) ? 0 : 255;
    return;
  }
  out[0] = p[2];
  out[1] = p[1];
  out[2] = p[0];
  out[3] = bits == 32 ? p[3] : 255;
}

// Games write the alpha of 32-bit colours into their fourth byte whatever the descriptor
// says, so it counts; only where the descriptor gives no alpha bits and every fourth byte
// is 0 (nobody filled it) is the picture opaque.
void OpaqueWhenAlphaUnfilled(const TgaHeader& h, Picture* picture) {
  const uint8_t bits = h.BaseType() == 1 ? h.mapEntryBits : h.pixelBits;
  if (h.AlphaBits() != 0 || bits != 32) return;
  uint8_t* rgba = picture->rgba.get();
  const size_t count = static_cast<size_t>(picture->width) * picture->height;
  for (size_t i = 0; i < count; ++i)
    if (rgba[i * 4 + 3] != 0) return;
  for (size_t i = 0; i < count; ++i) rgba[i * 4 + 3] = 255;
}

class TgaDecoder {
 public:
  TgaDecoder(const TgaHeader& h, Picture* picture) : h_(h), picture_(picture) {}

  // The colour map as RGBA, read from bytes that hold it whole.
  void ReadMap(const uint8_t* p, size_t entryBytes) {
    map_.resize(static_cast<size_t>(h_.mapLength) * 4);
    for (size_t i = 0; i < h_.mapLength; ++i) ColourOf(p + i * entryBytes, h_.mapEntryBits, Alpha(), &map_[i * 4]);
  }

  // Stores the next pixel (its stored bytes), in the order the file keeps them.
  bool Put(const uint8_t* p, std::string* why) {
    uint8_t* out = Target();
    ++next_;
    switch (h_.BaseType()) {
      case 1: {
        if (p[0] < h_.mapFirst || p[0] - h_.mapFirst >= h_.mapLength) {
          *why = "a pixel names a colour outside the colour map";
          return false;
        }
        const uint8_t* c = &map_[static_cast<size_t>(p[0] - h_.mapFirst) * 4];
        out[0] = c[0], out[1] = c[1], out[2] = c[2], out[3] = c[3];
        return true;
      }
      case 2:
        ColourOf(p, h_.pixelBits, Alpha(), out);
        return true;
      default:
        out[0] = out[1] = out[2] = p[0];
        out[3] = 255;
        return true;
    }
  }

 private:
  // A 16-bit colour's top bit is alpha only where the descriptor gives it an alpha bit.
  bool Alpha() const { return h_.AlphaBits() != 0; }

  uint8_t* Target() const {
    const uint32_t w = h_.width, h = h_.height;
    uint32_t row = static_cast<uint32_t>(next_ / w), column = static_cast<uint32_t>(next_ % w);
    if (!h_.TopDown()) row = h - 1 - row;
    if (h_.RightToLeft()) column = w - 1 - column;
    return picture_->rgba.get() + (static_cast<size_t>(row) * w + column) * 4;
  }

  const TgaHeader& h_;
  Picture* picture_;
  std::vector<uint8_t> map_;
  size_t next_ = 0;
};

}  // namespace

bool LooksLikeTga(const uint8_t* data, size_t size) {
  return size >= kHeader && HeaderProblem(ReadHeader(data)) == nullptr;
}

bool DecodeTga(const uint8_t* data, size_t size, Picture* picture, std::string* why) {
  if (size < kHeader) {
    *why = "the file ends inside its header";
    return false;
  }
  const TgaHeader h = ReadHeader(data);
  if (const char* problem = HeaderProblem(h)) {
    *why = problem;
    return false;
  }
  size_t at = kHeader;
  if (h.idLength > size - at) {
    *why = "the file ends inside its identification field";
    return false;
  }
  at += h.idLength;
  const size_t entryBytes = (h.mapEntryBits + 7u) / 8;
  const size_t mapBytes = h.mapType == 1 ? entryBytes * h.mapLength : 0;
  if (mapBytes > size - at) {
    *why = "the file ends inside its colour map";
    return false;
  }
  const uint8_t* map = data + at;
  at += mapBytes;
  const size_t pixelBytes = (h.pixelBits + 7u) / 8;
  const size_t pixels = static_cast<size_t>(h.width) * h.height;
  const uint8_t* body = data + at;
  const size_t left = size - at;
  // The least the pixels can take: every one stored, or a packet per 128 of them.
  const size_t least = h.Rle() ? (pixels + 127) / 128 * (1 + pixelBytes) : pixels * pixelBytes;
  if (least > left) {
    *why = "the file ends inside its pixels";
    return false;
  }
  if (!AllocatePicture(picture, h.width, h.height, why)) return false;
  picture->bits = h.pixelBits == 15 ? 16 : h.pixelBits;
  picture->indexed = h.BaseType() == 1;

  TgaDecoder decoder(h, picture);
  if (h.BaseType() == 1) decoder.ReadMap(map, entryBytes);
  if (!h.Rle()) {
    for (size_t i = 0; i < pixels; ++i)
      if (!decoder.Put(body + i * pixelBytes, why)) return false;
    OpaqueWhenAlphaUnfilled(h, picture);
    return true;
  }
  size_t done = 0, p = 0;
  while (done < pixels) {
    if (p >= left) {
      *why = "the file ends inside its pixels";
      return false;
    }
    const uint8_t packet = body[p++];
    const size_t count = (packet & 0x7F) + 1u;
    if (count > pixels - done) {
      *why = "a run of pixels goes past the end of the picture";
      return false;
    }
    const bool run = (packet & 0x80) != 0;
    const size_t stored = run ? pixelBytes : count * pixelBytes;
    if (stored > left - p) {
      *why = "the file ends inside its pixels";
      return false;
    }
    for (size_t i = 0; i < count; ++i)
      if (!decoder.Put(body + p + (run ? 0 : i * pixelBytes), why)) return false;
    p += stored;
    done += count;
  }
  OpaqueWhenAlphaUnfilled(h, picture);
  return true;
}
