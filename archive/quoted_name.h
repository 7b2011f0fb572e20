// Names from archives in messages. A stored name is untrusted text: its control bytes and
// DEL are shown as escapes ("\t", "\n", "\x1b"), so that a name can neither recolour a
// terminal nor start a line of its own in a message or a box. A name without them reads as
// stored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

// The text of a stored name of `length` bytes (NULs among them are bytes like any other) fit
// for one line: each byte 0x00-0x1F and 0x7F as "\t", "\n", "\r" or "\xHH", and each
// backslash doubled when escapeBackslash (the tab-separated listing, whose reader can undo
// the escapes). When the text would be longer than `shown` characters, as much of it as
// fits, never part of an escape, then "...".
std::string PrintableName(const char* text, size_t length, bool escapeBackslash = false,
                          size_t shown = SIZE_MAX);
inline std::string PrintableName(const std::string& name, bool escapeBackslash = false) {
  return PrintableName(name.data(), name.size(), escapeBackslash);
}
inline std::string PrintableName(const char* text) { return PrintableName(text, text ? std::strlen(text) : 0); }

// A name quoted for a message, and shortened when very long (a stored path can run to
// 65,535 bytes).
inline std::string QuotedName(const char* text, size_t length) {
  constexpr size_t kShown = 200;
  return "\"" + PrintableName(text, length, false, kShown) + "\"";
}
inline std::string QuotedName(const char* text) { return QuotedName(text, text ? std::strlen(text) : 0); }
