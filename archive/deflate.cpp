#include "archive/deflate.h"

#include <zlib.h>
#ifdef VELLUMIX_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Window bits below zero select raw deflate data.
constexpr int kRawWindowBits = -15;
// zlib's own default: on a game mod's folder it compresses within a few hundred bytes in
// 38 MB of the largest, for less CPU and half the table each stream clears as it starts
// (which counts with thousands of small files).
constexpr int kMemoryLevel = 8;
constexpr uint32_t kSlice = 1u << 20;

// Compresses input into output, as the whole of a stream (finish) or as a piece of one that
// ends on a byte boundary, after taking dictionary as the bytes that came before.
int Compress(uint8_t* output, uint32_t* outputSize, const uint8_t* input, uint32_t inputSize,
             const uint8_t* dictionary, uint32_t dictionarySize, bool finish, int level,
             const std::atomic<bool>* stop) {
  if (output == nullptr || outputSize == nullptr || (input == nullptr && inputSize != 0)) return 0;
  z_stream stream{};
  stream.next_in = const_cast<Bytef*>(input);
  stream.next_out = output;
  stream.avail_out = *outputSize;
  if (deflateInit2(&stream, level, Z_DEFLATED, kRawWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY) !=
      Z_OK)
    return 0;
  if (dictionarySize != 0 && deflateSetDictionary(&stream, dictionary, dictionarySize) != Z_OK) {
    deflateEnd(&stream);
    return 0;
  }
  // The input goes in slices, so that a stop request is seen within one slice's work. zlib
  // makes the same stream however its input arrives.
  const int end = finish ? Z_FINISH : Z_SYNC_FLUSH;
  uint32_t remaining = inputSize;
  int result = Z_OK;
  for (;;) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) break;
    const uint32_t piece = remaining < kSlice ? remaining : kSlice;
    stream.avail_in = piece;
    remaining -= piece;
    const bool last = remaining == 0;
    result = deflate(&stream, last ? end : Z_NO_FLUSH);
    // Output that fills before the input is used up means the stream cannot end within it.
    if (last || stream.avail_in != 0) break;
  }
  // A flushed piece is complete when the output had room to spare: zlib fills it up to the
  // last byte only when more is pending.
  const bool complete = finish ? result == Z_STREAM_END
                               : result == Z_OK && stream.avail_in == 0 && stream.avail_out != 0;
  if (!complete) {
    deflateEnd(&stream);
    return 0;
  }
  const uLong produced = stream.total_out;
  const int ended = deflateEnd(&stream);
  // Ending a stream that was not finished reports that its data was cut short, as asked.
  if (ended != Z_OK && !(ended == Z_DATA_ERROR && !finish)) return 0;
  *outputSize = static_cast<uint32_t>(produced);
  return 1;
}

}  // namespace

bool HardlyCompressible(const uint8_t* input, uint32_t inputSize) {
  // Blocks of about the size deflate codes with one table of codes. Below an entropy of
  // this many bits a byte, in any block, coding the values alone would gain more than
  // about 0.4 % there.
  constexpr uint32_t kBlock = 16 * 1024;
  constexpr double kLeastBits = 7.97;
  if (input == nullptr || inputSize < 2 * kBlock) return false;
  // Sequences of four bytes seen before within the window, found through a table of the
  // last place of each hash: in random bytes about one place in 100,000 finds one. More
  // than one in 1,024 and matches could gain about 0.1 % more.
  constexpr int kHashBits = 14;
  std::unique_ptr<uint32_t[]> last(new (std::nothrow) uint32_t[1u << kHashBits]());
  if (!last) return false;
  const uint32_t allowedMatches = inputSize / 1024;
  uint32_t matches = 0;
  for (uint32_t start = 0; start < inputSize;) {
    // The bytes left after a whole block join it.
    const uint32_t end = inputSize - start < 2 * kBlock ? inputSize : start + kBlock;
    uint32_t counts[256] = {};
    for (uint32_t i = start; i < end; ++i) ++counts[input[i]];
    for (uint32_t i = start; i + 4 <= end; ++i) {
      uint32_t v;
      std::memcpy(&v, input + i, 4);
      uint32_t& seen = last[(v * 2654435761u) >> (32 - kHashBits)];
      // Places are kept one up, so that 0 is none.
      if (seen != 0 && i + 1 - seen <= kDeflateWindow && std::memcmp(input + seen - 1, &v, 4) == 0 &&
          ++matches > allowedMatches)
        return false;
      seen = i + 1;
    }
    // The block's entropy: n log2 n minus the sum of c log2 c over its byte counts.
    const double n = end - start;
    double sum = 0;
    for (uint32_t c : counts)
      if (c > 1) sum += c * std::log2(static_cast<double>(c));
    if ((n * std::log2(n) - sum) / n < kLeastBits) return false;
    start = end;
  }
  return true;
}

