// Checking every entry of an archive (the command-line test and Test Archive), opening an
// archive by its path as given, and the names imported folders get.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <utility>

#if defined(__linux__)
#include <sched.h>
#endif

#include "archive/archive_check.h"
#include "archive/entry_data.h"
#include "archive/loading.h"
#include "archive/thread_start.h"
#include "services/core/archive_text.h"
#include "tests/core/sample_archives.h"
#include "tests/core/test_support.h"
#include "tests/core/writer_support.h"
#include "transfer/core/import_names.h"

namespace {

std::vector<std::string> DamagedPaths(const ArchiveCheckResult& result) {
  std::vector<std::string> paths;
  for (const DamagedEntry& d : result.damaged) paths.push_back(d.path);
  return paths;
}

// The check on one worker and on four, with the small file read whole and read in runs as a
// large one is: all must find the same, which is what the callers expect of either; the four
// workers' result is returned.
// The check from the source alone, with the tree's shape and no tree (the command-line
// test's), must find the same too.
ArchiveCheckResult CheckOnOneAndFourWorkers(const ArchiveDocument* doc) {
  const ArchiveCheckResult one = CheckArchiveEntries(doc, nullptr, 1);
  const ArchiveCheckResult four = CheckArchiveEntries(doc, nullptr, 4);
  std::vector<ArchiveCheckResult> others = {four, CheckArchiveEntries(doc, nullptr, 4, false)};
  SourceWalk walk;
  if (doc->source) {
    EXPECT_FALSE(walk.Make(*doc->source, doc->tree->keepsCase()));
    EXPECT_EQ(CountCheckedEntries(walk), CountCheckedEntries(doc));
    others.push_back(CheckSourceEntries(doc, walk, nullptr, 1));
    others.push_back(CheckSourceEntries(doc, walk, nullptr, 4, false));
  }
  // As the tool checks: the archive opened afresh, its entries checked while the walk is
  // made, the file read whole (where its bytes lie out of order) and not.
  for (const bool whole : {true, false}) {
    ArchiveDocument fresh;
    Failure why;
    const ArchiveFormat* format = nullptr;
    if (doc->source && doc->source->file()) fresh.source = OpenArchive(doc->source->path(), &why, &format);
    if (!fresh.source) continue;
    SourceWalk freshWalk;
    CheckWhileWalking check;
    check.workers = 4;
    check.readWhole = whole;
    uint32_t begun = UINT32_MAX;
    check.begin = [&begun](uint32_t entries) { begun = entries; };
    EXPECT_FALSE(WalkAndCheckEntries(&fresh, &freshWalk, doc->tree->keepsCase(), &check));
    EXPECT_EQ(begun, CountCheckedEntries(freshWalk));
    others.push_back(check.result);
  }
  for (const ArchiveCheckResult& other : others) {
    EXPECT_EQ(one.files, other.files);
    EXPECT_EQ(one.duplicates.size(), other.duplicates.size());
    for (size_t i = 0; i < one.duplicates.size() && i < other.duplicates.size(); ++i) {
      EXPECT_EQ(one.duplicates[i].path, other.duplicates[i].path);
      EXPECT_EQ(one.duplicates[i].times, other.duplicates[i].times);
    }
    EXPECT_EQ(one.cancelled, other.cancelled);
    EXPECT_EQ(one.damaged.size(), other.damaged.size());
    for (size_t i = 0; i < one.damaged.size() && i < other.damaged.size(); ++i) {
      EXPECT_EQ(one.damaged[i].path, other.damaged[i].path);
      EXPECT_EQ(FailureReason(one.damaged[i].problem), FailureReason(other.damaged[i].problem));
    }
  }
  return four;
}

// A ZIP of three deflated entries; the one at victim gets one byte of its data flipped.
std::vector<uint8_t> ThreeEntryZip(int victim) {
  std::vector<ZipPlan> plans = {DeflatedPlan("Maps/E1M1.bsp", TextBytes(1, 20000), 6),
                                DeflatedPlan("sound/beep.wav", TextBytes(2, 9000), 6),
                                StoredPlan("readme.txt", Bytes("Read me."))};
  if (victim >= 0) plans[static_cast<size_t>(victim)].stored[plans[static_cast<size_t>(victim)].stored.size() / 2] ^= 1;
  return BuildZip(plans);
}

// Cancels once the given number of entries were stepped.
class CancellingProgress : public SaveProgress {
 public:
  explicit CancellingProgress(uint32_t after) : after_(after) {}
  void ShowItem(const char* storedPath, uint32_t) override { shown.push_back(storedPath); }
  void Step() override { ++steps; }
  bool Cancelled() override { return steps >= after_; }
  void Close() override {}
  std::vector<std::string> shown;
  uint32_t steps = 0;

