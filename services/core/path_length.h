// How long a path is for the system. The program holds paths as narrow text in the process's
// ANSI code page, which its manifest makes UTF-8 (Windows 10 version 1903 and later, and
// Wine); the system takes a path of at most MAX_PATH UTF-16 units, its NUL included, however
// many bytes the narrow text needs.
#pragma once

#include <cstddef>
#include <string_view>

// The most UTF-16 units of a path, without its NUL (MAX_PATH less one).
constexpr size_t kMaxPathUnits = 259;
// Bytes of a buffer that takes any such path with its NUL: UTF-8 needs up to three bytes per
// unit (a character of four bytes is two units), a double-byte ANSI code page two.
constexpr size_t kPathBufferSize = 3 * kMaxPathUnits + 1;

// How many UTF-16 units the system makes of UTF-8 text: one per character up to U+FFFF, two
// above, and one for each byte that is not part of a well-formed sequence (the conversion
// makes at most one U+FFFD of it). Text in another ANSI code page counts about as long.
size_t Utf16Length(std::string_view text);

// Whether text is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsUtf8(std::string_view text);

// The length of the longest start of text of at most maxBytes bytes that does not end
// inside a UTF-8 sequence: where a text may be cut for showing.
size_t Utf8CutLength(std::string_view text, size_t maxBytes);
