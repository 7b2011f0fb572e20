// Shared helpers of the core tests: fixture paths and scratch files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The text with its ASCII capitals lowered, as the program lowers the paths it opens.
// Header only: the Windows, end-to-end and fuzz tests use it too.
inline std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// Path of a committed fixture under tests/core/fixtures.
std::string FixturePath(const std::string& name);

// A fresh, empty scratch directory for one test; removed with its contents at destruction.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  // Path of a file inside the directory (forward slashes).
  std::string Path(const std::string& name) const;
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes);

// Reads an 8-bit RGB or RGBA PNG (every filter) into RGBA with zlib alone, checking each
// chunk's CRC-32; false, with the reason, on anything else.
bool ReadPngRgba(const std::string& png, uint32_t* width, uint32_t* height, std::vector<uint8_t>* rgba,
                 std::string* why);
