// Opening an archive and building its tree, for a full PAK and for PK3s of
// 65,000 entries laid out flat and spread over many directories, Find's search of
// such a tree by name pattern, and comparing a 280 MB PK3 with a copy that differs in one
// entry. The archives are generated into a temporary directory
// when the benchmark starts.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_compare.h"
#include "archive/crc32.h"
#include "archive/loading.h"
#include "panes/core/name_pattern.h"
#include "tests/bench/bench_support.h"
#include "tests/core/sample_archives.h"

namespace {

struct Samples : BenchDir {
  std::string pak4096, pk3Flat, pk3Nested, pk3Deep;

  Samples() : BenchDir("vellumix-bench-" + std::to_string(std::rand())) {
    std::vector<sample::PakItem> items;
    for (const std::string& name : sample::ManyNames(4096, 64)) items.push_back({name, "x"});
    pak4096 = Write("full.pak", sample::Pak(items));
    pk3Flat = Write("flat.pk3", sample::Zip(sample::ManyNames(65000, 0)));
    pk3Nested = Write("nested.pk3", sample::Zip(sample::ManyNames(65000, 650)));
    std::vector<std::string> deep;
    char buf[64];
    for (uint32_t i = 0; i < 65000; ++i) {
      std::snprintf(buf, sizeof buf, "a%02u/b%02u/c%02u/f%05u.dat", i % 40, (i / 40) % 40, i % 7, i);
      deep.push_back(buf);
    }
    pk3Deep = Write("deep.pk3", sample::Zip(deep));
  }
};

Samples& TheSamples() {
  static Samples samples;
  return samples;
}

void OpenAndBuild(benchmark::State& state, const std::string& file) {
  uint32_t nodes = 0;
  for (auto _ : state) {
    ArchiveDocument doc;
    OpenDocument(file, &doc);
    nodes = CountNodes(doc.root());
  }
  state.counters["nodes"] = nodes;
  state.counters["per_node_ns"] =
      benchmark::Counter(static_cast<double>(nodes) * state.iterations(),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Pak4096(benchmark::State& s) { OpenAndBuild(s, TheSamples().pak4096); }
void BM_Pk3Flat65000(benchmark::State& s) { OpenAndBuild(s, TheSamples().pk3Flat); }
void BM_Pk3Nested65000(benchmark::State& s) { OpenAndBuild(s, TheSamples().pk3Nested); }
void BM_Pk3ThreeLevels65000(benchmark::State& s) { OpenAndBuild(s, TheSamples().pk3Deep); }

// Find over the 65,000 entries spread over 650 directories: a pattern matching every file,
// one matching a hundredth of them, a name typed without wildcards, and one that matches
// nothing after trying every star.
void FindIn65000(benchmark::State& state, const char* typed) {
  std::string file = TheSamples().pk3Nested;
  ArchiveDocument doc;
  OpenDocument(file, &doc);
  const NamePattern pattern(typed);
  size_t found = 0;
  for (auto _ : state) {
    const std::vector<const Node*> nodes = FindMatchingNodes(doc.root(), pattern);
    found = nodes.size();
    benchmark::DoNotOptimize(nodes.data());
  }
  state.counters["found"] = static_cast<double>(found);
}

void BM_FindAll65000(benchmark::State& s) { FindIn65000(s, "*.dat"); }
void BM_FindSome65000(benchmark::State& s) { FindIn65000(s, "f???00.DAT"); }
void BM_FindTyped65000(benchmark::State& s) { FindIn65000(s, "123"); }
void BM_FindNone65000(benchmark::State& s) { FindIn65000(s, "*f*0*0*0*x"); }

// Two PK3s of 2,000 stored entries of 140 KB (280 MB each), one entry of the second
// changed in one byte; made only when the comparison is measured.
struct ComparedPair : BenchDir {
  std::string original, copy;

  ComparedPair() : BenchDir("vellumix-bench-compare-" + std::to_string(std::rand())) {
    for (int changed = 0; changed < 2; ++changed) {
      std::vector<sample::ZipEntry> entries;
      std::vector<uint8_t> bytes(140 * 1024);
      for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
      for (uint32_t i = 0; i < 2000; ++i) {
        bytes[0] = static_cast<uint8_t>(i);
        bytes[1] = static_cast<uint8_t>(i >> 8);
        bytes[2] = changed && i == 1234 ? 0xFF : 0;
        char name[64];
        std::snprintf(name, sizeof name, "textures/set%02u/t%04u.tga", i % 50, i);
        entries.push_back({name, 0, bytes, Crc32(bytes.data(), bytes.size()), static_cast<uint32_t>(bytes.size())});
      }
      (changed ? copy : original) = Write(changed ? "copy.pk3" : "original.pk3", sample::ZipWithData(entries));
    }
  }
};

// What a user waits for: both archives opened, their trees built, and every path compared.
void BM_ComparePk3s280MB(benchmark::State& state) {
  static ComparedPair pair;
  uint32_t changed = 0;
  for (auto _ : state) {
    ArchiveDocument a, b;
    OpenDocument(pair.copy, &a);
    OpenDocument(pair.original, &b);
    const Comparison comparison = CompareSides(CompareSide::Archive(&a), CompareSide::Archive(&b));
    changed = comparison.Count(CompareKind::Changed);
    if (changed != 1 || comparison.Count(CompareKind::Same) != 1999) FailWith("the comparison missed the change");
  }
  state.counters["changed"] = changed;
}

BENCHMARK(BM_Pak4096)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pk3Flat65000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pk3Nested65000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pk3ThreeLevels65000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindAll65000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindSome65000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindTyped65000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindNone65000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComparePk3s280MB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