 private:
  uint32_t after_;
};

TEST(ArchiveCheck, FindsEachFlippedByteOfAPk3AndNamesTheEntryAsStored) {
  ScratchDir dir;
  for (int victim = -1; victim < 3; ++victim) {
    SCOPED_TRACE(victim);
    const std::string path = dir.Path("check" + std::to_string(victim + 1) + ".pk3");
    ASSERT_TRUE(WriteFileBytes(path, ThreeEntryZip(victim)));
    TestDocument doc(path);
    ASSERT_TRUE(doc.ok());
    ASSERT_EQ(CountCheckedEntries(&doc.doc), 3u);
    const ArchiveCheckResult result = CheckOnOneAndFourWorkers(&doc.doc);
    EXPECT_EQ(result.files, 3u);
    EXPECT_FALSE(result.cancelled);
    const char* names[] = {"Maps/E1M1.bsp", "sound/beep.wav", "readme.txt"};
    if (victim < 0) {
      EXPECT_TRUE(result.damaged.empty());
    } else {
      EXPECT_EQ(DamagedPaths(result), std::vector<std::string>{names[victim]});
      const std::string reason = FailureReason(result.damaged[0].problem);
      EXPECT_NE(reason.find("damaged"), std::string::npos) << reason;
    }
  }
}

// The second entry of a PAK or a WAD2 of two, with its record's fields where they lie.
struct TwoEntryLayout {
  const char* file;
  std::vector<uint8_t> bytes;
  size_t dirOffsetField;  // of the header
  size_t record;          // of the second entry
  size_t offsetField;
  std::vector<size_t> lengthFields;  // a WAD2 lump's size on disk and size
  const char* stored;  // the second entry's name as the check gives it
};

std::vector<TwoEntryLayout> TwoEntryLayouts() {
  const std::vector<uint8_t> pak =
      sample::Pak({{"good.txt", std::string(50, 'g')}, {"maps/bad.bsp", std::string(50, 'b')}});
  const std::vector<uint8_t> wad =
      sample::Wad({{"good", 0x42, std::string(50, 'g')}, {"Bad", 0x44, std::string(50, 'b')}});
  return {{"bounds.pak", pak, 4, GetLE32(pak.data() + 4) + 64u, 56, {60}, "maps/bad.bsp"},
          {"bounds.wad", wad, 8, sample::WadRecordOffset(wad, 1), 0, {4, 8}, "Bad.mip"}};
}

TEST(ArchiveCheck, PakAndWadEntriesMustLieInsideTheFileAndClearOfItsRecords) {
  ScratchDir dir;
  struct Case {
    const char* label;
    bool patched;
    uint32_t offset, length;  // of the second entry, written over its directory record
    const char* reason;       // part of the reason; null for a sound entry
  };
  const Case cases[] = {
      {"sound", false, 0, 0, nullptr},
      {"past the end", true, 20, 5000, "runs past the end of the file"},
      {"offset past the end", true, 900000, 1, "runs past the end of the file"},
      {"header", true, 4, 4, "overlaps the archive's header"},
      {"directory", true, 0, 40, "overlaps the archive's directory"},
      {"empty anywhere", true, 900000, 0, nullptr},
  };
  for (const TwoEntryLayout& layout : TwoEntryLayouts()) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(layout.file) + ": " + c.label);
      std::vector<uint8_t> bytes = layout.bytes;
      const uint32_t dirOffset = GetLE32(bytes.data() + layout.dirOffsetField);
      if (c.patched) {
        const uint32_t offset = std::strcmp(c.label, "directory") == 0 ? dirOffset + 10 : c.offset;
        PutLE32(bytes.data() + layout.record + layout.offsetField, offset);
        for (size_t field : layout.lengthFields) PutLE32(bytes.data() + layout.record + field, c.length);
      }
      const std::string path = dir.Path(layout.file);
      ASSERT_TRUE(WriteFileBytes(path, bytes));
      TestDocument doc(path);
      ASSERT_TRUE(doc.ok());
      const ArchiveCheckResult result = CheckOnOneAndFourWorkers(&doc.doc);
      EXPECT_EQ(result.files, 2u);
      if (c.reason == nullptr) {
        EXPECT_TRUE(result.damaged.empty());
      } else {
        ASSERT_EQ(DamagedPaths(result), std::vector<std::string>{layout.stored});
        const std::string reason = FailureReason(result.damaged[0].problem);
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
      }
    }
  }
}

