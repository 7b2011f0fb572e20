// What the benchmarks share: a temporary directory for the archives they generate.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tests/core/accepting_folder_tree.h"

// A directory under the system's temporary one, removed with its contents at the end.
struct BenchDir {
  std::filesystem::path dir;

  explicit BenchDir(const std::string& name) : dir(std::filesystem::temp_directory_path() / name) {
    std::filesystem::create_directories(dir);
  }
  ~BenchDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  BenchDir(const BenchDir&) = delete;
  BenchDir& operator=(const BenchDir&) = delete;

  // Writes bytes to the named file in the directory and returns its path; a benchmark
  // without its input measures nothing, so a failure aborts.
  std::string Write(const char* name, const std::vector<uint8_t>& bytes) const {
    std::string path = (dir / name).string();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
    std::fclose(f);
    return path;
  }
};
