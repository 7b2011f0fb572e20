// Saving archives: a PK3 at level 6 and a PAK of about 100 MB of mixed data (text,
// structured binary, already-compressed bytes), each next to the work it cannot avoid
// (deflating the same entries with zlib alone; copying the bytes of the PAK file), and
// saves of a full 4,096-entry PAK and of a 65,000-entry PK3.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "archive/loading.h"
#include "archive/save.h"
#include "tests/bench/bench_support.h"
#include "tests/core/sample_archives.h"

namespace {

namespace fs = std::filesystem;

struct Samples : BenchDir {
  std::string mixedPak;       // about 100 MB
  std::vector<std::vector<uint8_t>> mixedEntries;
  uint64_t mixedBytes = 0;
  std::string fullPak;        // 4,096 entries
  std::string manyPk3;        // 65,000 deflated entries

  Samples() : BenchDir("vellumix-bench-writers-" + std::to_string(std::random_device()())) {
    std::mt19937 rng(12345);
    const size_t sizes[] = {4096, 65536, 300000, 1 << 20, 3 << 20};
    std::vector<sample::PakItem> items;
    for (int i = 0; mixedBytes < 100u * 1000 * 1000; ++i) {
      const size_t size = sizes[i % 5] + rng() % 1000;
      std::vector<uint8_t> data = MixedLike(rng, i, size);
      char name[56];
      std::snprintf(name, sizeof name, "d%02d/entry%04d.dat", i % 23, i);
      items.push_back({name, std::string(data.begin(), data.end())});
      mixedBytes += data.size();
      mixedEntries.push_back(std::move(data));
    }
    mixedPak = Write("mixed.pak", sample::Pak(items));

    items.clear();
    for (int i = 0; i < 4096; ++i) {
      char name[56];
      std::snprintf(name, sizeof name, "d%02d/f%04d.lmp", i % 64, i);
      std::vector<uint8_t> data = i % 3 ? TextLike(rng, 200 + rng() % 4000) : BinaryLike(rng, 200 + rng() % 4000);
      items.push_back({name, std::string(data.begin(), data.end())});
    }
    fullPak = Write("full.pak", sample::Pak(items));

    manyPk3 = (dir / "many.pk3").string();
    ArchiveDocument doc;
    BuildTree(&doc);
    Node* parents[650];
    for (int d = 0; d < 650; ++d) {
      char name[16];
      std::snprintf(name, sizeof name, "d%03d", d);
      parents[d] = doc.tree->AddDirectory(doc.root(), name);
    }
    for (int i = 0; i < 65000 - 650; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "f%05d.txt", i);
      std::vector<uint8_t> data = TextLike(rng, 100 + rng() % 600);
      SharedBytes bytes = EntryBuffer::Copy(data.data(), data.size());
      if (!bytes) std::abort();
      doc.tree->AddFile(parents[i % 650], name, MemoryBytes{std::move(bytes)});
    }
    QuietSaveHost host;
    std::unique_ptr<ArchiveSource> written;
    WrittenEntries entries;
    const Failure failure = WriteArchiveFile(doc, DefaultFormat(), manyPk3, SaveOptions(), &host, &written, &entries);
    if (failure) FailWith(SaveFailureMessage(failure, manyPk3));
  }
};

Samples& TheSamples() {
  static Samples samples;
  return samples;
}

// Saves a freshly opened document each round; opening is not timed.
template <typename Save>
void SaveEach(benchmark::State& state, const std::string& source, uint64_t bytes, Save save) {
  const std::string out = (TheSamples().dir / "out.bin").string();
  for (auto _ : state) {
    state.PauseTiming();
    auto* doc = new ArchiveDocument;
    OpenDocument(source, doc);
    state.ResumeTiming();
    save(doc, out);
    state.PauseTiming();
    delete doc;
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes * state.iterations()));
}

// Writes the document in format at out and makes the written file its source, as a save
// does once the file is in place.
void SaveAs(ArchiveDocument* doc, const ArchiveFormat& format, const std::string& out, int level) {
  QuietSaveHost host;
  SaveOptions options;
  options.level = level;
  std::unique_ptr<ArchiveSource> written;
  WrittenEntries entries;
  const Failure failure = WriteArchiveFile(*doc, format, out, options, &host, &written, &entries);
  if (failure) FailWith(SaveFailureMessage(failure, out));
  AdoptWritten(doc, std::move(written), entries);
}

