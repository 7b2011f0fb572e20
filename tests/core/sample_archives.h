// Small writers of PAK, WAD2 and ZIP bytes for tests and benchmarks that need archives
// too big to commit or with fields no real tool would write.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace sample {

inline void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
inline void PutText(std::vector<uint8_t>& out, const std::string& s) {
  const size_t at = out.size();
  out.resize(at + s.size());
  std::copy(s.begin(), s.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
}

struct PakItem {
  std::string name;  // up to 56 bytes
  std::string data;
};

// A PAK with the data after the header and the directory at the end. A
// dirLength other than ~0u replaces the true directory length in the header.
inline std::vector<uint8_t> Pak(const std::vector<PakItem>& items, uint32_t dirLength = ~0u,
                                uint32_t dirOffset = ~0u) {
  std::vector<uint8_t> body;
  std::vector<uint8_t> dir;
  for (const PakItem& item : items) {
    std::string name = item.name;
    name.resize(56, '\0');
    PutText(dir, name);
    Put32(dir, static_cast<uint32_t>(12 + body.size()));
    Put32(dir, static_cast<uint32_t>(item.data.size()));
    PutText(body, item.data);
  }
  std::vector<uint8_t> out;
  PutText(out, "PACK");
  Put32(out, dirOffset != ~0u ? dirOffset : static_cast<uint32_t>(12 + body.size()));
  Put32(out, dirLength != ~0u ? dirLength : static_cast<uint32_t>(dir.size()));
  out.insert(out.end(), body.begin(), body.end());
  out.insert(out.end(), dir.begin(), dir.end());
  return out;
}

struct WadLump {
  std::string name;  // the name field's bytes: up to 16, NUL-padded (any bytes after a NUL stay)
  uint8_t type;
  std::string data;
  uint8_t compression = 0;
};

// A WAD2 with the lumps' bytes after the header and the directory at the end; each record
// gives its bytes' length as both size on disk and size. A count or dirOffset other than
// ~0u replaces the true one in the header.
inline std::vector<uint8_t> Wad(const std::vector<WadLump>& lumps, uint32_t count = ~0u, uint32_t dirOffset = ~0u) {
  std::vector<uint8_t> body;
  std::vector<uint8_t> dir;
  for (const WadLump& lump : lumps) {
    Put32(dir, static_cast<uint32_t>(12 + body.size()));
    Put32(dir, static_cast<uint32_t>(lump.data.size()));
    Put32(dir, static_cast<uint32_t>(lump.data.size()));
    dir.push_back(lump.type);
    dir.push_back(lump.compression);
    Put16(dir, 0);
    std::string name = lump.name;
    name.resize(16, '\0');
    PutText(dir, name);
    PutText(body, lump.data);
  }
  std::vector<uint8_t> out;
  PutText(out, "WAD2");
  Put32(out, count != ~0u ? count : static_cast<uint32_t>(lumps.size()));
  Put32(out, dirOffset != ~0u ? dirOffset : static_cast<uint32_t>(12 + body.size()));
  out.insert(out.end(), body.begin(), body.end());
  out.insert(out.end(), dir.begin(), dir.end());
  return out;
}

// Offset of the directory record of lump index in a WAD2 made by Wad() with its true
// directory offset.
inline size_t WadRecordOffset(const std::vector<uint8_t>& wad, uint32_t index) {
  const size_t dir = static_cast<size_t>(wad[8]) | static_cast<size_t>(wad[9]) << 8 |
                     static_cast<size_t>(wad[10]) << 16 | static_cast<size_t>(wad[11]) << 24;
  return dir + static_cast<size_t>(index) * 32;
}

// One entry of ZipWithData: its bytes as they lie in the file (stored or deflated) with the
// CRC-32 and size of what they stand for, which the caller works out (and may falsify).
struct ZipEntry {
  std::string name;
  uint16_t method;  // 0 stored, 8 deflated
  std::vector<uint8_t> bytes;
  uint32_t crc;
  uint32_t size;
  uint16_t flags = 0;  // 0x0800: the name is UTF-8
  uint32_t dosTime = 0x28210000;  // DOS date (high word) and time: 2000-01-01 00:00:00
};

// The fields a local header and a central record share, for an entry of storedSize bytes
// as they lie in the file.
inline void PutZipCommonFields(std::vector<uint8_t>& out, const ZipEntry& e, uint32_t storedSize) {
  Put16(out, 20);  // version needed
  Put16(out, e.flags);
  Put16(out, e.method);
  Put16(out, e.dosTime & 0xFFFF);
  Put16(out, e.dosTime >> 16);
  Put32(out, e.crc);
  Put32(out, storedSize);
  Put32(out, e.size);
  Put16(out, static_cast<uint32_t>(e.name.size()));
  Put16(out, 0);  // extra
}

// The local header of an entry of storedSize bytes, with its name; its data follows it.
inline void PutZipLocalHeader(std::vector<uint8_t>& out, const ZipEntry& e, uint32_t storedSize) {
  Put32(out, 0x04034B50);
  PutZipCommonFields(out, e, storedSize);
  PutText(out, e.name);
}

// The central directory and end record of entries whose local headers lie at offsets, the
// directory starting at central. storedSizes gives each entry's stored size where its bytes
// are not kept in the entry (an archive written piece by piece), else is empty.
inline void PutZipDirectory(std::vector<uint8_t>& out, const std::vector<ZipEntry>& entries,
                            const std::vector<uint32_t>& offsets, uint32_t central, const std::string& comment,
                            const std::vector<uint32_t>& storedSizes = {}) {
  const size_t first = out.size();
  for (size_t i = 0; i < entries.size(); ++i) {
    Put32(out, 0x02014B50);
    Put16(out, 20);  // version made by
    PutZipCommonFields(out, entries[i],
                       storedSizes.empty() ? static_cast<uint32_t>(entries[i].bytes.size()) : storedSizes[i]);
    Put16(out, 0);  // comment
    Put16(out, 0);  // disk
    Put16(out, 0);  // internal attributes
    Put32(out, 0);  // external attributes
    Put32(out, offsets[i]);
    PutText(out, entries[i].name);
  }
  const uint32_t centralSize = static_cast<uint32_t>(out.size() - first);
  Put32(out, 0x06054B50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<uint32_t>(entries.size()));
  Put16(out, static_cast<uint32_t>(entries.size()));
  Put32(out, centralSize);
  Put32(out, central);
  Put16(out, static_cast<uint32_t>(comment.size()));
  PutText(out, comment);
}

// A ZIP of entries with data, local headers first, then the central directory, and an
// archive comment.
inline std::vector<uint8_t> ZipWithData(const std::vector<ZipEntry>& entries, const std::string& comment = "") {
  std::vector<uint8_t> out;
  std::vector<uint32_t> offsets;
  for (const ZipEntry& e : entries) {
    offsets.push_back(static_cast<uint32_t>(out.size()));
    PutZipLocalHeader(out, e, static_cast<uint32_t>(e.bytes.size()));
    out.insert(out.end(), e.bytes.begin(), e.bytes.end());
  }
  PutZipDirectory(out, entries, offsets, static_cast<uint32_t>(out.size()), comment);
  return out;
}

// A ZIP of empty stored entries with the given names (any bytes, any length up
// to 65535), with an archive comment.
inline std::vector<uint8_t> Zip(const std::vector<std::string>& names, const std::string& comment = "") {
  std::vector<ZipEntry> entries;
  for (const std::string& name : names) entries.push_back({name, 0, {}, 0, 0});
  return ZipWithData(entries, comment);
}

// Offset of the end record of a ZIP made by Zip() without comment.
inline size_t ZipEndOffset(const std::vector<uint8_t>& zip) { return zip.size() - 22; }

// Names "dNNN/fNNNNN" spread over `directories` directories, or all in the root when 0.
inline std::vector<std::string> ManyNames(uint32_t count, uint32_t directories) {
  std::vector<std::string> names;
  names.reserve(count);
  char buf[64];
  for (uint32_t i = 0; i < count; ++i) {
    if (directories)
      std::snprintf(buf, sizeof buf, "d%03u/f%05u.dat", i % directories, i);
    else
      std::snprintf(buf, sizeof buf, "f%05u.dat", i);
    names.push_back(buf);
  }
  return names;
}

// A stored path of `components` components: directories "d" down to a file "f".
inline std::string DeepPath(uint32_t components) {
  std::string path;
  for (uint32_t i = 1; i < components; ++i) path += "d/";
  return path + "f";
}

}  // namespace sample