// What only a WAD2 lump's record can say: its bytes are compressed, or fewer on disk than
// it holds. The check names the lump as stored, with the reason its read gives.
TEST(ArchiveCheck, WadLumpsThatCannotBeReadAreNamedWithTheReason) {
  ScratchDir dir;
  struct Case {
    const char* label;
    size_t field;  // of the second lump's record
    uint32_t value;
    int width;
    const char* reason;  // null for a sound lump
  };
  const Case cases[] = {
      {"compressed", 13, 1, 1, "it is compressed in a way Vellumix cannot read"},
      {"larger than its size on disk", 4, 49, 4, "its data is damaged or missing"},
      {"smaller than its size on disk", 8, 49, 4, nullptr},
  };
  const TwoEntryLayout layout = TwoEntryLayouts()[1];
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<uint8_t> bytes = layout.bytes;
    if (c.width == 1)
      bytes[layout.record + c.field] = static_cast<uint8_t>(c.value);
    else
      PutLE32(bytes.data() + layout.record + c.field, c.value);
    const std::string path = dir.Path(layout.file);
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    TestDocument doc(path);
    ASSERT_TRUE(doc.ok());
    const ArchiveCheckResult result = CheckOnOneAndFourWorkers(&doc.doc);
    EXPECT_EQ(result.files, 2u);
    std::vector<std::pair<std::string, std::string>> damaged;
    for (const DamagedEntry& d : result.damaged) damaged.push_back({d.path, FailureReason(d.problem)});
    if (c.reason == nullptr) {
      EXPECT_TRUE(damaged.empty());
    } else {
      EXPECT_EQ(damaged, (std::vector<std::pair<std::string, std::string>>{{layout.stored, c.reason}}));
    }
  }
}

TEST(ArchiveCheck, StopsWhereTheProgressIsCancelledAndShowsEachEntry) {
  ScratchDir dir;
  const std::string path = dir.Path("cancel.pk3");
  ASSERT_TRUE(WriteFileBytes(path, ThreeEntryZip(2)));
  TestDocument doc(path);
  ASSERT_TRUE(doc.ok());
  SourceWalk shape;
  ASSERT_FALSE(shape.Make(*doc.doc.source));
  for (unsigned workers : {1u, 4u}) {
    for (const bool withTree : {true, false}) {
      SCOPED_TRACE(std::to_string(workers) + (withTree ? " workers, the tree's files" : " workers, the source's"));
      CancellingProgress progress(2);
      const ArchiveCheckResult result = withTree ? CheckArchiveEntries(&doc.doc, &progress, workers)
                                                 : CheckSourceEntries(&doc.doc, shape, &progress, workers);
      EXPECT_TRUE(result.cancelled);
      EXPECT_EQ(result.files, 2u);
      ASSERT_EQ(progress.shown.size(), 2u);
      // The source's check reads in the order stored: the damaged entry comes last.
      if (!withTree) {
        EXPECT_EQ(progress.shown, (std::vector<std::string>{"Maps/E1M1.bsp", "sound/beep.wav"}));
      }
      // Only entries reached were read: the damaged one is reported exactly when it was shown.
      const bool reached = progress.shown[0] == "readme.txt" || progress.shown[1] == "readme.txt";
      EXPECT_EQ(DamagedPaths(result), reached ? std::vector<std::string>{"readme.txt"} : std::vector<std::string>{});
    }
  }
}

// An archive opened afresh and checked as the tool checks it: while its walk is made.
struct WalkedCheck {
  WalkedCheck(const std::string& path, unsigned workers, bool readWhole, SaveProgress* progress) {
    Failure why;
    const ArchiveFormat* format = nullptr;
    doc.source = OpenArchive(path, &why, &format);
    if (!doc.source) return;
    check.workers = workers;
    check.readWhole = readWhole;
    check.progress = progress;
    walked = WalkAndCheckEntries(&doc, &walk, false, &check);
  }
  ArchiveDocument doc;
  SourceWalk walk;
  CheckWhileWalking check;
  Failure walked;  // what the walk refused
};

