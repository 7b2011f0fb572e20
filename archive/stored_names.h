// Names as archives store them (bytes) and as the program shows and keeps them (UTF-8).
// A ZIP entry's name is UTF-8 when its record says so, and code page 437 otherwise, as the
// ZIP format defines; PAK and WAD2 names are bytes with no coding of their own, read as
// UTF-8 where they are valid UTF-8 and as code page 437 where they are not. ASCII reads the
// same in every coding, so a name of ASCII alone is never converted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum class NameCoding : uint8_t {
  Bytes,  // UTF-8 where the bytes are valid UTF-8, otherwise code page 437
  Cp437,  // code page 437
  Utf8,   // UTF-8; bytes that are not valid UTF-8 are read as code page 437
};

bool IsAscii(std::string_view text);
// Valid UTF-8: no stray continuation bytes, no overlong forms, no surrogates, nothing past
// U+10FFFF.
bool IsValidUtf8(std::string_view text);

// The UTF-8 text of a stored name read in coding.
std::string NameText(std::string_view stored, NameCoding coding);

// text (UTF-8) in code page 437; false, with *out empty, when a character of it has no place
// there.
bool EncodeCp437(std::string_view text, std::string* out);
