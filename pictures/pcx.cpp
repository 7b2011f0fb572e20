// PCX pictures: 8 bits in one plane with the 256-colour palette at the end of the file
// (grey levels where there is none: a grey-scale PCX carries no palette), and 8 bits in
// three planes (red, green, blue) or four (with alpha), run-length encoded or plain. Each
// plane's row takes bytesPerLine bytes, padding included; the picture spans the window
// xmin..xmax, ymin..ymax.
#include <cstring>
#include <new>

#include "archive/bytes.h"
#include "pictures/decoders.h"

namespace {

constexpr size_t kHeader = 128;
constexpr size_t kTrailingPalette = 769;  // 0x0C, then 256 RGB colours

struct PcxHeader {
  uint8_t version, encoding, bitsPerPixel, planes;
  uint16_t xmin, ymin, xmax, ymax, bytesPerLine;
};

PcxHeader ReadHeader(const uint8_t* p) {
  PcxHeader h;
  h.version = p[1];
  h.encoding = p[2];
  h.bitsPerPixel = p[3];
  h.xmin = GetLE16(p + 4);
  h.ymin = GetLE16(p + 6);
  h.xmax = GetLE16(p + 8);
  h.ymax = GetLE16(p + 10);
  h.planes = p[65];
  h.bytesPerLine = GetLE16(p + 66);
  return h;
}

// Why the header cannot describe a picture we decode; null when it can.
const char* HeaderProblem(const PcxHeader& h) {
  if (h.encoding > 1) return "the header names an unknown encoding";
  if (h.bitsPerPixel != 8 || (h.planes != 1 && h.planes != 3 && h.planes != 4))
    return "only PCX pictures of 8 bits in 1, 3 or 4 planes are shown";
  if (h.xmax < h.xmin || h.ymax < h.ymin) return "the picture's window is empty";
  if (h.bytesPerLine < h.xmax - h.xmin + 1u) return "a row is shorter than the picture is wide";
  return nullptr;
}

}  // namespace

bool LooksLikePcx(const uint8_t* data, size_t size) {
  return size >= kHeader && data[0] == 0x0A && data[1] <= 5 && data[2] <= 1 &&
         (data[3] == 1 || data[3] == 2 || data[3] == 4 || data[3] == 8);
}

bool PcxTrailingPalette(const uint8_t* data, size_t size, uint8_t rgb[768]) {
  if (size < kHeader + kTrailingPalette) return false;
  const PcxHeader h = ReadHeader(data);
  if (h.bitsPerPixel != 8 || h.planes != 1 || data[size - kTrailingPalette] != 0x0C) return false;
  std::memcpy(rgb, data + size - 768, 768);
  return true;
}

bool DecodePcx(const uint8_t* data, size_t size, Picture* picture, std::string* why) {
  if (!LooksLikePcx(data, size)) {
    *why = size < kHeader ? "the file ends inside its header" : "the header is not that of a PCX picture";
    return false;
  }
  const PcxHeader h = ReadHeader(data);
  if (const char* problem = HeaderProblem(h)) {
    *why = problem;
    return false;
  }
  uint8_t palette[768];
  const bool hasPalette = h.planes == 1 && PcxTrailingPalette(data, size, palette);
  const uint8_t* body = data + kHeader;
  const size_t left = size - kHeader - (hasPalette ? kTrailingPalette : 0);
  const uint32_t width = h.xmax - h.xmin + 1u, height = h.ymax - h.ymin + 1u;
  const size_t line = static_cast<size_t>(h.planes) * h.bytesPerLine;
  const uint64_t total = static_cast<uint64_t>(line) * height;
  // The least the rows can take: every byte stored, or two bytes per run of 63.
  const uint64_t least = h.encoding == 1 ? (total + 62) / 63 * 2 : total;
  if (least > left) {
    *why = "the file ends inside its pixels";
    return false;
  }
  if (!AllocatePicture(picture, width, height, why)) return false;
  std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[line]);
  if (!row) {
    *why = "there is not enough memory to decode the picture";
    return false;
  }
  picture->bits = static_cast<uint8_t>(8 * h.planes);
  picture->indexed = h.planes == 1;
  // Runs may carry on from one row into the next, so the run left over is kept.
  size_t p = 0, runLeft = 0;
  uint8_t runValue = 0;
  for (uint32_t y = 0; y < height; ++y) {
    for (size_t x = 0; x < line;) {
      if (h.encoding == 0) {
        row[x++] = body[p++];
        continue;
      }
      if (runLeft > 0) {
        row[x++] = runValue;
        --runLeft;
        continue;
      }
      if (p >= left) {
        *why = "the file ends inside its pixels";
        return false;
      }
      const uint8_t c = body[p++];
      if ((c & 0xC0) != 0xC0) {
        row[x++] = c;
        continue;
      }
      if (p >= left) {
        *why = "the file ends inside its pixels";
        return false;
      }
      runLeft = c & 0x3F;  // a run of none stores nothing
      runValue = body[p++];
    }
    uint8_t* out = picture->rgba.get() + static_cast<size_t>(y) * width * 4;
    for (uint32_t x = 0; x < width; ++x, out += 4) {
      if (h.planes == 1) {
        const uint8_t index = row[x];
        out[0] = hasPalette ? palette[index * 3] : index;
        out[1] = hasPalette ? palette[index * 3 + 1] : index;
        out[2] = hasPalette ? palette[index * 3 + 2] : index;
        out[3] = 255;
      } else {
        out[0] = row[x];
        out[1] = row[h.bytesPerLine + x];
        out[2] = row[2 * h.bytesPerLine + x];
        out[3] = h.planes == 4 ? row[3 * h.bytesPerLine + x] : 255;
      }
    }
  }
  return true;
}
