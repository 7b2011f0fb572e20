#include "tests/core/test_support.h"

#include <cstdio>
#include <filesystem>
#include <random>

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
