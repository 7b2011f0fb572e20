// The worker's half of the thumbnails: an entry's picture decoded and scaled into its cell.
#include <algorithm>
#include <string>

#include "archive/entry_snapshot.h"
#include "panes/thumbnails.h"
#include "pictures/picture.h"

namespace {

// Enough of an entry to tell a picture's kind by its first bytes.
constexpr uint32_t kKindPrefix = 4096;
// The checkerboard behind transparent pixels: squares of this many cell pixels.
constexpr int kCheckerSquare = 8;

const GamePalette* PaletteFor(PictureKind kind, ThumbnailPalettes* palettes, const std::atomic<bool>& stop) {
  if (palettes == nullptr || !NeedsGamePalette(kind)) return nullptr;
  const int game = static_cast<int>(PaletteGameOf(kind));
  if (!palettes->read[game]) {
    palettes->read[game] = true;
    palettes->found[game] = LoadPalette(palettes->sources[game], &palettes->palettes[game], &stop);
  }
  return palettes->found[game] ? &palettes->palettes[game] : nullptr;
}

uint32_t Blend(uint32_t over, uint32_t under, uint32_t alpha) {
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const uint32_t a = (over >> shift) & 0xFF, b = (under >> shift) & 0xFF;
    out |= ((a * alpha + b * (255 - alpha) + 127) / 255) << shift;
  }
  return out;
}

// Scales the picture into the middle of the cell: each cell pixel the average of the
// picture's pixels it covers (a box filter), its shape kept, never enlarged.
void Scale(const Picture& picture, int side, uint32_t background, std::vector<uint32_t>* cell) {
  cell->assign(static_cast<size_t>(side) * side, background);
  const uint64_t w = picture.width, h = picture.height;
  uint64_t outW = w, outH = h;
  if (w > static_cast<uint64_t>(side) || h > static_cast<uint64_t>(side)) {
    if (w >= h) {
      outW = side;
      outH = std::max<uint64_t>(1, (h * side + w / 2) / w);
    } else {
      outH = side;
      outW = std::max<uint64_t>(1, (w * side + h / 2) / h);
    }
  }
  const uint64_t left = (side - outW) / 2, top = (side - outH) / 2;
  for (uint64_t y = 0; y < outH; ++y) {
    const uint64_t y0 = y * h / outH, y1 = std::max(y0 + 1, (y + 1) * h / outH);
    for (uint64_t x = 0; x < outW; ++x) {
      const uint64_t x0 = x * w / outW, x1 = std::max(x0 + 1, (x + 1) * w / outW);
      uint64_t sum[4] = {};
      for (uint64_t sy = y0; sy < y1; ++sy) {
        const uint8_t* p = picture.rgba.get() + (sy * w + x0) * 4;
        for (uint64_t sx = x0; sx < x1; ++sx, p += 4) {
          // Colours weighted by their opacity, so that clear pixels lend the mix no colour.
          sum[0] += uint64_t{p[0]} * p[3];
          sum[1] += uint64_t{p[1]} * p[3];
          sum[2] += uint64_t{p[2]} * p[3];
          sum[3] += p[3];
        }
      }
      const uint64_t n = (y1 - y0) * (x1 - x0);
      const uint32_t alpha = static_cast<uint32_t>(sum[3] / n);
      uint32_t colour = 0;
      if (sum[3] > 0)
        colour = static_cast<uint32_t>(sum[0] / sum[3]) << 16 | static_cast<uint32_t>(sum[1] / sum[3]) << 8 |
                 static_cast<uint32_t>(sum[2] / sum[3]);
      const uint64_t cx = left + x, cy = top + y;
      const bool light = ((cx / kCheckerSquare) + (cy / kCheckerSquare)) % 2 == 0;
      const uint32_t checker = light ? 0xFFFFFFu : 0xCCCCCCu;
      (*cell)[cy * side + cx] = alpha == 255 ? colour : Blend(colour, checker, alpha);
    }
  }
}

}  // namespace

bool MakeThumbnailPixels(const ListJob& job, const std::atomic<bool>& stop, ListResult* result) {
  if (job.side <= 0 || job.entry.refused != EntryLoad::Ok) return false;
  SharedBytes prefix;
  if (ReadSnapshot(job.entry, kKindPrefix, &prefix, &stop) != EntryLoad::Ok || !prefix) return false;
  const PictureKind kind = PictureKindOfHead(job.name, prefix->data(), prefix->size(), job.entry.size);
  if (kind == PictureKind::None) return false;
  SharedBytes bytes = prefix;
  if (job.entry.size > prefix->size() &&
      (ReadSnapshot(job.entry, job.entry.size, &bytes, &stop) != EntryLoad::Ok || !bytes))
    return false;
  Picture picture;
  std::string why;
  if (!DecodeEntryPicture(bytes->data(), bytes->size(), kind, PaletteFor(kind, job.palettes.get(), stop), &picture,
                          &why))
    return false;
  if (stop.load(std::memory_order_relaxed)) return false;
  result->side = job.side;
  Scale(picture, job.side, job.background, &result->pixels);
  return true;
}
