#include "services/core/path_length.h"

#include <cstdint>

namespace {

// The length of the well-formed UTF-8 sequence at text[at], or 0 when none starts there.
size_t SequenceAt(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(at);
  if (lead < 0x80) return 1;
  size_t length;
  uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  return length;
}

}  // namespace

size_t Utf16Length(std::string_view text) {
  size_t units = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t length = SequenceAt(text, at);
    units += length == 4 ? 2 : 1;
    at += length == 0 ? 1 : length;
  }
  return units;
}

bool IsUtf8(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const size_t length = SequenceAt(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

size_t Utf8CutLength(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text.size();
  size_t cut = 0;
  for (size_t at = 0; at < maxBytes;) {
    const size_t length = SequenceAt(text, at);
    const size_t step = length == 0 ? 1 : length;
    if (at + step > maxBytes) break;
    at += step;
    cut = at;
  }
  return cut;
}
