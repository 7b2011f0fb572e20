#include "archive/stored_names.h"

#include <cstddef>
#include <cstring>

namespace {

// The characters of bytes 0x80 to 0xFF in code page 437; below 0x80 it is ASCII.
constexpr uint16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void AppendUtf8(uint32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | c >> 6));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xE0 | c >> 12));
    out->push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// The length of the valid UTF-8 sequence at text[i], or 0 when none starts there; its code
// point in *c.
size_t Utf8SequenceAt(std::string_view text, size_t i, uint32_t* c) {
  const uint8_t lead = static_cast<uint8_t>(text[i]);
  if (lead < 0x80) {
    *c = lead;
    return 1;
  }
  size_t n;
  uint32_t value, least;
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2, value = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3, value = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4, value = lead & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (n > text.size() - i) return 0;
  for (size_t k = 1; k < n; ++k) {
    const uint8_t next = static_cast<uint8_t>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    value = value << 6 | (next & 0x3F);
  }
  if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *c = value;
  return n;
}

}  // namespace

bool IsAscii(std::string_view text) {
  // Eight bytes at a time: every name of an archive is asked about, some more than once.
  const char* p = text.data();
  size_t left = text.size();
  uint64_t high = 0;
  for (; left >= 8; p += 8, left -= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    high |= word;
  }
  for (; left > 0; ++p, --left) high |= static_cast<uint8_t>(*p);
  return (high & 0x8080808080808080ull) == 0;
}

bool IsValidUtf8(std::string_view text) {
  uint32_t c;
  for (size_t i = 0; i < text.size();) {
    const size_t n = Utf8SequenceAt(text, i, &c);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string NameText(std::string_view stored, NameCoding coding) {
  // Most names are ASCII alone, which every coding reads as itself: copied in one go.
  size_t ascii = 0;
  while (ascii < stored.size() && static_cast<uint8_t>(stored[ascii]) < 0x80) ++ascii;
  if (ascii == stored.size() || (coding != NameCoding::Cp437 && IsValidUtf8(stored.substr(ascii))))
    return std::string(stored);
  std::string text;
  text.reserve(stored.size() * 2);
  text.append(stored.data(), ascii);
  for (const char c : stored.substr(ascii)) {
    const uint8_t byte = static_cast<uint8_t>(c);
    AppendUtf8(byte < 0x80 ? byte : kCp437High[byte - 0x80], &text);
  }
  return text;
}

bool EncodeCp437(std::string_view text, std::string* out) {
  out->clear();
  uint32_t c;
  for (size_t i = 0; i < text.size();) {
    const size_t n = Utf8SequenceAt(text, i, &c);
    if (n == 0) {
      out->clear();
      return false;
    }
    i += n;
    if (c < 0x80) {
      out->push_back(static_cast<char>(c));
      continue;
    }
    size_t byte = 0;
    while (byte < 128 && kCp437High[byte] != c) ++byte;
    if (byte == 128) {
      out->clear();
      return false;
    }
    out->push_back(static_cast<char>(0x80 + byte));
  }
  return true;
}