// Many small entries are read many to a read and large ones in pieces, on several workers,
// from a file whose bytes lie in the order of its records and from one where they lie the
// other way round: the damaged ones come in walk order. The tree's check shows every entry
// in walk order; the source's check reads and shows them in the order they are stored.
TEST(ArchiveCheck, DamageAmongManyEntriesComesInWalkOrderWhateverTheWorkers) {
  ScratchDir dir;
  std::vector<ZipPlan> plans;
  for (int i = 0; i < 1500; ++i) {
    const std::string name = "d" + std::to_string(i % 5) + "/f" + std::to_string(i) + ".txt";
    plans.push_back(i % 3 ? DeflatedPlan(name, TextBytes(i, 40 + i % 700), 6) : StoredPlan(name, TextBytes(i, 30)));
  }
  plans.insert(plans.begin() + 700, DeflatedPlan("big/deflated.bin", TextBytes(3, 5u << 20), 1));
  plans.insert(plans.begin() + 900, StoredPlan("big/stored.bin", TextBytes(4, 3u << 20)));
  const std::vector<size_t> victims = {3, 700, 701, 900, 1100, 1500};
  for (size_t v : victims) plans[v].stored[plans[v].stored.size() / 2] ^= 1;
  std::vector<std::string> stored;
  for (const ZipPlan& plan : plans) stored.push_back(plan.name);
  for (const bool backwards : {false, true}) {
    SCOPED_TRACE(backwards ? "bytes against the records' order" : "bytes in the records' order");
    const std::string path = dir.Path(backwards ? "backwards.pk3" : "many.pk3");
    ASSERT_TRUE(WriteFileBytes(path, BuildZip(plans, backwards)));
    TestDocument doc(path);
    ASSERT_TRUE(doc.ok());
    std::vector<std::string> walk, expected;
    for (const Node* n = doc.doc.root(); n; n = NextInSubtree(n, doc.doc.root()))
      if (n->IsFile()) walk.push_back(StoredNameOf(&doc.doc, n));
    for (const std::string& name : walk)
      for (size_t v : victims)
        if (plans[v].name == name) expected.push_back(name);
    ASSERT_EQ(expected.size(), victims.size());
    for (const auto& [workers, whole] : {std::pair{1u, true}, std::pair{4u, true}, std::pair{4u, false}}) {
      SCOPED_TRACE(std::to_string(workers) + (whole ? " workers, the file read whole" : " workers, read in runs"));
      SourceWalk shape;
      ASSERT_FALSE(shape.Make(*doc.doc.source));
      for (bool withTree : {true, false}) {
        SCOPED_TRACE(withTree ? "the tree's files" : "the source's, in the order stored");
        CancellingProgress progress(UINT32_MAX);
        const ArchiveCheckResult result = withTree ? CheckArchiveEntries(&doc.doc, &progress, workers, whole)
                                                   : CheckSourceEntries(&doc.doc, shape, &progress, workers, whole);
        EXPECT_FALSE(result.cancelled);
        EXPECT_EQ(result.files, plans.size());
        EXPECT_EQ(progress.shown, withTree ? walk : stored);
        EXPECT_EQ(progress.steps, plans.size());
        EXPECT_EQ(DamagedPaths(result), expected);
      }
    }
    // As the tool checks, while the walk is made (the walking thread helping once it is
    // done): the same damage in the same order.
    for (const auto& [workers, whole] : {std::pair{1u, true}, std::pair{4u, true}, std::pair{4u, false}}) {
      SCOPED_TRACE(std::to_string(workers) + " workers while walking" + (whole ? ", the file read whole" : ""));
      CancellingProgress progress(UINT32_MAX);
      const WalkedCheck walked(path, workers, whole, &progress);
      ASSERT_TRUE(walked.doc.source);
      EXPECT_FALSE(walked.walked);
      EXPECT_EQ(walked.doc.source->StoredInFileOrder(), !backwards);
      EXPECT_EQ(progress.shown, stored);
      EXPECT_EQ(DamagedPaths(walked.check.result), expected);
    }
  }
}

