// Names from archives in messages: quoted, and shortened when very long (a stored path can
// run to 65,535 bytes).
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

inline std::string QuotedName(const char* text, size_t length) {
  constexpr size_t kShown = 200;
  std::string quoted = "\"";
  if (text) quoted.append(text, length < kShown ? length : kShown);
  if (length > kShown) quoted += "...";
  return quoted + "\"";
}

inline std::string QuotedName(const char* text) { return QuotedName(text, text ? std::strlen(text) : 0); }
