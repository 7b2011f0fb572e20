// Parses the input as a WAV file; a found sound must lie inside the input and agree with
// its own chunk header.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "services/core/wav.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) return 0;
  WaveSound sound;
  if (!ParseWave(data, static_cast<uint32_t>(size), &sound)) return 0;
  const uint8_t* end = data + size;
  if (sound.samples < data + 20 || sound.samples > end ||
      sound.sampleBytes > static_cast<size_t>(end - sound.samples)) {
    std::abort();
  }
  uint32_t stored;
  std::memcpy(&stored, sound.samples - 4, 4);
  if (stored != sound.sampleBytes || std::memcmp(sound.samples - 8, "data", 4) != 0) std::abort();
  if (sound.format.formatTag != kWaveFormatPcm && sound.format.bitsPerSample != 0) std::abort();
  // Touch every sample byte, as the device would.
  volatile uint8_t sum = 0;
  for (uint32_t i = 0; i < sound.sampleBytes; ++i) sum = static_cast<uint8_t>(sum + sound.samples[i]);
  return 0;
}