// Cancelled while the walking thread, done with the walk, may be helping with a large entry
// read in pieces: the check stops at the entry where it was cancelled, and every thread has
// left the read-ahead before it goes (the sanitizers see any touch after), on one worker
// and on four.
TEST(ArchiveCheck, ACheckWhileWalkingStopsWhereCancelledWhileTheWalkerHelps) {
  ScratchDir dir;
  std::vector<ZipPlan> plans;
  for (int i = 0; i < 300; ++i)
    plans.push_back(DeflatedPlan("small/f" + std::to_string(i) + ".txt", TextBytes(i, 100 + i), 6));
  plans.push_back(DeflatedPlan("big/after.bin", TextBytes(7, 8u << 20), 1));
  for (int i = 0; i < 50; ++i) plans.push_back(StoredPlan("tail/f" + std::to_string(i) + ".txt", TextBytes(i, 30)));
  const std::string path = dir.Path("helped.pk3");
  ASSERT_TRUE(WriteFileBytes(path, BuildZip(plans)));
  for (const unsigned workers : {1u, 4u}) {
    SCOPED_TRACE(std::to_string(workers) + " workers");
    CancellingProgress progress(300);
    const WalkedCheck walked(path, workers, false, &progress);
    ASSERT_TRUE(walked.doc.source);
    EXPECT_FALSE(walked.walked);
    EXPECT_TRUE(walked.check.result.cancelled);
    EXPECT_EQ(walked.check.result.files, 300u);
    EXPECT_TRUE(walked.check.result.damaged.empty());
    EXPECT_EQ(walked.walk.Files().size(), plans.size());
  }
}

// A thread started beside the caller does its work, and once started may run on every
// processor the caller may: it is kept off the caller's only until it first runs.
TEST(ArchiveCheck, AThreadStartedBesideEndsFreeToRunAnywhere) {
  for (int i = 0; i < 20; ++i) {
    bool ran = false;
#if defined(__linux__)
    cpu_set_t caller, inside;
    ASSERT_EQ(sched_getaffinity(0, sizeof caller, &caller), 0);
    std::thread thread = StartBeside([&] {
      ran = sched_getaffinity(0, sizeof inside, &inside) == 0;
    });
    thread.join();
    ASSERT_TRUE(ran);
    EXPECT_TRUE(CPU_EQUAL(&caller, &inside)) << "round " << i;
#else
    std::thread thread = StartBeside([&] { ran = true; });
    thread.join();
    EXPECT_TRUE(ran);
#endif
  }
}

// A file cut short after its entries were located: the run of neighbouring entries can no
// longer be read in one go, so each of them is read on its own, and only those whose bytes
// are gone are damaged, in walk order, on one worker and on four.
TEST(ArchiveCheck, EntriesOfARunCutShortAreReadOneByOne) {
  ScratchDir dir;
  std::vector<ZipPlan> plans;
  for (int i = 0; i < 200; ++i)
    plans.push_back(DeflatedPlan("t/f" + std::to_string(1000 + i) + ".txt", TextBytes(i, 200 + i), 6));
  const std::string path = dir.Path("cut.pk3");
  const std::vector<uint8_t> whole = BuildZip(plans);
  for (const unsigned workers : {1u, 4u}) {
    SCOPED_TRACE(std::to_string(workers) + " workers");
    ASSERT_TRUE(WriteFileBytes(path, whole));
    TestDocument doc(path);
    ASSERT_TRUE(doc.ok());
    ArchiveSource& source = *doc.doc.source;
    source.PrepareToLocate();
    // The file ends one byte into the data of entry 150.
    StoredBytes where;
    ASSERT_EQ(source.Locate(150, &where), EntryLoad::Ok);
    std::filesystem::resize_file(path, where.offset + 1);
    std::vector<std::string> expected;
    for (const Node* n = doc.root(); n; n = NextInSubtree(n, doc.root()))
      if (n->IsFile() && n->source()->index >= 150) expected.push_back(StoredNameOf(&doc.doc, n));
    const ArchiveCheckResult result = CheckArchiveEntries(&doc.doc, nullptr, workers, false);
    EXPECT_EQ(result.files, plans.size());
    EXPECT_EQ(DamagedPaths(result), expected);
  }
}