void SavePk3(ArchiveDocument* doc, const std::string& out, int level) { SaveAs(doc, DefaultFormat(), out, level); }

void SavePak(ArchiveDocument* doc, const std::string& out) { SaveAs(doc, PakFormat(), out, 0); }

void BM_Pk3SaveMixedLevel6(benchmark::State& state) {
  const Samples& s = TheSamples();
  SaveEach(state, s.mixedPak, s.mixedBytes, [](ArchiveDocument* doc, const std::string& out) { SavePk3(doc, out, 6); });
}

// What zlib alone needs for the same entries with the writer's settings.
void BM_ZlibDeflateMixedLevel6(benchmark::State& state) {
  const Samples& s = TheSamples();
  std::vector<uint8_t> out(4 << 20);
  for (auto _ : state) {
    for (const std::vector<uint8_t>& entry : s.mixedEntries) {
      z_stream z{};
      deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
      z.next_in = const_cast<Bytef*>(entry.data());
      z.avail_in = static_cast<uInt>(entry.size());
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(entry.size());
      benchmark::DoNotOptimize(deflate(&z, Z_FINISH));
      deflateEnd(&z);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(s.mixedBytes * state.iterations()));
}

void BM_PakSaveMixed(benchmark::State& state) {
  const Samples& s = TheSamples();
  SaveEach(state, s.mixedPak, s.mixedBytes, SavePak);
}

// Reading the PAK file and writing its bytes to another file, nothing else.
void BM_CopyMixedPakFile(benchmark::State& state) {
  const Samples& s = TheSamples();
  const std::string out = (s.dir / "copy.bin").string();
  std::vector<char> buffer(1 << 20);
  for (auto _ : state) {
    FILE* in = std::fopen(s.mixedPak.c_str(), "rb");
    FILE* to = std::fopen(out.c_str(), "wb");
    if (!in || !to) std::abort();
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0)
      if (std::fwrite(buffer.data(), 1, n, to) != n) std::abort();
    std::fclose(in);
    if (std::fclose(to) != 0) std::abort();
  }
  state.SetBytesProcessed(static_cast<int64_t>(fs::file_size(s.mixedPak) * state.iterations()));
}

void BM_PakSave4096Entries(benchmark::State& state) {
  const Samples& s = TheSamples();
  SaveEach(state, s.fullPak, fs::file_size(s.fullPak), SavePak);
}

void BM_Pk3Save4096EntriesLevel6(benchmark::State& state) {
  const Samples& s = TheSamples();
  SaveEach(state, s.fullPak, fs::file_size(s.fullPak),
           [](ArchiveDocument* doc, const std::string& out) { SavePk3(doc, out, 6); });
}

// Every entry was compressed at level 6: inflated and compressed again.
void BM_Pk3Save65000EntriesLevel6(benchmark::State& state) {
  const Samples& s = TheSamples();
  SaveEach(state, s.manyPk3, fs::file_size(s.manyPk3),
           [](ArchiveDocument* doc, const std::string& out) { SavePk3(doc, out, 6); });
}

// Below the entries' level: their compressed bytes are copied.
void BM_Pk3Save65000EntriesLevel1(benchmark::State& state) {
  const Samples& s = TheSamples();
  SaveEach(state, s.manyPk3, fs::file_size(s.manyPk3),
           [](ArchiveDocument* doc, const std::string& out) { SavePk3(doc, out, 1); });
}

// Level 0: every entry is inflated and stored.
void BM_Pk3Save65000EntriesLevel0(benchmark::State& state) {
  const Samples& s = TheSamples();
  SaveEach(state, s.manyPk3, fs::file_size(s.manyPk3),
           [](ArchiveDocument* doc, const std::string& out) { SavePk3(doc, out, 0); });
}

BENCHMARK(BM_Pk3SaveMixedLevel6)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ZlibDeflateMixedLevel6)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PakSaveMixed)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CopyMixedPakFile)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PakSave4096Entries)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pk3Save4096EntriesLevel6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pk3Save65000EntriesLevel6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pk3Save65000EntriesLevel1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pk3Save65000EntriesLevel0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
