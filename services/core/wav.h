// Reading a RIFF/WAVE sound held whole in memory: where its samples are and how the
// wave-output device must be opened for them.
#pragma once

#include <cstdint>

// Laid out as the wave-output device's format record (WAVEFORMATEX), so it can be handed
// to the device as is.
#pragma pack(push, 2)
struct WaveFormat {
  uint16_t formatTag;
  uint16_t channels;
  uint32_t samplesPerSec;
  uint32_t avgBytesPerSec;
  uint16_t blockAlign;
  uint16_t bitsPerSample;  // only for PCM (tag 1); 0 otherwise
  uint16_t extraSize;      // always 0
};
#pragma pack(pop)
static_assert(sizeof(WaveFormat) == 18, "WaveFormat must match the device's format record");

constexpr uint16_t kWaveFormatPcm = 1;

struct WaveSound {
  const uint8_t* samples;  // the body of the "data" chunk, inside the parsed buffer
  uint32_t sampleBytes;
  WaveFormat format;
};

// true when the buffer is at least 12 bytes, starts with "RIFF" and has "WAVE" at offset 8:
// the quick test a sound must pass before it is queued.
bool LooksLikeWave(const uint8_t* data, uint32_t size);

// Parses a whole WAV file. The RIFF size must match the buffer exactly, "fmt " must come
// once and before "data", and every chunk must lie inside the buffer. true with *sound
// filled when the sound can be played; false otherwise (sound is then untouched).
bool ParseWave(const uint8_t* data, uint32_t size, WaveSound* sound);
