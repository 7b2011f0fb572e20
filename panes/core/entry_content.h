// What an entry's bytes are, for showing them: text or not, a program or not, a PNG's depth,
// a sound's format and length; and the texts the preview shows (lines for an edit control,
// a hex dump). Portable: no windows.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// How much of an entry is looked at to tell text, and the most of a text that is shown.
constexpr size_t kTextSniffBytes = 64 * 1024;
constexpr size_t kTextShownBytes = 1024 * 1024;
// The bytes the hex view shows.
constexpr size_t kHexShownBytes = 4096;

// Whether the name (a path) ends in one of the text types modders edit (.cfg, .txt,
// .shader, ...), compared without regard to case.
bool HasTextExtension(const std::string& name);
// Whether the bytes (the first kTextSniffBytes are looked at) are UTF-8 or ASCII without a
// NUL byte: a sequence cut off at the end of what is looked at still counts. Empty is text.
bool LooksLikeText(const uint8_t* data, size_t size);
// Whether an entry is shown as text: of a text type, or text by its bytes.
bool IsTextEntry(const std::string& name, const uint8_t* data, size_t size);

// The bytes as lines for a multi-line edit control: LF and lone CR become CR/LF, a NUL
// (which would end the control's text) becomes a space.
std::string EditLines(const uint8_t* data, size_t size);

// Lines of 16 bytes: an 8-digit hex offset, the bytes in hex, and the printable ASCII ones
// ("." for the others), with CR/LF after each line.
std::string HexDumpLines(const uint8_t* data, size_t size);

// Whether the bytes say they are a program: an "MZ" header, or "#!" first.
bool IsProgramBytes(const uint8_t* data, size_t size);

// The bits a pixel of a PNG (from its IHDR chunk: depth times channels), or 0 when the
// bytes are no PNG with a readable header.
unsigned PngBitsPerPixel(const uint8_t* data, size_t size);

// A sound's format and length as its header gives them. Zero is "not said".
struct SoundFacts {
  std::string format;  // "PCM WAV", "Vorbis (OGG)", "MPEG-1 Layer III"
  uint32_t channels = 0;
  uint32_t rate = 0;     // samples a second
  uint32_t bits = 0;     // bits a sample (PCM)
  uint32_t bitrate = 0;  // kilobits a second (MP3)
  uint64_t milliseconds = 0;
  bool lengthKnown = false;
};
enum class SoundKind : uint8_t { None, Wav, Ogg, Mp3 };
// The sound kind by the name's extension (.wav, .ogg, .mp3) or the first bytes.
SoundKind SoundKindOf(const std::string& name, const uint8_t* data, size_t size);
// Reads the facts of a sound from its bytes (a whole WAV; the whole or the start of an OGG
// or MP3, size being the entry's full size for an estimate from the bitrate). False when
// the header cannot be read.
bool ReadSoundFacts(SoundKind kind, const uint8_t* data, size_t size, uint64_t entrySize, SoundFacts* facts);
// "1:23.4" (minutes, seconds, tenths), or "2:03:04" from an hour on.
std::string LengthText(uint64_t milliseconds);
