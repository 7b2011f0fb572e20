// One save as the program makes it, as a whole process, so that scripts/bench-saves can time
// it beside other archivers on the same content:
//   save_driver pk3 SOURCE OUT LEVEL THREADS   saves SOURCE (PAK or PK3) as a PK3
//   save_driver pak SOURCE OUT THREADS         saves SOURCE as a PAK
//   save_driver sample DIR PAK MEGABYTES       writes mixed files under DIR, and the same
//                                              files as the PAK
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "archive/loading.h"
#include "archive/save.h"
#include "tests/bench/bench_support.h"
#include "tests/core/sample_archives.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: save_driver pk3 SOURCE OUT LEVEL THREADS\n"
               "       save_driver pak SOURCE OUT THREADS\n"
               "       save_driver sample DIR PAK MEGABYTES\n");
  return 2;
}

// Entries from a few kilobytes to a few megabytes, about 250 KB on average, as in the
// data archives games ship: text, structured binary, and already-compressed bytes.
int MakeSample(const std::string& dir, const std::string& pak, uint64_t megabytes) {
  std::mt19937 rng(20240607);
  const size_t sizes[] = {3000, 12000, 40000, 90000, 180000, 350000, 700000, 1500000};
  std::vector<sample::PakItem> items;
  uint64_t total = 0;
  for (int i = 0; total < megabytes * 1000 * 1000; ++i) {
    const size_t size = sizes[rng() % 8] + rng() % 5000;
    std::vector<uint8_t> data = MixedLike(rng, i, size);
    char name[56];
    std::snprintf(name, sizeof name, "d%02d/entry%04d.dat", i % 17, i);
    const std::filesystem::path file = std::filesystem::path(dir) / name;
    std::filesystem::create_directories(file.parent_path());
    FILE* f = std::fopen(file.string().c_str(), "wb");
    if (f == nullptr || std::fwrite(data.data(), 1, data.size(), f) != data.size() || std::fclose(f) != 0)
      return 1;
    items.push_back({name, std::string(data.begin(), data.end())});
    total += data.size();
  }
  const std::vector<uint8_t> bytes = sample::Pak(items);
  FILE* f = std::fopen(pak.c_str(), "wb");
  if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
    return 1;
  std::printf("%zu entries, %llu bytes\n", items.size(), static_cast<unsigned long long>(total));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string mode = argv[1];
  if (mode == "sample" && argc == 5) return MakeSample(argv[2], argv[3], std::strtoull(argv[4], nullptr, 10));
  const bool pk3 = mode == "pk3" && argc == 6;
  if (!pk3 && !(mode == "pak" && argc == 5)) return Usage();
  const unsigned threads = static_cast<unsigned>(std::strtoul(argv[pk3 ? 5 : 4], nullptr, 10));

  ArchiveDocument doc;
  const std::string source = argv[2];
  Failure why;
  const ArchiveFormat* format = nullptr;
  doc.source = OpenArchive(source, &why, &format);
  if (doc.source) why = BuildTree(&doc);
  if (why) {
    std::fprintf(stderr, "%s\n", ArchiveErrorMessage(format ? format->name : nullptr, source, why).c_str());
    return 1;
  }
  const std::string out = argv[3];
  std::remove(out.c_str());
  // The save both programs make: the format's limits, a temporary file beside the target
  // that takes its place once complete, and the reopen.
  SaveOptions options;
  options.level = pk3 ? std::atoi(argv[4]) : 0;
  options.threads = threads;
  QuietSaveHost host;
  const Failure failure = SaveDocument(&doc, pk3 ? DefaultFormat() : PakFormat(), out, options, &host);
  if (failure) {
    std::fprintf(stderr, "%s\n", SaveFailureMessage(failure, out).c_str());
    return 1;
  }
  return 0;
}