int DeflateBuffer(uint8_t* output, uint32_t* outputSize, const uint8_t* input, uint32_t inputSize,
                  int level, const std::atomic<bool>* stop) {
  return Compress(output, outputSize, input, inputSize, nullptr, 0, true, level, stop);
}

uint32_t DeflatePartCount(uint32_t inputSize) {
  const uint32_t parts = inputSize / kDeflatePartSize + (inputSize % kDeflatePartSize != 0);
  return parts < 2 ? 1 : parts;
}

uint32_t DeflatePartBound(uint32_t partSize) {
  // zlib's bound for bytes that do not compress (stored blocks), and the empty block a
  // flush ends with. A part that would still not fit fails, and its entry is stored.
  return partSize + (partSize >> 12) + (partSize >> 14) + (partSize >> 25) + 13 + 5;
}

int DeflatePart(uint8_t* output, uint32_t* outputSize, const uint8_t* input, uint32_t inputSize,
                uint32_t index, int level, const std::atomic<bool>* stop) {
  const uint32_t parts = DeflatePartCount(inputSize);
  if (index >= parts) return 0;
  const uint32_t start = index * kDeflatePartSize;
  const uint32_t size = index + 1 == parts ? inputSize - start : kDeflatePartSize;
  const uint32_t dictionarySize = start < kDeflateWindow ? start : kDeflateWindow;
  return Compress(output, outputSize, input + start, size, input + start - dictionarySize, dictionarySize,
                  index + 1 == parts, level, stop);
}

int DeflatePiece(uint8_t* output, uint32_t* outputSize, const uint8_t* input, uint32_t inputSize,
                 const uint8_t* dictionary, uint32_t dictionarySize, bool last, int level,
                 const std::atomic<bool>* stop) {
  return Compress(output, outputSize, input, inputSize, dictionary, dictionarySize, last, level, stop);
}

#ifdef VELLUMIX_LIBDEFLATE
namespace {

// A stream held whole inflates in one call of a decoder made for that: about twice as fast
// as zlib's, and it takes no set-up between streams. It stops with an error where a stream
// would make more than outputSize, and says how much it made when it ends short.
int InflateWhole(libdeflate_decompressor* decoder, uint8_t* output, uint32_t outputSize, const uint8_t* input,
                 uint32_t inputSize) {
  if (decoder == nullptr || (output == nullptr && outputSize != 0) || (input == nullptr && inputSize != 0)) return 0;
  uint8_t probe = 0;
  size_t made = 0;
  const libdeflate_result result = libdeflate_deflate_decompress(
      decoder, inputSize ? input : &probe, inputSize, outputSize ? output : &probe, outputSize, &made);
  return result == LIBDEFLATE_SUCCESS && made == outputSize;
}

}  // namespace

int InflateBuffer(uint8_t* output, uint32_t outputSize, const uint8_t* input, uint32_t inputSize) {
  libdeflate_decompressor* decoder = libdeflate_alloc_decompressor();
  const int ok = InflateWhole(decoder, output, outputSize, input, inputSize);
  libdeflate_free_decompressor(decoder);
  return ok;
}
#else
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
#endif

// ---- InflateStream ----

struct InflateStream::State {
  z_stream stream{};
  bool started = false;
  // Plain bytes go to the sink from here, a piece at a time.
  uint8_t out[64 * 1024];
};

InflateStream::InflateStream(uint64_t expected) : status_(Status::More), expected_(expected) {
  state_.reset(new (std::nothrow) State);
  if (!state_ || inflateInit2(&state_->stream, kRawWindowBits) != Z_OK) {
    status_ = Status::NoMemory;
    return;
  }
  state_->started = true;
}

InflateStream::~InflateStream() {
  if (state_ && state_->started) inflateEnd(&state_->stream);
}

namespace {

// Inflates the next piece of a stream into sink through out, counting what it makes against
// what the stream must make: More once the piece is used up and the stream goes on.
InflateStream::Status InflateInto(z_stream& z, uint8_t* out, size_t outSize, const uint8_t* input, size_t size,
                                  uint64_t expected, uint64_t* produced, ByteSink* sink) {
  using Status = InflateStream::Status;
  while (size > 0) {
    // zlib counts its input in 32-bit pieces.
    const uInt piece = size > 0x40000000u ? 0x40000000u : static_cast<uInt>(size);
    z.next_in = const_cast<Bytef*>(input);
    z.avail_in = piece;
    do {
      z.next_out = out;
      z.avail_out = static_cast<uInt>(outSize);
      const int result = inflate(&z, Z_NO_FLUSH);
      const size_t made = outSize - z.avail_out;
      // More than the record promised is the size mismatch of a damaged entry, even when
      // the stream itself would go on.
      if (made > expected - *produced) return Status::Damaged;
      *produced += made;
      if (made > 0 && sink != nullptr && !sink->Take(out, made)) return Status::Stopped;
      if (result == Z_STREAM_END) return *produced == expected ? Status::Ended : Status::Damaged;
      // Z_BUF_ERROR only says no progress was possible: the input is used up.
      if (result != Z_OK && result != Z_BUF_ERROR) return Status::Damaged;
    } while (z.avail_in > 0 || z.avail_out == 0);
    input += piece;
    size -= piece;
  }
  return Status::More;
}

}  // namespace

