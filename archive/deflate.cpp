#include "archive/deflate.h"

#include <zlib.h>

namespace {

// Window bits below zero select raw deflate data.
constexpr int kRawWindowBits = -15;
constexpr int kMemoryLevel = 9;
constexpr uint32_t kSlice = 1u << 20;

}  // namespace

int DeflateBuffer(uint8_t* output, uint32_t* outputSize, const uint8_t* input, uint32_t inputSize,
                  int level, const std::atomic<bool>* stop) {
  if (output == nullptr || outputSize == nullptr || (input == nullptr && inputSize != 0)) return 0;
  z_stream stream{};
  stream.next_in = const_cast<Bytef*>(input);
  stream.next_out = output;
  stream.avail_out = *outputSize;
  if (deflateInit2(&stream, level, Z_DEFLATED, kRawWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY) !=
      Z_OK)
    return 0;
  // The input goes in slices, so that a stop request is seen within one slice's work. zlib
  // makes the same stream however its input arrives.
  uint32_t remaining = inputSize;
  int result = Z_OK;
  for (;;) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) break;
    const uint32_t piece = remaining < kSlice ? remaining : kSlice;
    stream.avail_in = piece;
    remaining -= piece;
    const bool last = remaining == 0;
    result = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
    // Output that fills before the input is used up means the stream cannot end within it.
    if (last || stream.avail_in != 0) break;
  }
  if (result != Z_STREAM_END) {
    deflateEnd(&stream);
    return 0;
  }
  const uLong produced = stream.total_out;
  if (deflateEnd(&stream) != Z_OK) return 0;
  *outputSize = static_cast<uint32_t>(produced);
  return 1;
}

int InflateBuffer(uint8_t* output, uint32_t outputSize, const uint8_t* input, uint32_t inputSize) {
  if ((output == nullptr && outputSize != 0) || (input == nullptr && inputSize != 0)) return 0;
  z_stream stream{};
  stream.next_in = const_cast<Bytef*>(input);
  stream.avail_in = inputSize;
  // A stream that fills the output must still end there, and anything it would produce
  // beyond is the size mismatch of a damaged entry: this byte catches it.
  uint8_t probe = 0;
  stream.next_out = outputSize ? output : &probe;
  stream.avail_out = outputSize ? outputSize : 1;
  if (inflateInit2(&stream, kRawWindowBits) != Z_OK) return 0;
  int result = inflate(&stream, Z_SYNC_FLUSH);
  if (result == Z_OK && stream.avail_out == 0 && outputSize != 0) {
    stream.next_out = &probe;
    stream.avail_out = 1;
    result = inflate(&stream, Z_SYNC_FLUSH);
  }
  const uLong produced = stream.total_out;
  const int ended = inflateEnd(&stream);
  return result == Z_STREAM_END && ended == Z_OK && produced == outputSize;
}
