// Comparing archives and folders file by file, and the patch of what one side adds or
// changes, written through the normal save and read back.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "archive/archive_compare.h"
#include "archive/disk.h"
#include "archive/entry_data.h"
#include "archive/save.h"
#include "tests/core/sample_archives.h"
#include "tests/core/test_support.h"
#include "tests/core/writer_support.h"
#include "transfer/core/compare_patch.h"

namespace {

const char* KindName(CompareKind kind) {
  static const char* const kNames[] = {"+", "-", "~", "=", "!"};
  return kNames[static_cast<size_t>(kind)];
}

// The items of a comparison as "+ path", "- path", "~ path", "= path" and "! path" lines.
std::vector<std::string> Lines(const Comparison& c) {
  std::vector<std::string> lines;
  for (const ComparedItem& item : c.items) lines.push_back(std::string(KindName(item.kind)) + " " + item.path);
  return lines;
}

std::string Text(size_t n, char fill) { return std::string(n, fill); }

// An archive file written by a test and opened as the programs open it.
struct ArchiveFile {
  ArchiveFile(const std::string& path, const std::vector<uint8_t>& bytes, bool keepCase = false)
      : written(WriteFileBytes(path, bytes)), doc(path, keepCase) {}
  CompareSide side() const { return CompareSide::Archive(&doc.doc); }
  bool written;
  TestDocument doc;
};

std::vector<uint8_t> Zip(const std::vector<std::pair<std::string, std::string>>& files, bool deflate = true) {
  std::vector<ZipPlan> plans;
  for (const auto& [name, data] : files)
    plans.push_back(deflate ? DeflatedPlan(name, Bytes(data), 6) : StoredPlan(name, Bytes(data)));
  return BuildZip(plans);
}

// The base of most cases, and a mod of it: one file the same, one changed with its size
// kept, one with another size, one added, one removed, in folders and capitals.
const std::vector<std::pair<std::string, std::string>> kBase = {
    {"maps/e1m1.bsp", "level one"}, {"progs.dat", "old progs"}, {"gfx/conback.lmp", "back"},
    {"sound/old.wav", "gone"}};
const std::vector<std::pair<std::string, std::string>> kMod = {
    {"Maps/E1M1.bsp", "level one"}, {"progs.dat", "new progs"}, {"gfx/conback.lmp", "a longer back"},
    {"maps/e1m9.bsp", "secret level"}};
const std::vector<std::string> kModLines = {"~ gfx/conback.lmp", "= maps/e1m1.bsp", "+ maps/e1m9.bsp",
                                             "~ progs.dat", "- sound/old.wav"};

std::vector<sample::PakItem> PakItems(const std::vector<std::pair<std::string, std::string>>& files) {
  std::vector<sample::PakItem> items;
  for (const auto& [name, data] : files) items.push_back({name, data});
  return items;
}

TEST(ArchiveCompare, EveryPairOfFormatsAndFoldersFindsTheSameDifferences) {
  // PK3 against PK3 decides by sizes and CRC-32s; every other pair by the bytes.
  ScratchDir dir;
  MakeFolder(dir.Path("modfolder"), kMod);
  MakeFolder(dir.Path("basefolder"), kBase);
  ArchiveFile modPak(dir.Path("mod.pak"), sample::Pak(PakItems(kMod))), basePak(dir.Path("base.pak"), sample::Pak(PakItems(kBase)));
  ArchiveFile modZip(dir.Path("mod.pk3"), Zip(kMod)), baseZip(dir.Path("base.pk3"), Zip(kBase, false));
  ASSERT_TRUE(modPak.doc.ok() && basePak.doc.ok() && modZip.doc.ok() && baseZip.doc.ok());
  const struct {
    const char* name;
    CompareSide a, b;
  } cases[] = {
      {"pk3/pk3", modZip.side(), baseZip.side()},
      {"pak/pak", modPak.side(), basePak.side()},
      {"pak/pk3", modPak.side(), baseZip.side()},
      {"pk3/pak", modZip.side(), basePak.side()},
      {"folder/pak", CompareSide::Folder(dir.Path("modfolder")), basePak.side()},
      {"pk3/folder", modZip.side(), CompareSide::Folder(dir.Path("basefolder"))},
      {"folder/folder", CompareSide::Folder(dir.Path("modfolder")), CompareSide::Folder(dir.Path("basefolder"))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Comparison result = CompareSides(c.a, c.b);
    EXPECT_EQ(Lines(result), kModLines);
    EXPECT_EQ(result.Count(CompareKind::Added), 1u);
    EXPECT_EQ(result.Count(CompareKind::Removed), 1u);
    EXPECT_EQ(result.Count(CompareKind::Changed), 2u);
    EXPECT_EQ(result.Count(CompareKind::Same), 1u);
    EXPECT_TRUE(result.Complete());
    EXPECT_FALSE(result.Identical());
    // Each item names its files where its sides hold them.
    for (const ComparedItem& item : result.items) {
      EXPECT_EQ(item.a.present(), item.kind != CompareKind::Removed) << item.path;
      EXPECT_EQ(item.b.present(), item.kind != CompareKind::Added) << item.path;
    }
    const CompareSide& a = c.a;
    if (a.document) {
      const ComparedItem& added = result.items[2];
      EXPECT_EQ(StoredPath(a.document->tree->Find(added.a.node)), "maps/e1m9.bsp");
    }
    // A side compared with itself is the same.
    const Comparison self = CompareSides(c.a, c.a);
    EXPECT_TRUE(self.Identical());
    EXPECT_EQ(self.Count(CompareKind::Same), 4u);
  }
}

TEST(ArchiveCompare, TwoPk3sAreDecidedByTheirRecordsWithoutReadingAByte) {
  // The base's entry is damaged but keeps the record of the mod's bytes: nothing reads it.
  ScratchDir dir;
  std::vector<ZipPlan> base = {StoredPlan("a.txt", Bytes("same bytes")), StoredPlan("b.txt", Bytes("bytes of b"))};
  base[0].stored[0] ^= 0x20;
  ArchiveFile mod(dir.Path("mod.pk3"), Zip({{"a.txt", "same bytes"}, {"b.txt", "bytes of B"}}));
  ArchiveFile old(dir.Path("base.pk3"), BuildZip(base));
  const Comparison result = CompareSides(mod.side(), old.side());
  EXPECT_EQ(Lines(result), (std::vector<std::string>{"= a.txt", "~ b.txt"}));
  // Against a PAK the same damage is read, and found.
  ArchiveFile pak(dir.Path("base.pak"), sample::Pak({{"a.txt", "same bytes"}, {"b.txt", "bytes of b"}}));
  const Comparison read = CompareSides(pak.side(), old.side());
  EXPECT_EQ(Lines(read), (std::vector<std::string>{"! a.txt", "= b.txt"}));
}

TEST(ArchiveCompare, PathsMatchWithoutCaseAndShowSideAsCase) {
  ScratchDir dir;
  ArchiveFile mod(dir.Path("mod.pk3"), Zip({{"Maps/E1M1.BSP", "x"}, {"New.TXT", "n"}}), true);
  ArchiveFile base(dir.Path("base.pak"), sample::Pak({{"maps/e1m1.bsp", "x"}, {"Gone.Txt", "g"}}), true);
  EXPECT_EQ(Lines(CompareSides(mod.side(), base.side())),
            (std::vector<std::string>{"- Gone.Txt", "= Maps/E1M1.BSP", "+ New.TXT"}));
  EXPECT_EQ(Lines(CompareSides(base.side(), mod.side())),
            (std::vector<std::string>{"+ Gone.Txt", "= maps/e1m1.bsp", "- New.TXT"}));
  // A folder's names are lower-cased unless their case is kept.
  MakeFolder(dir.Path("folder"), {{"MAPS/e1m1.bsp", "x"}, {"new.txt", "n"}});
  CompareOptions kept;
  kept.keepCase = true;
  EXPECT_EQ(Lines(CompareSides(CompareSide::Folder(dir.Path("folder")), base.side())),
            (std::vector<std::string>{"- Gone.Txt", "= maps/e1m1.bsp", "+ new.txt"}));
  EXPECT_EQ(Lines(CompareSides(CompareSide::Folder(dir.Path("folder")), base.side(), kept)),
            (std::vector<std::string>{"- Gone.Txt", "= MAPS/e1m1.bsp", "+ new.txt"}));
}

TEST(ArchiveCompare, OfAPathStoredTwiceTheShownFileCounts) {
  ScratchDir dir;
  ArchiveFile twice(dir.Path("twice.pak"), sample::Pak({{"a.txt", "first"}, {"A.TXT", "later"}, {"b.txt", "b"}}));
  ArchiveFile first(dir.Path("first.pak"), sample::Pak({{"a.txt", "first"}, {"b.txt", "b"}}));
  ArchiveFile later(dir.Path("later.pak"), sample::Pak({{"a.txt", "later"}, {"b.txt", "b"}}));
  EXPECT_TRUE(CompareSides(twice.side(), first.side()).Identical());
  EXPECT_EQ(Lines(CompareSides(twice.side(), later.side())), (std::vector<std::string>{"~ a.txt", "= b.txt"}));
  EXPECT_EQ(Lines(CompareSides(later.side(), twice.side())), (std::vector<std::string>{"~ a.txt", "= b.txt"}));
}

TEST(ArchiveCompare, BytesAreComparedPieceByPieceToTheLastByte) {
  // Files of several pieces: a difference in the last byte, in the first, or none.
  ScratchDir dir;
  const size_t size = 3 * kStreamPieceSize + 17;
  std::string same = Text(size, 'q'), last = same, first = same;
  last.back() = 'Q';
  first.front() = 'Q';
  ArchiveFile pak(dir.Path("a.pak"), sample::Pak({{"same.bin", same}, {"last.bin", same}, {"first.bin", same}}));
  ArchiveFile deflated(dir.Path("b.pk3"), Zip({{"same.bin", same}, {"last.bin", last}, {"first.bin", first}}));
  ArchiveFile stored(dir.Path("c.pk3"), Zip({{"same.bin", same}, {"last.bin", last}, {"first.bin", first}}, false));
  MakeFolder(dir.Path("folder"), {{"same.bin", same}, {"last.bin", last}, {"first.bin", first}});
  const std::vector<std::string> expected = {"~ first.bin", "~ last.bin", "= same.bin"};
  EXPECT_EQ(Lines(CompareSides(pak.side(), deflated.side())), expected);
  EXPECT_EQ(Lines(CompareSides(deflated.side(), pak.side())), expected);
  EXPECT_EQ(Lines(CompareSides(stored.side(), pak.side())), expected);
  EXPECT_EQ(Lines(CompareSides(CompareSide::Folder(dir.Path("folder")), pak.side())), expected);
  EXPECT_EQ(Lines(CompareSides(pak.side(), CompareSide::Folder(dir.Path("folder")))), expected);
  // Memory files (an edited document) are compared by their bytes too.
  TestDocument edited;
  edited.AddPath("same.bin", Bytes(same));
  edited.AddPath("last.bin", Bytes(last));
  edited.AddPath("first.bin", Bytes(first));
  EXPECT_EQ(Lines(CompareSides(CompareSide::Archive(&edited.doc), deflated.side())),
            (std::vector<std::string>{"= first.bin", "= last.bin", "= same.bin"}));
  EXPECT_EQ(Lines(CompareSides(pak.side(), CompareSide::Archive(&edited.doc))), expected);
}

TEST(ArchiveCompare, ADamagedEntryIsUnreadableNeverChanged) {
  ScratchDir dir;
  const std::vector<uint8_t> text = TextBytes(7, 70000);
  const std::string bytes(text.begin(), text.end());
  std::string other = bytes;
  other[10] = 'x';
  ArchiveFile pak(dir.Path("good.pak"), sample::Pak({{"a.bin", bytes}, {"b.bin", other}}));
  // A flipped byte in the middle of each entry, deflated and stored: the deflated one fails
  // to inflate or to match its CRC-32, the stored one its CRC-32, even where it differs
  // from the other side early on.
  for (bool deflate : {true, false}) {
    SCOPED_TRACE(deflate ? "deflated" : "stored");
    std::vector<ZipPlan> plans = {deflate ? DeflatedPlan("a.bin", Bytes(bytes), 6) : StoredPlan("a.bin", Bytes(bytes)),
                                  deflate ? DeflatedPlan("b.bin", Bytes(bytes), 6) : StoredPlan("b.bin", Bytes(bytes))};
    for (ZipPlan& plan : plans) plan.stored[plan.stored.size() / 2] ^= 0x01;
    ArchiveFile damaged(dir.Path(deflate ? "deflated.pk3" : "stored.pk3"), BuildZip(plans));
    for (bool damagedIsA : {true, false}) {
      const Comparison result =
          damagedIsA ? CompareSides(damaged.side(), pak.side()) : CompareSides(pak.side(), damaged.side());
      EXPECT_EQ(Lines(result), (std::vector<std::string>{"! a.bin", "! b.bin"}));
      EXPECT_EQ(result.Count(CompareKind::Unreadable), 2u);
      EXPECT_FALSE(result.Complete());
      EXPECT_FALSE(result.Identical());
      for (const ComparedItem& item : result.items) {
        EXPECT_EQ(item.failedInA, damagedIsA) << item.path;
        EXPECT_EQ(item.failure.problem, Problem::LoadFailed) << item.path;
        EXPECT_EQ(item.failure.name, item.path);
        EXPECT_TRUE(item.failure.load == EntryLoad::CrcMismatch || item.failure.load == EntryLoad::ReadFailed)
            << static_cast<int>(item.failure.load);
      }
    }
  }
  // An entry whose bytes run past the end of its PAK.
  std::vector<uint8_t> cut = sample::Pak({{"a.bin", bytes}, {"b.bin", other}});
  // b.bin's length: 100,000 bytes, past the end of the file.
  const size_t length = 12 + 2 * bytes.size() + 64 + 56 + 4;
  const uint8_t far[4] = {0xA0, 0x86, 0x01, 0x00};
  std::copy(far, far + 4, cut.begin() + static_cast<std::ptrdiff_t>(length));
  ArchiveFile past(dir.Path("past.pak"), cut);
  ASSERT_TRUE(past.doc.ok());
  ArchiveFile longer(dir.Path("longer.pak"), sample::Pak({{"a.bin", bytes}, {"b.bin", Text(past.doc.Find("b.bin")->size(), 'x')}}));
  const Comparison result = CompareSides(longer.side(), past.side());
  EXPECT_EQ(Lines(result), (std::vector<std::string>{"= a.bin", "! b.bin"}));
  EXPECT_FALSE(result.items[1].failedInA);
}

TEST(ArchiveCompare, AFolderSideLeavesOutCaseTwinsAndTheFileToBeWritten) {
  ScratchDir dir;
#ifdef _WIN32
  // The file system takes two names equal but for case as one file: there are no twins.
  MakeFolder(dir.Path("mod"), {{"Readme.txt", "upper"}, {"patch.pk3", "old patch"}, {"sub/a.txt", "a"}});
#else
  MakeFolder(dir.Path("mod"), {{"Readme.txt", "upper"}, {"readme.txt", "lower"}, {"patch.pk3", "old patch"},
                               {"sub/a.txt", "a"}});
#endif
  ArchiveFile base(dir.Path("base.pak"), sample::Pak({{"readme.txt", "upper"}, {"sub/a.txt", "a"}}));
  CompareOptions options;
  options.leaveOut = dir.Path("mod/patch.pk3");
  const Comparison result = CompareSides(CompareSide::Folder(dir.Path("mod")), base.side(), options);
  // The names are walked in byte order: "Readme.txt" comes first and counts.
  EXPECT_EQ(Lines(result), (std::vector<std::string>{"= readme.txt", "= sub/a.txt"}));
#ifndef _WIN32
  EXPECT_EQ(result.caseTwins, std::vector<std::string>{dir.Path("mod/readme.txt")});
#endif
  EXPECT_TRUE(result.Identical());
  EXPECT_EQ(Lines(CompareSides(CompareSide::Folder(dir.Path("mod")), base.side())),
            (std::vector<std::string>{"+ patch.pk3", "= readme.txt", "= sub/a.txt"}));
  // A folder that is not there cannot be read: the comparison is not complete.
  const Comparison missing = CompareSides(CompareSide::Folder(dir.Path("nowhere")), base.side());
  EXPECT_EQ(missing.unreadableFolders, std::vector<std::string>{dir.Path("nowhere")});
  EXPECT_FALSE(missing.Complete());
  EXPECT_FALSE(missing.Identical());
}

TEST(ArchiveCompare, ProgressStepsEachSharedPathAndCanStopTheComparison) {
  ScratchDir dir;
  ArchiveFile a(dir.Path("a.pak"), sample::Pak({{"1", "one"}, {"2", "two"}, {"3", "three"}, {"only-a", "x"}}));
  ArchiveFile b(dir.Path("b.pk3"), Zip({{"1", "one"}, {"2", "TWO"}, {"3", "three"}, {"only-b", "y"}}));
  RecordingSaveHost host;
  const Comparison whole = CompareSides(a.side(), b.side(), CompareOptions(), &host);
  EXPECT_EQ(Lines(whole), (std::vector<std::string>{"= 1", "~ 2", "= 3", "+ only-a", "- only-b"}));
  EXPECT_EQ(host.progressOpened, std::vector<uint32_t>{3});
  EXPECT_EQ(host.steps, 3u);
  EXPECT_EQ(host.closes, 1);
  RecordingSaveHost stopping;
  stopping.cancelAfterSteps = 2;
  const Comparison stopped = CompareSides(a.side(), b.side(), CompareOptions(), &stopping);
  EXPECT_TRUE(stopped.cancelled);
  EXPECT_FALSE(stopped.Complete());
  EXPECT_EQ(Lines(stopped), (std::vector<std::string>{"= 1", "~ 2"}));
  EXPECT_EQ(stopping.closes, 1);
}

// The patch of mod over base, saved in format and read back.
std::vector<ItemContent> SavedPatch(const CompareSide& mod, const CompareSide& base, const ArchiveFormat& format,
                                    const std::string& path) {
  const Comparison comparison = CompareSides(mod, base);
  ArchiveDocument patch;
  const Failure built = BuildPatch(mod, comparison, false, &patch);
  EXPECT_FALSE(built) << static_cast<int>(built.problem);
  if (built) return {};
  EXPECT_EQ(patch.source, nullptr);
  const Failure saved = SaveDocument(&patch, format, path, SaveOptions(), nullptr);
  EXPECT_FALSE(saved) << static_cast<int>(saved.problem);
  TestDocument reopened(path);
  EXPECT_TRUE(reopened.ok());
  return reopened.ok() ? SortedContents(reopened.doc) : std::vector<ItemContent>{};
}

TEST(ComparePatch, HoldsTheAddedAndChangedFilesOfTheNewSideInTheirFolders) {
  ScratchDir dir;
  MakeFolder(dir.Path("modfolder"), kMod);
  ArchiveFile modZip(dir.Path("mod.pk3"), Zip(kMod)), basePak(dir.Path("base.pak"), sample::Pak(PakItems(kBase)));
  const std::vector<ItemContent> expected = {{"gfx/", {}},
                                             {"gfx/conback.lmp", Bytes("a longer back")},
                                             {"maps/", {}},
                                             {"maps/e1m9.bsp", Bytes("secret level")},
                                             {"progs.dat", Bytes("new progs")}};
  EXPECT_EQ(SavedPatch(modZip.side(), basePak.side(), PakFormat(), dir.Path("pak2.pak")), expected);
  EXPECT_EQ(SavedPatch(CompareSide::Folder(dir.Path("modfolder")), basePak.side(), DefaultFormat(),
                       dir.Path("zzz-patch.pk3")),
            expected);
#ifndef _WIN32
  EXPECT_EQ(ZipToolFailures(dir.Path("zzz-patch.pk3")), "");
#endif
  // The PAK holds the files in path order, by their stored names.
  const PakListing pak = ParsePak(FileBytes(dir.Path("pak2.pak")));
  ASSERT_TRUE(pak.ok);
  std::vector<std::string> names;
  for (const PakListingItem& item : pak.items) names.push_back(item.name);
  EXPECT_EQ(names, (std::vector<std::string>{"gfx/conback.lmp", "maps/e1m9.bsp", "progs.dat"}));
  // Nothing added or changed: an empty patch.
  EXPECT_EQ(SavedPatch(basePak.side(), basePak.side(), DefaultFormat(), dir.Path("empty.pk3")),
            std::vector<ItemContent>{});
}

TEST(ComparePatch, AFileOfTheNewSideThatCannotBeReadFailsThePatch) {
  ScratchDir dir;
  // Sizes differ, so the comparison reads nothing; the patch must read the file and fails.
  std::vector<ZipPlan> plans = {DeflatedPlan("maps/new.bsp", TextBytes(3, 5000), 6)};
  plans[0].stored[plans[0].stored.size() / 2] ^= 0x01;
  ArchiveFile mod(dir.Path("mod.pk3"), BuildZip(plans));
  ArchiveFile base(dir.Path("base.pak"), sample::Pak({{"maps/new.bsp", "short"}}));
  const Comparison comparison = CompareSides(mod.side(), base.side());
  EXPECT_EQ(Lines(comparison), std::vector<std::string>{"~ maps/new.bsp"});
  ArchiveDocument patch;
  const Failure failure = BuildPatch(mod.side(), comparison, false, &patch);
  EXPECT_EQ(failure.problem, Problem::LoadFailed);
  EXPECT_EQ(failure.name, "maps/new.bsp");
  EXPECT_EQ(patch.tree, nullptr);
  // A disk file that went away is named by its path.
  MakeFolder(dir.Path("folder"), {{"new.txt", "n"}});
  const Comparison fromDisk = CompareSides(CompareSide::Folder(dir.Path("folder")), base.side());
  ASSERT_TRUE(RemoveFile(dir.Path("folder/new.txt")));
  const Failure gone = BuildPatch(CompareSide::Folder(dir.Path("folder")), fromDisk, false, &patch);
  EXPECT_EQ(gone.problem, Problem::Unreadable);
  // The path the walk of the folder listed it by, with the system's separators.
  ASSERT_EQ(Lines(fromDisk), (std::vector<std::string>{"- maps/new.bsp", "+ new.txt"}));
  EXPECT_EQ(gone.name, fromDisk.items[1].a.diskPath);
  EXPECT_EQ(gone.name.substr(gone.name.size() - 7), "new.txt");
  // A cancelled read of the files.
  RecordingSaveHost host;
  host.cancelAfterSteps = 1;
  MakeFolder(dir.Path("two"), {{"a.txt", "a"}, {"b.txt", "b"}});
  const Comparison both = CompareSides(CompareSide::Folder(dir.Path("two")), base.side());
  EXPECT_EQ(BuildPatch(CompareSide::Folder(dir.Path("two")), both, false, &patch, &host).problem, Problem::Cancelled);
  EXPECT_EQ(patch.tree, nullptr);
}

}  // namespace
