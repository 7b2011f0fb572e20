#include "transfer/core/disk_names.h"

#include <cstring>

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Device names are reserved whatever extension follows them ("nul.txt" is the device too).
bool IsDeviceName(const char* name, size_t length) {
  size_t base = 0;
  while (base < length && name[base] != '.') ++base;
  while (base > 0 && name[base - 1] == ' ') --base;
  char stem[5] = {};
  if (base < 3 || base > 4) return false;
  for (size_t i = 0; i < base; ++i) stem[i] = Upper(name[i]);
  static const char* const kThree[] = {"CON", "PRN", "AUX", "NUL"};
  if (base == 3) {
    for (const char* d : kThree)
      if (std::strcmp(stem, d) == 0) return true;
    return false;
  }
  const bool numbered = (std::strncmp(stem, "COM", 3) == 0 || std::strncmp(stem, "LPT", 3) == 0);
  return numbered && stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

bool IsSafeDiskName(const char* name) {
  if (name == nullptr || name[0] == '\0') return false;
  const size_t length = std::strlen(name);
  for (size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || std::strchr("\\/:*?\"<>|", c)) return false;
  }
  // The system drops trailing dots and spaces from a name: ".. " is "..", "..." is "".
  size_t kept = length;
  while (kept > 0 && (name[kept - 1] == '.' || name[kept - 1] == ' ')) --kept;
  if (kept == 0) return false;
  return !IsDeviceName(name, kept);
}
