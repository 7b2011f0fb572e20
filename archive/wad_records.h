// The records of WAD2 files, Quake's archives of textures and pictures: a 12-byte header
// ("WAD2", the number of lumps, the directory's offset) and 32-byte directory records (file
// position, size on disk, size, type, compression, two pad bytes, a 16-byte name). WAD2
// files have no folders; names are at most 15 characters.
#pragma once

#include <cstdint>
#include <string>

constexpr uint32_t kWadHeaderSize = 12;
constexpr uint32_t kWadLumpSize = 32;
constexpr uint32_t kWadNameSize = 16;
constexpr uint32_t kWadMaxNameLength = kWadNameSize - 1;
// More lumps than any real WAD2 holds, and few enough that a directory of them is small.
constexpr uint32_t kWadMaxLumps = 1u << 16;

constexpr uint8_t kWadPalette = 0x40;
constexpr uint8_t kWadPicture = 0x42;
constexpr uint8_t kWadMipTexture = 0x44;

struct WadLump {
  uint32_t filePos = 0;
  uint32_t diskSize = 0;
  uint32_t size = 0;
  uint8_t type = 0;
  uint8_t compression = 0;
  std::string name;  // as stored, up to its NUL
};

// The extension a lump of type takes where it leaves the archive: ".lmp" for pictures and
// palettes, ".mip" for mip textures, none otherwise.
inline const char* WadExtensionOfType(uint8_t type) {
  switch (type) {
    case kWadPalette:
    case kWadPicture:
      return ".lmp";
    case kWadMipTexture:
      return ".mip";
    default:
      return "";
  }
}

// The length of the name ending in such an extension without it; the whole length for any
// other name (compared without regard to case, as the engine compares names).
inline size_t WadStoredNameLength(const std::string& name) {
  if (name.size() > 4) {
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (tail == ".lmp" || tail == ".mip") return name.size() - 4;
  }
  return name.size();
}
