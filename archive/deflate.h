// Raw deflate streams (no zlib header or trailer), as ZIP entries hold them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

// Compresses the input into one raw deflate stream. *outputSize holds the capacity of
// output on entry and the compressed length on success. 1 on success; 0 when zlib fails
// or the stream does not fit the capacity, or when stop (if given) became true on the way.
int DeflateBuffer(uint8_t* output, uint32_t* outputSize, const uint8_t* input, uint32_t inputSize,
                  int level, const std::atomic<bool>* stop = nullptr);

// Whether deflate could take at most a fraction of a percent off these bytes: they look as
// random as those of compressed pictures and sounds, in every block of them (their byte
// values spread evenly, hardly a repeated sequence within deflate's reach). A save stores
// such bytes as they are instead of compressing them. The check costs a small part of
// what compressing does; an input too small to tell is never said to be so.
bool HardlyCompressible(const uint8_t* input, uint32_t inputSize);

// Large inputs are compressed in parts of this many bytes that can go to different threads;
// joined in order, the parts' outputs are one raw deflate stream, the same whichever
// threads made them. Inputs of fewer than two parts are compressed whole.
constexpr uint32_t kDeflatePartSize = 1u << 20;
// The window a deflate stream may reach back into: what a part needs of the bytes before it.
constexpr uint32_t kDeflateWindow = 32768;
uint32_t DeflatePartCount(uint32_t inputSize);
// The room DeflatePart needs for a part of partSize bytes, short of unusual inputs.
uint32_t DeflatePartBound(uint32_t partSize);

// Compresses part index of input (of DeflatePartCount(inputSize) parts): the 32 KB before
// the part serve as its dictionary, and every part but the last ends on a byte boundary,
// so that the next one's bytes can follow it directly. *outputSize holds the capacity of
// output on entry and the part's compressed length on success. 1 on success; 0 as for
// DeflateBuffer.
int DeflatePart(uint8_t* output, uint32_t* outputSize, const uint8_t* input, uint32_t inputSize,
                uint32_t index, int level, const std::atomic<bool>* stop = nullptr);

// Compresses one piece of a stream whose earlier bytes are gone: dictionary holds (up to)
// the 32 KB that came before it. A piece that is not last ends on a byte boundary, as a
// part of DeflatePart does, so that the pieces' outputs joined in order are one raw deflate
// stream, and the same bytes DeflatePart makes of the same parts. 1 on success; 0 as for
// DeflateBuffer.
int DeflatePiece(uint8_t* output, uint32_t* outputSize, const uint8_t* input, uint32_t inputSize,
                 const uint8_t* dictionary, uint32_t dictionarySize, bool last, int level,
                 const std::atomic<bool>* stop = nullptr);

// Inflates one raw deflate stream that must produce exactly outputSize bytes and end
// there. 1 on success; 0 for a damaged stream, one that stops short, or one that holds
// more data than outputSize.
int InflateBuffer(uint8_t* output, uint32_t outputSize, const uint8_t* input, uint32_t inputSize);

// Takes plain bytes in pieces as they are made, for work that must not hold a whole entry.
class ByteSink {
 public:
  // False when the bytes cannot be taken (a write failed): the work stops.
  virtual bool Take(const uint8_t* data, size_t size) = 0;

 protected:
  ~ByteSink() = default;
};

// Inflates one raw deflate stream that arrives in pieces and must produce exactly the
// expected number of bytes and end there, as InflateBuffer checks a whole one; what it
// makes goes to a sink in pieces of a bounded size, so memory stays the same whatever the
// entry's size. Bytes after the end of the stream are ignored.
class InflateStream {
 public:
  enum class Status {
    More,      // the stream goes on: feed the next piece
    Ended,     // the stream ended with exactly the expected bytes
    Damaged,   // not deflate data, or more or fewer bytes than expected
    Stopped,   // the sink refused a piece
    NoMemory,  // zlib could not start
  };

  explicit InflateStream(uint64_t expected);
  ~InflateStream();
  InflateStream(const InflateStream&) = delete;
  InflateStream& operator=(const InflateStream&) = delete;

  // Inflates the next piece of the stream into sink (which may be null: the bytes are
  // only checked). Once the status is no longer More, further pieces change nothing.
  Status Feed(const uint8_t* input, size_t size, ByteSink* sink);
  // The status after the last piece: a stream that still wants more stops short.
  Status Finish() const { return status_ == Status::More ? Status::Damaged : status_; }

 private:
  struct State;
  std::unique_ptr<State> state_;
  Status status_;
  uint64_t expected_;
  uint64_t produced_ = 0;
};

// Inflates one whole raw deflate stream after another with the same decoder state, reset
// between them instead of set up anew: what checking or extracting many small entries wants.
// Natively the streams held whole (and those of up to a megabyte given to a sink) go to a
// decoder made for whole buffers; others to zlib. One object serves one thread.
class InflateReuse {
 public:
  InflateReuse();
  ~InflateReuse();
  InflateReuse(const InflateReuse&) = delete;
  InflateReuse& operator=(const InflateReuse&) = delete;

  // As InflateBuffer: 1 when input is one stream of exactly outputSize bytes; 0 also when
  // zlib could not start.
  int Inflate(uint8_t* output, uint32_t outputSize, const uint8_t* input, uint32_t inputSize);
  // As an InflateStream of expected bytes fed input whole and finished: the plain bytes go
  // to sink (null: only checked) in pieces of a bounded size.
  InflateStream::Status InflateTo(const uint8_t* input, size_t inputSize, uint64_t expected, ByteSink* sink);

 private:
  struct State;
  // Ready for the next stream; false when zlib could not start.
  bool Begin();
  std::unique_ptr<State> state_;
};
