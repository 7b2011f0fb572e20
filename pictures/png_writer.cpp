// Pictures written as PNG files: the signature, IHDR, the rows deflated by zlib into IDAT
// chunks, and IEND, each chunk with its CRC-32.
#include <zlib.h>

#include <new>

#include "archive/bytes.h"
#include "archive/crc32.h"
#include "pictures/picture.h"

namespace {

constexpr size_t kChunkBytes = 64 * 1024;

void PutBE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

void AppendChunk(std::string* png, const char type[4], const uint8_t* data, size_t size) {
  uint8_t field[4];
  PutBE32(field, static_cast<uint32_t>(size));
  png->append(reinterpret_cast<const char*>(field), 4);
  png->append(type, 4);
  if (size > 0) png->append(reinterpret_cast<const char*>(data), size);
  const uint32_t crc = Crc32Update(Crc32(type, 4), data, size);
  PutBE32(field, crc);
  png->append(reinterpret_cast<const char*>(field), 4);
}

// Feeds rows to zlib and writes an IDAT chunk each time its output fills.
class IdatWriter {
 public:
  explicit IdatWriter(std::string* png) : png_(png) {}
  ~IdatWriter() {
    if (started_) deflateEnd(&stream_);
  }

  bool Start() {
    out_.reset(new (std::nothrow) uint8_t[kChunkBytes]);
    started_ = out_ && deflateInit(&stream_, 6) == Z_OK;
    return started_;
  }

  bool Feed(const uint8_t* data, size_t size, bool last) {
    stream_.next_in = const_cast<Bytef*>(data);
    stream_.avail_in = static_cast<uInt>(size);
    for (;;) {
      stream_.next_out = out_.get();
      stream_.avail_out = static_cast<uInt>(kChunkBytes);
      const int result = deflate(&stream_, last ? Z_FINISH : Z_NO_FLUSH);
      if (result == Z_STREAM_ERROR || result == Z_MEM_ERROR) return false;
      const size_t made = kChunkBytes - stream_.avail_out;
      if (made > 0) AppendChunk(png_, "IDAT", out_.get(), made);
      if (last ? result == Z_STREAM_END : stream_.avail_out != 0) return true;
    }
  }

 private:
  std::string* png_;
  z_stream stream_{};
  std::unique_ptr<uint8_t[]> out_;
  bool started_ = false;
};

}  // namespace

bool EncodePng(const Picture& picture, std::string* png) {
  png->clear();
  const uint32_t width = picture.width, height = picture.height;
  const size_t count = static_cast<size_t>(width) * height;
  bool opaque = true;
  for (size_t i = 0; i < count && opaque; ++i) opaque = picture.rgba[i * 4 + 3] == 255;
  const size_t channels = opaque ? 3 : 4;

  png->append("\x89PNG\r\n\x1a\n", 8);
  uint8_t header[13];
  PutBE32(header, width);
  PutBE32(header + 4, height);
  header[8] = 8;                   // bits per channel
  header[9] = opaque ? 2 : 6;      // RGB or RGBA
  header[10] = header[11] = header[12] = 0;  // deflate, adaptive filters, no interlace
  AppendChunk(png, "IHDR", header, sizeof header);

  IdatWriter idat(png);
  const size_t rowBytes = 1 + static_cast<size_t>(width) * channels;
  std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[rowBytes]);
  if (!row || !idat.Start()) return false;
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* in = picture.rgba.get() + static_cast<size_t>(y) * width * 4;
    row[0] = 0;  // each row as it is, unfiltered
    uint8_t* out = row.get() + 1;
    for (uint32_t x = 0; x < width; ++x, in += 4, out += channels)
      for (size_t c = 0; c < channels; ++c) out[c] = in[c];
    if (!idat.Feed(row.get(), rowBytes, y + 1 == height)) return false;
  }
  if (height == 0 && !idat.Feed(nullptr, 0, true)) return false;
  AppendChunk(png, "IEND", nullptr, 0);
  return true;
}