InflateStream::Status InflateStream::Feed(const uint8_t* input, size_t size, ByteSink* sink) {
  // While the status is More the state exists and zlib was started.
  if (status_ != Status::More) return status_;
  status_ = InflateInto(state_->stream, state_->out, sizeof state_->out, input, size, expected_, &produced_, sink);
  return status_;
}

// ---- InflateReuse ----

struct InflateReuse::State {
  z_stream stream{};
  bool started = false;
  bool used = false;  // a stream went through since the last reset
  uint8_t out[64 * 1024];
#ifdef VELLUMIX_LIBDEFLATE
  libdeflate_decompressor* whole = nullptr;  // for the streams held whole
  // What a stream of up to kWholeLimit plain bytes inflates into at once before it goes
  // to the sink: grown as the streams need it, kept for the next.
  std::unique_ptr<uint8_t[]> plain;
  uint32_t plainSize = 0;
  static constexpr uint32_t kWholeLimit = 1u << 20;

  libdeflate_decompressor* Whole() {
    if (whole == nullptr) whole = libdeflate_alloc_decompressor();
    return whole;
  }
#endif
};

InflateReuse::InflateReuse() : state_(new (std::nothrow) State) {}

InflateReuse::~InflateReuse() {
  if (state_ && state_->started) inflateEnd(&state_->stream);
#ifdef VELLUMIX_LIBDEFLATE
  if (state_) libdeflate_free_decompressor(state_->whole);
#endif
}

bool InflateReuse::Begin() {
  if (!state_) return false;
  if (!state_->started) {
    state_->stream = z_stream{};
    if (inflateInit2(&state_->stream, kRawWindowBits) != Z_OK) return false;
    state_->started = true;
  } else if (state_->used && inflateReset(&state_->stream) != Z_OK) {
    return false;
  }
  state_->used = true;
  return true;
}

int InflateReuse::Inflate(uint8_t* output, uint32_t outputSize, const uint8_t* input, uint32_t inputSize) {
#ifdef VELLUMIX_LIBDEFLATE
  return state_ ? InflateWhole(state_->Whole(), output, outputSize, input, inputSize) : 0;
#else
  if ((output == nullptr && outputSize != 0) || (input == nullptr && inputSize != 0) || !Begin()) return 0;
  z_stream& stream = state_->stream;
  stream.next_in = const_cast<Bytef*>(input);
  stream.avail_in = inputSize;
  // As in InflateBuffer: a stream that would go on past the output is caught by one byte more.
  uint8_t probe = 0;
  stream.next_out = outputSize ? output : &probe;
  stream.avail_out = outputSize ? outputSize : 1;
  const uLong before = stream.total_out;
  int result = inflate(&stream, Z_SYNC_FLUSH);
  if (result == Z_OK && stream.avail_out == 0 && outputSize != 0) {
    stream.next_out = &probe;
    stream.avail_out = 1;
    result = inflate(&stream, Z_SYNC_FLUSH);
  }
  return result == Z_STREAM_END && stream.total_out - before == outputSize;
#endif
}

InflateStream::Status InflateReuse::InflateTo(const uint8_t* input, size_t inputSize, uint64_t expected,
                                              ByteSink* sink) {
#ifdef VELLUMIX_LIBDEFLATE
  // A stream of a size worth no streaming is inflated whole, and goes to the sink in one piece.
  if (state_ && expected <= State::kWholeLimit && inputSize <= UINT32_MAX) {
    using Status = InflateStream::Status;
    const uint32_t size = static_cast<uint32_t>(expected);
    if (state_->plainSize < size) {
      state_->plain.reset(new (std::nothrow) uint8_t[size]);
      state_->plainSize = state_->plain ? size : 0;
      if (!state_->plain) return Status::NoMemory;
    }
    if (state_->Whole() == nullptr) return Status::NoMemory;
    if (!InflateWhole(state_->whole, state_->plain.get(), size, input, static_cast<uint32_t>(inputSize)))
      return Status::Damaged;
    return size == 0 || sink == nullptr || sink->Take(state_->plain.get(), size) ? Status::Ended : Status::Stopped;
  }
#endif
  if (!Begin()) return InflateStream::Status::NoMemory;
  uint64_t produced = 0;
  const InflateStream::Status status =
      InflateInto(state_->stream, state_->out, sizeof state_->out, input, inputSize, expected, &produced, sink);
  // The input ended while the stream still wanted more.
  return status == InflateStream::Status::More ? InflateStream::Status::Damaged : status;
}
