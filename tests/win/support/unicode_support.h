// Text for the tests of paths and names beyond ASCII: a folder name in three scripts, and
// conversions between UTF-8 (the tests' and the program's narrow strings, the manifest
// setting the code page) and UTF-16 done by the system itself. Header only: the end-to-end
// tests use it too.
#pragma once

#include <windows.h>

#include <string>

// "Мод Ωμέγα 模组": Cyrillic, Greek and CJK, with blanks, in UTF-8.
inline constexpr char kUnicodeFolderName[] =
    "\xD0\x9C\xD0\xBE\xD0\xB4 \xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 \xE6\xA8\xA1\xE7\xBB\x84";

// UTF-8 text as UTF-16, by the system's conversion.
inline std::wstring WideOf(const std::string& utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(n > 0 ? static_cast<size_t>(n) : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
  return wide;
}

// UTF-16 text as UTF-8, by the system's conversion.
inline std::string Utf8Of(const std::wstring& wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0], n, nullptr, nullptr);
  return text;
}

// The text repeated count times.
inline std::string Repeated(const std::string& text, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) out += text;
  return out;
}
