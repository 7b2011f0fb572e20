#include "transfer/core/disk_names.h"

#include <cstring>

const char kNameNotAllowedOnDisk[] = "the name is not allowed on disk";

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The digits Windows accepts after COM and LPT: 1-9 and the superscripts one to three, as
// single bytes of the ANSI code page (0xB9, 0xB2, 0xB3) or as UTF-8 (C2 B9, C2 B2, C2 B3).
bool IsPortDigit(const char* digit, size_t length) {
  const auto c = [digit](size_t i) { return static_cast<unsigned char>(digit[i]); };
  if (length == 1) return (c(0) >= '1' && c(0) <= '9') || c(0) == 0xB9 || c(0) == 0xB2 || c(0) == 0xB3;
  return length == 2 && c(0) == 0xC2 && (c(1) == 0xB9 || c(1) == 0xB2 || c(1) == 0xB3);
}

// Device names are reserved whatever extension follows them ("nul.txt" is the device too).
bool IsDeviceName(const char* name, size_t length) {
  size_t base = 0;
  while (base < length && name[base] != '.') ++base;
  while (base > 0 && name[base - 1] == ' ') --base;
  if (base < 3 || base > 7) return false;
  char stem[8] = {};
  for (size_t i = 0; i < base; ++i) stem[i] = Upper(name[i]);
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* d : kDevices)
    if (std::strcmp(stem, d) == 0) return true;
  const bool port = std::strncmp(stem, "COM", 3) == 0 || std::strncmp(stem, "LPT", 3) == 0;
  return port && IsPortDigit(stem + 3, base - 3);
}

}  // namespace

bool IsSafeDiskName(const char* name) {
  if (name == nullptr || name[0] == '\0') return false;
  const size_t length = std::strlen(name);
  for (size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || std::strchr("\\/:*?\"<>|", c)) return false;
  }
  // The system drops trailing dots and spaces from a name: "a.txt." would be written as
  // "a.txt", over another entry of that name, and ".. " as "..". Such names are refused on
  // every system, so that an archive extracts alike everywhere.
  if (name[length - 1] == '.' || name[length - 1] == ' ') return false;
  return !IsDeviceName(name, length);
}

const char* TypedNameProblem(const char* name) {
  if (name == nullptr || name[0] == '\0') return nullptr;
  const size_t length = std::strlen(name);
  if (std::strspn(name, ".") == length) return "A name cannot be made of dots alone: \".\" and \"..\" stand for folders.";
  if (name[length - 1] == '.' || name[length - 1] == ' ')
    return "A name cannot end in a dot or a space: Windows drops them, and the file would take another name.";
  if (IsDeviceName(name, length))
    return "This name is kept by Windows for a device (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, CONIN$, "
           "CONOUT$), with or without an extension: no file can have it.";
  return nullptr;
}

ShellRisk ShellRiskOf(const char* name) {
  if (name == nullptr) return ShellRisk::NoExtension;
  size_t length = std::strlen(name);
  while (length > 0 && (name[length - 1] == '.' || name[length - 1] == ' ')) --length;
  size_t dot = length;
  while (dot > 0 && name[dot - 1] != '.') --dot;
  if (dot == 0) return ShellRisk::NoExtension;
  const size_t extensionLength = length - dot;
  char extension[12] = {};
  if (extensionLength == 0 || extensionLength >= sizeof extension) return ShellRisk::None;
  for (size_t i = 0; i < extensionLength; ++i) extension[i] = Upper(name[dot + i]);
  static const char* const kPrograms[] = {"EXE", "COM", "BAT", "CMD", "PIF", "SCR", "MSI", "LNK", "VBS", "VBE",
                                          "JS",  "JSE", "WSF", "WSH", "PS1", "HTA", "CPL", "JAR", "REG", "MSP",
                                          "SCF", "URL", "INF", "APPLICATION", nullptr};
  for (const char* const* p = kPrograms; *p; ++p)
    if (std::strcmp(extension, *p) == 0) return ShellRisk::Program;
  return ShellRisk::None;
}
