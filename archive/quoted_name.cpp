#include "archive/quoted_name.h"

namespace {

// Whether a byte is printed as it is: not a control character, nor a backslash when
// backslashes are escaped.
bool StandsForItself(unsigned char c, bool escapeBackslash) {
  return c >= 0x20 && c != 0x7F && (c != '\\' || !escapeBackslash);
}

// The escape of one byte; empty when the byte stands for itself.
std::string Escape(unsigned char c, bool escapeBackslash) {
  if (StandsForItself(c, escapeBackslash)) return std::string();
  switch (c) {
    case '\t':
      return "\\t";
    case '\n':
      return "\\n";
    case '\r':
      return "\\r";
    case '\\':
      return "\\\\";
  }
  static const char kDigits[] = "0123456789abcdef";
  return std::string{'\\', 'x', kDigits[c >> 4], kDigits[c & 15]};
}

// Takes off the end of text a UTF-8 sequence cut short, so that a name shortened between
// bytes still ends in whole characters.
void DropCutCharacter(std::string* text) {
  size_t start = text->size();
  size_t continuations = 0;
  while (start > 0 && continuations < 4 && (static_cast<unsigned char>((*text)[start - 1]) & 0xC0) == 0x80) {
    --start;
    ++continuations;
  }
  if (start == 0) return;
  const unsigned char lead = static_cast<unsigned char>((*text)[start - 1]);
  const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  if (length > 1 && continuations + 1 < length) text->resize(start - 1);
}

}  // namespace

std::string PrintableName(const char* text, size_t length, bool escapeBackslash, size_t shown) {
  std::string printable;
  if (text == nullptr) return printable;
  // Most names stand for themselves whole: they are copied as they are.
  if (length <= shown) {
    size_t plain = 0;
    while (plain < length && StandsForItself(static_cast<unsigned char>(text[plain]), escapeBackslash)) ++plain;
    if (plain == length) return std::string(text, length);
  }
  for (size_t i = 0; i < length; ++i) {
    const std::string escaped = Escape(static_cast<unsigned char>(text[i]), escapeBackslash);
    const size_t width = escaped.empty() ? 1 : escaped.size();
    if (width > shown - printable.size()) {
      DropCutCharacter(&printable);
      return printable + "...";
    }
    if (escaped.empty())
      printable += text[i];
    else
      printable += escaped;
  }
  return printable;
}