// Paths stored more than once, in any case and through "." and "//": each named once, as the
// tree holds it, with how many entries store it, in the order the later ones are stored.
TEST(ArchiveCheck, PathsStoredMoreThanOnceAreNamedOnceWithTheirCount) {
  ScratchDir dir;
  std::vector<ZipPlan> plans = {StoredPlan("Maps/E1M1.bsp", Bytes("one")),  StoredPlan("b.txt", Bytes("b")),
                                StoredPlan("maps/e1m1.BSP", Bytes("two")),  StoredPlan("./B.TXT", Bytes("B")),
                                StoredPlan("maps//./E1M1.bsp", Bytes("3")), StoredPlan("maps/other.bsp", Bytes("o"))};
  plans[4].stored[0] ^= 1;
  // Directory entries, one of a name that is not ASCII, hold no file.
  plans.push_back(StoredPlan("maps/", Bytes("")));
  plans.push_back(StoredPlan("\x81" "ber/", Bytes("")));
  const std::string path = dir.Path("twice.pk3");
  ASSERT_TRUE(WriteFileBytes(path, BuildZip(plans)));
  for (bool keepCase : {false, true}) {
    SCOPED_TRACE(keepCase ? "case kept" : "lower case");
    ArchiveDocument doc;
    Failure why;
    const ArchiveFormat* format = nullptr;
    doc.source = OpenArchive(path, &why, &format);
    ASSERT_TRUE(doc.source);
    ASSERT_FALSE(BuildTree(&doc, keepCase));
    const ArchiveCheckResult result = CheckOnOneAndFourWorkers(&doc);
    EXPECT_EQ(result.files, 6u);
    EXPECT_EQ(DamagedPaths(result), std::vector<std::string>{"maps//./E1M1.bsp"});
    ASSERT_EQ(result.duplicates.size(), 2u);
    EXPECT_EQ(result.duplicates[0].path, keepCase ? "Maps/E1M1.bsp" : "maps/e1m1.bsp");
    EXPECT_EQ(result.duplicates[0].times, 3u);
    EXPECT_EQ(result.duplicates[1].path, keepCase ? "b.txt" : "b.txt");
    EXPECT_EQ(result.duplicates[1].times, 2u);
  }
}

// Writes a ZIP at path of one stored byte under each of names, in their order.
bool WriteNamesOnly(const std::string& path, const std::vector<std::string>& names) {
  std::vector<ZipPlan> plans;
  for (const std::string& name : names) plans.push_back(StoredPlan(name, Bytes("x")));
  return WriteFileBytes(path, BuildZip(plans));
}

// A source the tree refuses is refused by its shape alone with the same failure, and by the
// check made while the shape is made, which then tells nothing of the entries.
TEST(ArchiveCheck, TheTreesShapeRefusesWhatTheTreeRefuses) {
  ScratchDir dir;
  const std::vector<std::vector<std::string>> cases = {
      {"a/b.txt", "a"}, {"a.txt", "a.txt/b.txt"}, {"a/", "x/../", "/"}, {"ok.txt", ""}, {"A/b", "a/b/"},
      // A path that starts with the folder of the file before it but goes on past it.
      {"x/y.txt", "x/y.txt/z"}, {"a/b/c.txt", "a/b"}, {"A/b.txt", "a/B.TXT/c"}, {"d/e/f", "d/e/f/"}};
  for (const std::vector<std::string>& names : cases) {
    SCOPED_TRACE(names.back());
    const std::string path = dir.Path("refused.pk3");
    ASSERT_TRUE(WriteNamesOnly(path, names));
    ArchiveDocument doc;
    Failure why;
    const ArchiveFormat* format = nullptr;
    doc.source = OpenArchive(path, &why, &format);
    if (!doc.source) continue;  // refused before any tree: nothing to compare
    const Failure tree = BuildTree(&doc);
    SourceWalk walk;
    const Failure shape = walk.Make(*doc.source);
    EXPECT_EQ(shape.problem, tree.problem);
    EXPECT_EQ(FailureReason(shape), FailureReason(tree));
    EXPECT_EQ(shape.other, tree.other);
    SourceWalk walked;
    CheckWhileWalking check;
    const Failure checked = WalkAndCheckEntries(&doc, &walked, false, &check);
    EXPECT_EQ(FailureReason(checked), FailureReason(tree));
    EXPECT_EQ(check.result.files, 0u);
    EXPECT_TRUE(check.result.damaged.empty());
  }
}

