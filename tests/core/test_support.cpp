#include "tests/core/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include <zlib.h>

namespace fs = std::filesystem;

namespace {

bool HasUpperCase(const std::string& text) {
  for (char c : text)
    if (c >= 'A' && c <= 'Z') return true;
  return false;
}

// Archives are opened by their lower-cased path, as on Windows; on a case-sensitive file
// system the tests' files must therefore lie where the lowered path still leads.
fs::path LowerCaseTempBase() {
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  if (ec || HasUpperCase(base.generic_string())) base = "/tmp";
  return base;
}

// The committed fixtures, copied for this process to a lower-case place when the source
// tree's path has capitals (a clone in a directory named by mktemp, say).
class FixtureDirectory {
 public:
  FixtureDirectory() : dir_(std::string(VELLUMIX_SOURCE_DIR) + "/tests/core/fixtures") {
#ifndef _WIN32
    if (!HasUpperCase(dir_)) return;
    std::random_device rd;
    const fs::path copy = LowerCaseTempBase() / ("vellumix-fixtures-" + std::to_string(rd()));
    std::error_code ec;
    fs::copy(dir_, copy, fs::copy_options::recursive, ec);
    if (ec) return;
    dir_ = copy.generic_string();
    copied_ = true;
#endif
  }
  ~FixtureDirectory() {
    std::error_code ec;
    if (copied_) fs::remove_all(dir_, ec);
  }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
  bool copied_ = false;
};

}  // namespace

std::string FixturePath(const std::string& name) {
  static FixtureDirectory fixtures;
  return fixtures.dir() + "/" + name;
}

ScratchDir::ScratchDir() {
  std::random_device rd;
  fs::path base = LowerCaseTempBase();
  for (;;) {
    fs::path candidate = base / ("vellumix-test-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      dir_ = candidate.generic_string();
      return;
    }
  }
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

std::string ScratchDir::Path(const std::string& name) const { return dir_ + "/" + name; }

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  bytes->clear();
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes->insert(bytes->end(), buf, buf + n);
  std::fclose(f);
  return true;
}

namespace {

uint32_t BigEndian32(const std::string& s, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[at])) << 24 | static_cast<uint8_t>(s[at + 1]) << 16 |
         static_cast<uint8_t>(s[at + 2]) << 8 | static_cast<uint8_t>(s[at + 3]);
}

int Paeth(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

}  // namespace

bool ReadPngRgba(const std::string& png, uint32_t* width, uint32_t* height, std::vector<uint8_t>* rgba,
                 std::string* why) {
  if (png.compare(0, 8, "\x89PNG\r\n\x1a\n", 8) != 0) return *why = "no PNG signature", false;
  std::string idat;
  int channels = 0;
  bool ended = false;
  for (size_t at = 8; !ended;) {
    if (png.size() < at + 12) return *why = "the file ends inside a chunk", false;
    const uint32_t length = BigEndian32(png, at);
    if (png.size() - at - 12 < length) return *why = "a chunk runs past the end", false;
    const std::string type = png.substr(at + 4, 4);
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + at + 4), length + 4);
    if (crc != BigEndian32(png, at + 8 + length)) return *why = type + " has a wrong CRC-32", false;
    const std::string data = png.substr(at + 8, length);
    if (type == "IHDR") {
      *width = BigEndian32(data, 0);
      *height = BigEndian32(data, 4);
      if (data[8] != 8 || (data[9] != 2 && data[9] != 6) || data[12] != 0) return *why = "not 8-bit RGB(A)", false;
      channels = data[9] == 2 ? 3 : 4;
    } else if (type == "IDAT") {
      idat += data;
    } else if (type == "IEND") {
      ended = true;
    }
    at += 12 + length;
  }
  if (channels == 0) return *why = "no IHDR", false;
  const size_t stride = static_cast<size_t>(*width) * channels;
  std::vector<uint8_t> raw((stride + 1) * *height);
  uLongf rawSize = raw.size();
  if (uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(idat.data()), idat.size()) != Z_OK ||
      rawSize != raw.size())
    return *why = "IDAT does not inflate to the rows", false;
  std::vector<uint8_t> rows(stride * *height);
  for (uint32_t y = 0; y < *height; ++y) {
    const uint8_t filter = raw[y * (stride + 1)];
    const uint8_t* in = &raw[y * (stride + 1) + 1];
    uint8_t* out = &rows[y * stride];
    for (size_t x = 0; x < stride; ++x) {
      const int a = x >= static_cast<size_t>(channels) ? out[x - channels] : 0;
      const int b = y > 0 ? out[x - stride] : 0;
      const int c = y > 0 && x >= static_cast<size_t>(channels) ? out[x - stride - channels] : 0;
      const int predictor = filter == 0 ? 0 : filter == 1 ? a : filter == 2 ? b : filter == 3 ? (a + b) / 2 : Paeth(a, b, c);
      if (filter > 4) return *why = "an unknown row filter", false;
      out[x] = static_cast<uint8_t>(in[x] + predictor);
    }
  }
  rgba->clear();
  for (size_t i = 0; i < rows.size(); i += channels) {
    rgba->insert(rgba->end(), &rows[i], &rows[i] + 3);
    rgba->push_back(channels == 4 ? rows[i + 3] : 255);
  }
  return true;
}
