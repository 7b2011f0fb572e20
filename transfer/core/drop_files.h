// The shell's list of dropped files (a DROPFILES header followed by the paths, each ending
// in a NUL, the list in an empty one), read from a block of untrusted size and content: the
// clipboard and other programs can hand over anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kDropFilesHeaderSize = 20;  // pFiles, pt.x, pt.y, fNC, fWide

struct DroppedFiles {
  bool wide = false;                  // the paths are UTF-16 (in wide) rather than ANSI
  std::vector<std::string> narrow;    // ANSI paths
  std::vector<std::u16string> wide16;  // UTF-16 paths
};

// Reads the list in block (size bytes). False, leaving files empty, unless the block holds
// a whole header, the list starts inside the block after it, and every path and the list
// itself end inside the block (for UTF-16, in whole 16-bit units). An empty list is valid.
bool ReadDropFiles(const uint8_t* block, size_t size, DroppedFiles* files);