// The shape holds the files the tree holds, in the tree's walk order, however the stored
// paths spell, interleave and repeat their folders.
TEST(ArchiveCheck, TheShapesFilesComeInTheTreesWalkOrder) {
  ScratchDir dir;
  const std::vector<std::vector<std::string>> cases = {
      {"a/1", "b/1", "a/2", "b/2", "a/3", "c/d/1", "a/4", "c/d/2", "c/1", "top"},
      {"Maps/e1.bsp", "maps/E2.bsp", "maps//./e3.bsp", "./maps/e1.BSP", "maps/", "maps/sub/", "maps/sub/x"},
      {"x/y/z/1", "x/y/", "x/y/z/2", "x/2", "x/y/z/1", "x/y/3", "x/", "4"}};
  for (const std::vector<std::string>& names : cases) {
    SCOPED_TRACE(names.front());
    const std::string path = dir.Path("order.pk3");
    ASSERT_TRUE(WriteNamesOnly(path, names));
    for (const bool keepCase : {false, true}) {
      TestDocument doc(path);
      ASSERT_TRUE(doc.ok());
      ASSERT_FALSE(BuildTree(&doc.doc, keepCase));
      std::vector<std::string> tree, shape;
      for (const Node* n = doc.doc.root(); n; n = NextInSubtree(n, doc.doc.root()))
        if (n->IsFile()) tree.push_back(StoredNameOf(&doc.doc, n));
      SourceWalk walk;
      ASSERT_FALSE(walk.Make(*doc.doc.source, keepCase));
      for (const uint32_t entry : walk.Files()) shape.push_back(doc.doc.source->NameTextOf(entry));
      EXPECT_EQ(shape, tree);
    }
  }
}

// Entries whose stored bytes overlap another's stand for bytes that are not there: each is
// named with one it overlaps, without being read, and the rest of the archive is sound.
TEST(ArchiveCheck, EntriesSharingTheirBytesAndEmptyOnesWithACrcAreNamed) {
  ScratchDir dir;
  const std::vector<uint8_t> zeros(1 << 20, 0);
  struct Case {
    const char* label;
    std::vector<ZipPlan> plans;
    std::vector<std::pair<std::string, std::string>> damaged;  // path, reason
  };
  std::vector<Case> cases;
  {
    // Two records, one local header: the second stands for the first's bytes again.
    ZipPlan a = DeflatedPlan("a.bin", zeros, 9), b = a, c = StoredPlan("c.txt", Bytes("fine"));
    b.name = "b.bin";
    b.localOffset = 0;
    cases.push_back({"one local header", {a, b, c},
                     {{"b.bin", "it shares its data with \"a.bin\""}, {"a.bin", "it shares its data with \"b.bin\""}}});
  }
  {
    // The first entry's bytes run on into the second's local header.
    ZipPlan a = StoredPlan("a.txt", Bytes("aaaa")), b = StoredPlan("b.txt", Bytes("bbbb"));
    a.compressedSize = a.uncompressedSize = 4 + 30 + 5 + 2;
    a.crc = 0;
    cases.push_back({"bytes running into the next entry", {a, b},
                     {{"b.txt", "it shares its data with \"a.txt\""}, {"a.txt", "it shares its data with \"b.txt\""}}});
  }
  {
    // Many records over one header of a megabyte of zeros: each named, none inflated.
    std::vector<ZipPlan> plans;
    std::vector<std::pair<std::string, std::string>> named;
    const auto name = [](int i) { return std::string(i < 10 ? "bomb0" : "bomb") + std::to_string(i); };
    for (int i = 0; i < 40; ++i) {
      ZipPlan p = DeflatedPlan(name(i), zeros, 9);
      if (i > 0) p.localOffset = 0;
      plans.push_back(p);
    }
    for (int i = 39; i >= 1; --i) named.push_back({name(i), "it shares its data with \"bomb00\""});
    named.push_back({"bomb00", "it shares its data with \"bomb01\""});
    cases.push_back({"a bomb of one header", plans, named});
  }
  {
    ZipPlan empty = StoredPlan("empty.txt", {}), fine = StoredPlan("zero.txt", {});
    empty.crc = 0xDEADBEEF;
    cases.push_back({"empty entry with a CRC-32", {fine, empty},
                     {{"empty.txt", "its data does not match its CRC-32 (the archive is damaged)"}}});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string path = dir.Path("shared.pk3");
    ASSERT_TRUE(WriteFileBytes(path, BuildZip(c.plans)));
    TestDocument doc(path);
    ASSERT_TRUE(doc.ok());
    const ArchiveCheckResult result = CheckOnOneAndFourWorkers(&doc.doc);
    EXPECT_EQ(result.files, c.plans.size());
    std::vector<std::pair<std::string, std::string>> damaged;
    for (const DamagedEntry& d : result.damaged) damaged.push_back({d.path, FailureReason(d.problem)});
    EXPECT_EQ(damaged, c.damaged);
  }
}

