// The records of the PAK format: a 12-byte header ("PACK", directory offset and length) and
// 64-byte directory records (a 56-byte path, offset, length).
#pragma once

#include <cstdint>

constexpr uint32_t kPakHeaderSize = 12;
constexpr uint32_t kPakDirEntrySize = 64;
constexpr uint32_t kPakNameSize = 56;
constexpr uint32_t kPakMaxEntries = 4096;
// The path and its NUL fit the 56 bytes.
constexpr uint32_t kPakMaxPathLength = kPakNameSize - 1;

struct PakDirEntry {
  char name[kPakNameSize];
  uint32_t offset;
  uint32_t length;
};
