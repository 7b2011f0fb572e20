// Checking every entry of an archive (the command-line test and Test Archive), opening an
// archive by its path as given, and the names imported folders get.
#include <gtest/gtest.h>

#include <cstring>

#include "archive/archive_check.h"
#include "archive/loading.h"
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
    const ArchiveCheckResult result = CheckArchiveEntries(&doc.doc, nullptr);
    EXPECT_EQ(result.files, 3u);
    EXPECT_FALSE(result.cancelled);
    const char* names[] = {"Maps/E1M1.bsp", "sound/beep.wav", "readme.txt"};
    if (victim < 0) {
      EXPECT_TRUE(result.damaged.empty());
    } else {
      EXPECT_EQ(DamagedPaths(result), std::vector<std::string>{names[victim]});
      EXPECT_NE(result.damaged[0].reason.find("damaged"), std::string::npos) << result.damaged[0].reason;
    }
  }
}

TEST(ArchiveCheck, PakEntriesMustLieInsideTheFileAndClearOfItsRecords) {
  ScratchDir dir;
  struct Case {
    const char* label;
    uint32_t offset, length;  // of the second entry, written over its directory record
    const char* reason;       // part of the reason; null for a sound entry
  };
  const Case cases[] = {
      {"sound", 0, 0, nullptr},
      {"past the end", 20, 5000, "runs past the end of the file"},
      {"offset past the end", 900000, 1, "runs past the end of the file"},
      {"header", 4, 4, "overlaps the archive's header"},
      {"directory", 0, 70, "overlaps the archive's directory"},
      {"empty anywhere", 900000, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<uint8_t> pak = sample::Pak({{"good.txt", std::string(50, 'g')}, {"maps/bad.bsp", std::string(50, 'b')}});
    const uint32_t dirOffset = GetLE32(pak.data() + 4);
    if (std::strcmp(c.label, "sound") != 0) {
      const uint32_t offset = std::strcmp(c.label, "directory") == 0 ? dirOffset + 10 : c.offset;
      PutLE32(pak.data() + dirOffset + 64 + 56, offset);
      PutLE32(pak.data() + dirOffset + 64 + 60, c.length);
    }
    const std::string path = dir.Path("bounds.pak");
    ASSERT_TRUE(WriteFileBytes(path, pak));
    TestDocument doc(path);
    ASSERT_TRUE(doc.ok());
    const ArchiveCheckResult result = CheckArchiveEntries(&doc.doc, nullptr);
    EXPECT_EQ(result.files, 2u);
    if (c.reason == nullptr) {
      EXPECT_TRUE(result.damaged.empty());
    } else {
      ASSERT_EQ(DamagedPaths(result), std::vector<std::string>{"maps/bad.bsp"});
      EXPECT_NE(result.damaged[0].reason.find(c.reason), std::string::npos) << result.damaged[0].reason;
    }
  }
}

TEST(ArchiveCheck, StopsWhereTheProgressIsCancelledAndShowsEachEntry) {
  ScratchDir dir;
  const std::string path = dir.Path("cancel.pk3");
  ASSERT_TRUE(WriteFileBytes(path, ThreeEntryZip(2)));
  TestDocument doc(path);
  ASSERT_TRUE(doc.ok());
  CancellingProgress progress(2);
  const ArchiveCheckResult result = CheckArchiveEntries(&doc.doc, &progress);
  EXPECT_TRUE(result.cancelled);
  EXPECT_EQ(result.files, 2u);
  ASSERT_EQ(progress.shown.size(), 2u);
  // Only entries reached were read: the damaged one is reported exactly when it was shown.
  const bool reached = progress.shown[0] == "readme.txt" || progress.shown[1] == "readme.txt";
  EXPECT_EQ(DamagedPaths(result), reached ? std::vector<std::string>{"readme.txt"} : std::vector<std::string>{});
}

TEST(ArchiveCheck, MemoryFilesAreCountedAndNeverDamaged) {
  TestDocument doc;
  doc.AddPath("maps/new.bsp", Bytes("fresh"));
  doc.AddPath("readme.txt", Bytes(""));
  const ArchiveCheckResult result = CheckArchiveEntries(&doc.doc, nullptr);
  EXPECT_EQ(result.files, 2u);
  EXPECT_TRUE(result.damaged.empty());
}

TEST(OpenArchiveAt, KeepsThePathAsGivenAndMatchesTheExtensionInAnyCase) {
  ScratchDir dir;
  const std::string pak = dir.Path("Mixed.PAK");
  const std::string pk3 = dir.Path("Mixed.Pk3");
  ASSERT_TRUE(WriteFileBytes(pak, sample::Pak({{"a.txt", "a"}})));
  ASSERT_TRUE(WriteFileBytes(pk3, ThreeEntryZip(-1)));
  RecordingMessages messages;
  for (const auto& [path, kind] : {std::pair<std::string, ArchiveKind>{pak, ArchiveKind::Pak}, {pk3, ArchiveKind::Pk3}}) {
    const OpenedArchive opened = OpenArchiveAt(path.c_str(), messages);
    EXPECT_EQ(opened.kind, kind) << path;
    ASSERT_NE(opened.source, nullptr);
    EXPECT_STREQ(*SourcePath(opened.source, kind), path.c_str());
    CloseSource(opened.source, opened.kind);
  }
  EXPECT_TRUE(messages.messages.empty());
}

TEST(ImportNames, AFolderIsImportedUnderItsLastComponentLowerCased) {
  const struct {
    const char* path;
    const char* name;
  } cases[] = {
      {"C:\\Games\\Mod", "mod"},    {"C:\\Games\\Mod\\", "mod"}, {"/home/u/My Mod//", "my mod"},
      {"Maps", "maps"},             {"C:\\", ""},                {"C:", ""},
      {"", ""},                     {"\\\\", ""},                {"a/b\\C", "c"},
  };
  for (const auto& c : cases) EXPECT_EQ(DirectoryImportName(c.path), c.name) << c.path;
  EXPECT_STREQ(LastPathComponent("C:\\games\\Pak0.PAK"), "Pak0.PAK");
  EXPECT_STREQ(LastPathComponent("maps/e1m1.bsp"), "e1m1.bsp");
  EXPECT_STREQ(LastPathComponent("dir/"), "");
}

}  // namespace