// Entries are read in pieces: what reaches the sink is the entry's bytes, in pieces no
// larger than the reading piece, whatever the entry's size; a sink that refuses stops it.
TEST(ArchiveCheck, EntriesAreStreamedInBoundedPieces) {
  ScratchDir dir;
  const std::vector<uint8_t> text = TextBytes(7, 3 * kStreamPieceSize + 12345);
  const std::string path = dir.Path("stream.pk3");
  ASSERT_TRUE(WriteFileBytes(path, BuildZip({DeflatedPlan("deflated.txt", text, 6), StoredPlan("stored.txt", text)})));
  TestDocument doc(path);
  ASSERT_TRUE(doc.ok());
  struct Collect : ByteSink {
    std::vector<uint8_t> bytes;
    size_t largest = 0, refuseAfter = SIZE_MAX;
    bool Take(const uint8_t* data, size_t size) override {
      largest = std::max(largest, size);
      bytes.insert(bytes.end(), data, data + size);
      return bytes.size() < refuseAfter;
    }
  };
  for (const char* name : {"deflated.txt", "stored.txt"}) {
    SCOPED_TRACE(name);
    Collect all;
    EXPECT_EQ(StreamEntryBytes(&doc.doc, doc.Find(name), &all), EntryLoad::Ok);
    EXPECT_TRUE(all.bytes == text);
    EXPECT_LE(all.largest, kStreamPieceSize);
    Collect some;
    some.refuseAfter = 1;
    EXPECT_EQ(StreamEntryBytes(&doc.doc, doc.Find(name), &some), EntryLoad::Stopped);
  }
}

TEST(ArchiveCheck, MemoryFilesAreCountedAndNeverDamaged) {
  TestDocument doc;
  doc.AddPath("maps/new.bsp", Bytes("fresh"));
  doc.AddPath("readme.txt", Bytes(""));
  const ArchiveCheckResult result = CheckOnOneAndFourWorkers(&doc.doc);
  EXPECT_EQ(result.files, 2u);
  EXPECT_TRUE(result.damaged.empty());
}

TEST(OpenArchive, KeepsThePathAsGivenAndMatchesTheExtensionInAnyCase) {
  ScratchDir dir;
  const std::string pak = dir.Path("Mixed.PAK");
  const std::string pk3 = dir.Path("Mixed.Pk3");
  ASSERT_TRUE(WriteFileBytes(pak, sample::Pak({{"a.txt", "a"}})));
  ASSERT_TRUE(WriteFileBytes(pk3, ThreeEntryZip(-1)));
  for (const auto& [path, expected] :
       {std::pair<std::string, const ArchiveFormat*>{pak, &PakFormat()}, {pk3, &DefaultFormat()}}) {
    Failure why;
    const ArchiveFormat* format = nullptr;
    const std::unique_ptr<ArchiveSource> opened = OpenArchive(path, &why, &format);
    EXPECT_EQ(format, expected) << path;
    ASSERT_NE(opened, nullptr) << FailureReason(why);
    EXPECT_FALSE(why);
    EXPECT_EQ(&opened->format(), expected);
    EXPECT_EQ(opened->path(), path);
  }
}

// The name keeps its case here: the tree it enters lower-cases it, or keeps it, by its rule.
TEST(ImportNames, AFolderIsImportedUnderItsLastComponent) {
  const struct {
    const char* path;
    const char* name;
  } cases[] = {
      {"C:\\Games\\Mod", "Mod"},    {"C:\\Games\\Mod\\", "Mod"}, {"/home/u/My Mod//", "My Mod"},
      {"Maps", "Maps"},             {"C:\\", ""},                {"C:", ""},
      {"", ""},                     {"\\\\", ""},                {"a/b\\C", "C"},
  };
  for (const auto& c : cases) EXPECT_EQ(DirectoryImportName(c.path), c.name) << c.path;
  EXPECT_STREQ(LastPathComponent("C:\\games\\Pak0.PAK"), "Pak0.PAK");
  EXPECT_STREQ(LastPathComponent("maps/e1m1.bsp"), "e1m1.bsp");
  EXPECT_STREQ(LastPathComponent("dir/"), "");
}

}  // namespace
