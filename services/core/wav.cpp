#include "services/core/wav.h"

#include <cstring>

namespace {

constexpr uint32_t kChunkHeaderSize = 8;
constexpr uint32_t kRiffHeaderSize = 12;
// "fmt " bodies: the plain wave format record, and the PCM one that adds bits per sample.
constexpr uint32_t kFmtBodySize = 14;
constexpr uint32_t kPcmFmtBodySize = 16;

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool IsTag(const uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

bool ReadFormat(const uint8_t* body, uint32_t bodySize, WaveFormat* format) {
  if (bodySize < kFmtBodySize) return false;
  format->formatTag = Read16(body);
  format->channels = Read16(body + 2);
  format->samplesPerSec = Read32(body + 4);
  format->avgBytesPerSec = Read32(body + 8);
  format->blockAlign = Read16(body + 12);
  format->bitsPerSample = 0;
  if (format->formatTag == kWaveFormatPcm) {
    if (bodySize < kPcmFmtBodySize) return false;
    format->bitsPerSample = Read16(body + 14);
  }
  format->extraSize = 0;
  return true;
}

}  // namespace

bool LooksLikeWave(const uint8_t* data, uint32_t size) {
  return data != nullptr && size >= kRiffHeaderSize && IsTag(data, "RIFF") && IsTag(data + 8, "WAVE");
}

bool ParseWave(const uint8_t* data, uint32_t size, WaveSound* sound) {
  if (!LooksLikeWave(data, size) || sound == nullptr) return false;
  if (Read32(data + 4) != size - 8) return false;
  WaveFormat format = {};
  bool haveFormat = false;
  uint32_t offset = kRiffHeaderSize;
  // offset <= size holds throughout, so size - offset never wraps.
  while (size - offset >= kChunkHeaderSize) {
    const uint8_t* header = data + offset;
    const uint32_t bodySize = Read32(header + 4);
    offset += kChunkHeaderSize;
    if (bodySize > size - offset) return false;
    const uint8_t* body = data + offset;
    if (IsTag(header, "fmt ")) {
      if (haveFormat || !ReadFormat(body, bodySize, &format)) return false;
      haveFormat = true;
    } else if (IsTag(header, "data")) {
      if (!haveFormat) return false;
      sound->samples = body;
      sound->sampleBytes = bodySize;
      sound->format = format;
      return true;
    }
    offset += bodySize;
    // The pad byte after an odd body; a file that ends right after the body has no more
    // chunks, which the loop condition then sees.
    if ((bodySize & 1) != 0) {
      if (offset == size) return false;
      ++offset;
    }
  }
  return false;
}
