// What the benchmarks share: a temporary directory for the archives they generate, and
// generators of data like a game's: text, structured binary, already-compressed bytes.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "archive/document.h"
#include "archive/loading.h"
#include "archive/progress.h"
#include "services/core/archive_text.h"

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

// A save's host that shows no progress: the benchmarks time the save alone.
class QuietSaveHost : public SaveHost {
 public:
  void Repaint() override {}
  SaveProgress* OpenProgress(uint32_t) override { return nullptr; }
};

// Any failure means the benchmark measures something else than it says: it ends the run
// with the message the program would show.
[[noreturn]] inline void FailWith(const std::string& message) {
  std::fprintf(stderr, "unexpected failure: %s\n", message.c_str());
  std::abort();
}

// Opens the archive at path into doc and builds its tree, as the programs do; a sample
// that does not open ends the run.
inline void OpenDocument(const std::string& path, ArchiveDocument* doc) {
  Failure why;
  const ArchiveFormat* format = nullptr;
  doc->source = OpenArchive(path, &why, &format);
  if (!doc->source || (why = BuildTree(doc)))
    FailWith(ArchiveErrorMessage(format ? format->name : nullptr, path, why));
}

inline std::vector<uint8_t> TextLike(std::mt19937& rng, size_t size) {
  static const char* const words[] = {"worldspawn", "origin", "angle", "light", "target",
                                      "model", "classname", "info_player_start", "{", "}",
                                      "\"", "0 0 0", "func_door", "speed", "wait", "sounds"};
  std::vector<uint8_t> out;
  out.reserve(size + 32);
  while (out.size() < size) {
    const char* w = words[rng() % 16];
    out.insert(out.end(), w, w + std::strlen(w));
    if (rng() % 5 == 0) {
      char number[16];
      const int n = std::snprintf(number, sizeof number, " %u", static_cast<unsigned>(rng() % 4096));
      out.insert(out.end(), number, number + n);
    }
    out.push_back(rng() % 8 == 0 ? '\n' : ' ');
  }
  out.resize(size);
  return out;
}

// Vertex and index tables: regular structure with noisy low bits.
inline std::vector<uint8_t> BinaryLike(std::mt19937& rng, size_t size) {
  std::vector<uint8_t> out(size);
  float x = 0;
  for (size_t i = 0; i + 16 <= size; i += 16) {
    x += static_cast<float>(rng() % 100) / 25.0f;
    const float v[3] = {x, x * 0.5f, static_cast<float>(rng() % 64)};
    std::memcpy(&out[i], v, 12);
    const uint32_t index = static_cast<uint32_t>(i / 16 + rng() % 4);
    std::memcpy(&out[i + 12], &index, 4);
  }
  return out;
}

inline std::vector<uint8_t> CompressedLike(std::mt19937& rng, size_t size) {
  std::vector<uint8_t> out(size);
  for (size_t i = 0; i + 4 <= size; i += 4) {
    const uint32_t r = static_cast<uint32_t>(rng());
    std::memcpy(&out[i], &r, 4);
  }
  return out;
}

// The i-th entry of a mixed sample: two of five text, two structured binary, one already
// compressed, as in the data archives games ship.
inline std::vector<uint8_t> MixedLike(std::mt19937& rng, int i, size_t size) {
  switch (i % 5) {
    case 0: case 1: return TextLike(rng, size);
    case 2: case 3: return BinaryLike(rng, size);
    default: return CompressedLike(rng, size);
  }
}
