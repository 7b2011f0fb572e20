#include "panes/core/entry_content.h"

#include <cstdio>
#include <cstring>

#include "services/core/wav.h"

namespace {

const char* const kTextExtensions[] = {"cfg", "txt", "shader", "menu", "arena", "bot", "skin", "def", "mtr",
                                       "script", "qc", "ent", "map", "h", "c", "ini", "json", "xml"};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The text after the last "." of the name's last component, lower-cased; empty for none.
std::string LowerExtension(const std::string& name) {
  const size_t slash = name.find_last_of("/\\");
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
  std::string extension = name.substr(dot + 1);
  for (char& c : extension) c = Lower(c);
  return extension;
}

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
uint32_t Be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
uint64_t Le64(const uint8_t* p) { return Le32(p) | (static_cast<uint64_t>(Le32(p + 4)) << 32); }

// The length of the UTF-8 sequence that starts with lead, or 0 for a byte no sequence starts with.
size_t SequenceLength(uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

bool ReadWavFacts(const uint8_t* data, size_t size, SoundFacts* facts) {
  if (size > UINT32_MAX) return false;
  WaveSound sound;
  if (!ParseWave(data, static_cast<uint32_t>(size), &sound)) return false;
  const WaveFormat& f = sound.format;
  facts->format = f.formatTag == kWaveFormatPcm ? "PCM WAV" : "WAV (format " + std::to_string(f.formatTag) + ")";
  facts->channels = f.channels;
  facts->rate = f.samplesPerSec;
  facts->bits = f.bitsPerSample;
  if (f.avgBytesPerSec != 0) {
    facts->milliseconds = static_cast<uint64_t>(sound.sampleBytes) * 1000 / f.avgBytesPerSec;
    facts->lengthKnown = true;
  }
  return true;
}

constexpr size_t kOggPageHeader = 27;

// The Vorbis identification header in the first page; the granule position of the last
// complete page found from the end gives the length.
bool ReadOggFacts(const uint8_t* data, size_t size, SoundFacts* facts) {
  if (size < kOggPageHeader || std::memcmp(data, "OggS", 4) != 0) return false;
  const size_t segments = data[26];
  if (segments > size - kOggPageHeader) return false;
  const size_t body = kOggPageHeader + segments;
  // The packet: type 1, "vorbis", version (4), channels (1), rate (4).
  if (size - body < 16 || data[body] != 1 || std::memcmp(data + body + 1, "vorbis", 6) != 0) return false;
  facts->format = "Vorbis (OGG)";
  facts->channels = data[body + 11];
  facts->rate = Le32(data + body + 12);
  if (facts->rate == 0) return true;
  for (size_t at = size - kOggPageHeader + 1; at-- > 0;) {
    if (std::memcmp(data + at, "OggS", 4) != 0) continue;
    const uint64_t granule = Le64(data + at + 6);
    if (granule == UINT64_MAX) continue;  // a page on which no packet ends
    facts->milliseconds = granule / facts->rate * 1000 + granule % facts->rate * 1000 / facts->rate;
    facts->lengthKnown = true;
    break;
  }
  return true;
}

// An ID3v2 tag before the first frame: its size from the four 7-bit bytes.
size_t Id3Size(const uint8_t* data, size_t size) {
  if (size < 10 || std::memcmp(data, "ID3", 3) != 0) return 0;
  if ((data[6] | data[7] | data[8] | data[9]) & 0x80) return 0;
  return 10 + ((static_cast<size_t>(data[6]) << 21) | (data[7] << 14) | (data[8] << 7) | data[9]);
}

bool ReadMp3Facts(const uint8_t* data, size_t size, uint64_t entrySize, SoundFacts* facts) {
  static const uint16_t kBitratesV1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
  static const uint16_t kBitratesV2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
  static const uint32_t kRates[3] = {44100, 48000, 32000};
  const size_t at = Id3Size(data, size);
  if (at > size || size - at < 4) return false;
  const uint8_t* h = data + at;
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
  const unsigned version = (h[1] >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
  const unsigned layer = (h[1] >> 1) & 3;    // 1 Layer III
  const unsigned bitrateIndex = h[2] >> 4, rateIndex = (h[2] >> 2) & 3;
  if (version == 1 || layer != 1 || rateIndex == 3 || bitrateIndex == 0 || bitrateIndex == 15) return false;
  const bool mpeg1 = version == 3;
  facts->format = mpeg1 ? "MPEG-1 Layer III" : version == 2 ? "MPEG-2 Layer III" : "MPEG-2.5 Layer III";
  facts->rate = kRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
  facts->bitrate = (mpeg1 ? kBitratesV1 : kBitratesV2)[bitrateIndex];
  facts->channels = (h[3] >> 6) == 3 ? 1 : 2;
  // A Xing or Info frame after the side information counts the frames.
  const size_t side = mpeg1 ? (facts->channels == 1 ? 17 : 32) : (facts->channels == 1 ? 9 : 17);
  const size_t tag = at + 4 + side;
  const uint32_t samplesPerFrame = mpeg1 ? 1152 : 576;
  if (tag <= size && size - tag >= 12 &&
      (std::memcmp(data + tag, "Xing", 4) == 0 || std::memcmp(data + tag, "Info", 4) == 0) &&
      (Be32(data + tag + 4) & 1) != 0) {
    const uint64_t frames = Be32(data + tag + 8);
    facts->milliseconds = frames * samplesPerFrame * 1000 / facts->rate;
    facts->lengthKnown = true;
  } else if (entrySize > at) {
    facts->milliseconds = (entrySize - at) * 8 / facts->bitrate;
    facts->lengthKnown = true;
  }
  return true;
}

}  // namespace

bool HasTextExtension(const std::string& name) {
  const std::string extension = LowerExtension(name);
  for (const char* known : kTextExtensions)
    if (extension == known) return true;
  return false;
}

bool LooksLikeText(const uint8_t* data, size_t size) {
  if (size > kTextSniffBytes) size = kTextSniffBytes;
  size_t i = 0;
  while (i < size) {
    const uint8_t lead = data[i];
    if (lead == 0) return false;
    const size_t length = SequenceLength(lead);
    if (length == 0) return false;
    for (size_t k = 1; k < length; ++k) {
      if (i + k >= size) return true;  // cut off where the look ends
      const uint8_t next = data[i + k];
      if ((next & 0xC0) != 0x80) return false;
      // No overlong three- or four-byte forms, no surrogates, nothing above U+10FFFF.
      if (k == 1 && ((lead == 0xE0 && next < 0xA0) || (lead == 0xED && next > 0x9F) ||
                     (lead == 0xF0 && next < 0x90) || (lead == 0xF4 && next > 0x8F)))
        return false;
    }
    i += length;
  }
  return true;
}

bool IsTextEntry(const std::string& name, const uint8_t* data, size_t size) {
  return HasTextExtension(name) || LooksLikeText(data, size);
}

std::string EditLines(const uint8_t* data, size_t size) {
  std::string lines;
  lines.reserve(size + size / 32 + 1);
  for (size_t i = 0; i < size; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c == '\r') {
      lines += "\r\n";
      if (i + 1 < size && data[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      lines += "\r\n";
    } else {
      lines += c == '\0' ? ' ' : c;
    }
  }
  return lines;
}

std::string HexDumpLines(const uint8_t* data, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string lines;
  lines.reserve((size / 16 + 1) * 80);
  for (size_t row = 0; row < size; row += 16) {
    char offset[32];
    std::snprintf(offset, sizeof offset, "%08zx  ", row);
    lines += offset;
    const size_t count = size - row < 16 ? size - row : 16;
    for (size_t k = 0; k < 16; ++k) {
      if (k < count) {
        lines += kDigits[data[row + k] >> 4];
        lines += kDigits[data[row + k] & 15];
        lines += ' ';
      } else {
        lines += "   ";
      }
      if (k == 7) lines += ' ';
    }
    lines += ' ';
    for (size_t k = 0; k < count; ++k) {
      const uint8_t b = data[row + k];
      lines += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
    }
    lines += "\r\n";
  }
  return lines;
}

bool IsProgramBytes(const uint8_t* data, size_t size) {
  return size >= 2 && ((data[0] == 'M' && data[1] == 'Z') || (data[0] == '#' && data[1] == '!'));
}

unsigned PngBitsPerPixel(const uint8_t* data, size_t size) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  // The signature, then the IHDR chunk: length, "IHDR", width, height, depth, colour type.
  if (size < 26 || std::memcmp(data, kSignature, 8) != 0 || std::memcmp(data + 12, "IHDR", 4) != 0) return 0;
  const unsigned depth = data[24];
  switch (data[25]) {
    case 0: return depth;       // grey
    case 2: return depth * 3;   // RGB
    case 3: return depth;       // palette indexes
    case 4: return depth * 2;   // grey and alpha
    case 6: return depth * 4;   // RGBA
  }
  return 0;
}

SoundKind SoundKindOf(const std::string& name, const uint8_t* data, size_t size) {
  const std::string extension = LowerExtension(name);
  if (extension == "wav" || (size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WAVE", 4) == 0))
    return SoundKind::Wav;
  if (extension == "ogg" || (size >= 4 && std::memcmp(data, "OggS", 4) == 0)) return SoundKind::Ogg;
  if (extension == "mp3") return SoundKind::Mp3;
  return SoundKind::None;
}

bool ReadSoundFacts(SoundKind kind, const uint8_t* data, size_t size, uint64_t entrySize, SoundFacts* facts) {
  *facts = SoundFacts();
  switch (kind) {
    case SoundKind::Wav: return ReadWavFacts(data, size, facts);
    case SoundKind::Ogg: return ReadOggFacts(data, size, facts);
    case SoundKind::Mp3: return ReadMp3Facts(data, size, entrySize, facts);
    case SoundKind::None: break;
  }
  return false;
}

std::string LengthText(uint64_t milliseconds) {
  const uint64_t tenths = milliseconds / 100;
  const uint64_t seconds = tenths / 10, minutes = seconds / 60, hours = minutes / 60;
  char text[48];
  if (hours > 0)
    std::snprintf(text, sizeof text, "%llu:%02u:%02u", static_cast<unsigned long long>(hours),
                  static_cast<unsigned>(minutes % 60), static_cast<unsigned>(seconds % 60));
  else
    std::snprintf(text, sizeof text, "%u:%02u.%u", static_cast<unsigned>(minutes), static_cast<unsigned>(seconds % 60),
                  static_cast<unsigned>(tenths % 10));
  return text;
}
