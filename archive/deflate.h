// Raw deflate streams (no zlib header or trailer), as ZIP entries hold them.
#pragma once

#include <atomic>
#include <cstdint>

// Compresses the input into one raw deflate stream. *outputSize holds the capacity of
// output on entry and the compressed length on success. 1 on success; 0 when zlib fails
// or the stream does not fit the capacity, or when stop (if given) became true on the way.
int DeflateBuffer(uint8_t* output, uint32_t* outputSize, const uint8_t* input, uint32_t inputSize,
                  int level, const std::atomic<bool>* stop = nullptr);

// Inflates one raw deflate stream that must produce exactly outputSize bytes and end
// there. 1 on success; 0 for a damaged stream, one that stops short, or one that holds
// more data than outputSize.
int InflateBuffer(uint8_t* output, uint32_t outputSize, const uint8_t* input, uint32_t inputSize);
