// The measures and checks taken before a copy or move of archive items.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/core/sample_archives.h"
#include "tests/core/writer_support.h"
#include "transfer/core/transfer_checks.h"
#include "transfer/core/transfer_measure.h"

namespace {

using Items = std::vector<const Node*>;

TransferCheck Check(const TestDocument& target, const Node* dir, const Items& items, bool same, bool move) {
  TransferCheckInput in{&target.doc, dir, items, same, move};
  return CheckTransferItems(in);
}

// An empty document read from a file of the format (PAK or PK3), or a new one never saved
// (null): the format of a document's file chooses its limits.
struct Target {
  explicit Target(const ArchiveFormat* format) {
    if (format == nullptr) {
      doc = std::make_unique<TestDocument>();
      return;
    }
    const std::string path = dir.Path(format == &PakFormat() ? "empty.pak" : "empty.pk3");
    EXPECT_TRUE(WriteFileBytes(path, format == &PakFormat() ? sample::Pak({}) : sample::Zip({})));
    doc = std::make_unique<TestDocument>(path);
    EXPECT_TRUE(doc->ok());
    EXPECT_EQ(DocumentFormat(&doc->doc), format);
  }
  ScratchDir dir;
  std::unique_ptr<TestDocument> doc;
};

std::string Name(size_t length, char c = 'a') { return std::string(length, c); }

}  // namespace

TEST(TransferMeasureTest, PathsAndCounts) {
  TestDocument d;
  Node* maps = d.AddDirectory(d.root(), "maps");          // 5
  Node* sub = d.AddDirectory(maps, "sub");                // 4
  d.AddFile(sub, "level1.bsp", {1});                             // 10
  d.AddFile(maps, "x", {});                                      // 1
  Node* empty = d.AddDirectory(maps, "emptydirectory");   // 15
  Node* lone = d.AddFile(d.root(), "readme.txt", {2, 3});

  EXPECT_EQ(MaxPathBelow(maps), 5u + 15u);
  EXPECT_EQ(MaxPathBelow(sub), 4u + 10u);
  EXPECT_EQ(MaxPathBelow(lone), 10u);
  EXPECT_EQ(MaxPathBelow(empty), 15u);
  EXPECT_EQ(TargetPathLength(d.root()), 0u);
  EXPECT_EQ(TargetPathLength(sub), 9u);
  EXPECT_EQ(CountFiles(maps->firstChild()), 2u);
  EXPECT_EQ(CountFiles(d.root()->firstChild()), 3u);  // the siblings of maps count as well
  EXPECT_EQ(CountFiles(nullptr), 0u);
}

TEST(TransferMeasureTest, NewEntriesOfEachKindOfMeeting) {
  TestDocument src, dst;
  Node* maps = src.AddDirectory(src.root(), "maps");
  src.AddFile(maps, "a.bsp", {});
  src.AddFile(maps, "b.bsp", {});
  Node* deep = src.AddDirectory(maps, "deep");
  src.AddFile(deep, "c.bsp", {});
  Node* file = src.AddFile(src.root(), "readme.txt", {});

  // Nothing of the name: every file below, plus the directory itself when counted.
  EXPECT_EQ(CountNewEntries(dst.root(), maps, 0), 3);
  EXPECT_EQ(CountNewEntries(dst.root(), maps, 1), 4);
  EXPECT_EQ(CountNewEntries(dst.root(), file, 1), 1);

  // A directory of the name merges: only what it lacks counts, files of equal names 0.
  Node* target = dst.AddDirectory(dst.root(), "maps");
  dst.AddFile(target, "a.bsp", {});
  EXPECT_EQ(CountNewEntries(dst.root(), maps, 1), 1 + 2);  // b.bsp; deep and c.bsp
  Node* targetDeep = dst.AddDirectory(target, "deep");
  EXPECT_EQ(CountNewEntries(dst.root(), maps, 1), 1 + 1);
  dst.AddFile(dst.root(), "readme.txt", {});
  EXPECT_EQ(CountNewEntries(dst.root(), file, 1), 0);

  // A clash at any depth of the merge.
  dst.AddDirectory(targetDeep, "c.bsp");
  EXPECT_EQ(CountNewEntries(dst.root(), maps, 1), -1);
  TestDocument other;
  other.AddFile(other.root(), "maps", {});
  EXPECT_EQ(CountNewEntries(other.root(), maps, 0), -1);
  other.AddDirectory(other.root(), "readme.txt");
  EXPECT_EQ(CountNewEntries(other.root(), file, 0), -1);
}

// Regression: the measures recursed once per directory level, and a PK3 path can nest
// tens of thousands of directories.
TEST(TransferMeasureTest, DeepNestingIsWalkedWithoutRecursion) {
  TestDocument src, dst;
  Node* top = src.AddDirectory(src.root(), "d");
  Node* n = top;
  for (int i = 0; i < 30000; ++i) n = src.AddDirectory(n, "d");
  src.AddFile(n, "f", {});
  EXPECT_EQ(MaxPathBelow(top), 30001u * 2 + 1);
  EXPECT_EQ(CountFiles(top), 1u);
  EXPECT_EQ(CountNewEntries(dst.root(), top, 1), 2);
  EXPECT_EQ(CountNewEntries(src.root(), top, 1), 0);  // merging into itself adds nothing
  EXPECT_EQ(TargetPathLength(n), 30001u * 2);
}

TEST(TransferChecksTest, PakPathLengthLimit) {
  Target pak(&PakFormat());
  TestDocument& target = *pak.doc;
  Node* dir = target.AddDirectory(target.root(), "dir");  // "dir/" = 4
  TestDocument src;
  Node* ok = src.AddFile(src.root(), Name(51), {});
  Node* tooLong = src.AddFile(src.root(), Name(52, 'b'), {});
  Items accepted{ok}, refused{tooLong};
  EXPECT_EQ(Check(target, dir, accepted, false, false), TransferCheck::Ok);  // 55 characters
  EXPECT_EQ(Check(target, dir, refused, false, false), TransferCheck::PathTooLong);  // 56
  EXPECT_STREQ(TransferCheckMessage(TransferCheck::PathTooLong),
               "Maximum path length exceeded.\nOperation aborted.");
  // A directory counts with its separator.
  Node* sub = src.AddDirectory(src.root(), Name(49, 'c'));
  src.AddFile(sub, "x", {});
  Items directory{sub};
  EXPECT_EQ(Check(target, dir, directory, false, false), TransferCheck::Ok);  // 4 + 50 + 1
  src.AddFile(sub, "xy", {});
  src.AddFile(sub, "xyz", {});
  Items longer{sub};
  EXPECT_EQ(Check(target, dir, longer, false, false), TransferCheck::PathTooLong);
  // The message names the first path the copy would make too long, and counts the others.
  TransferCheckInput input{&target.doc, dir, longer, false, false};
  Failure limit;
  ASSERT_EQ(CheckTransferItems(input, &limit), TransferCheck::PathTooLong);
  EXPECT_EQ(TransferCheckText(TransferCheck::PathTooLong, limit),
            "Maximum path length exceeded: \"dir/" + Name(49, 'c') +
                "/xyz\" has 57 characters, a PAK allows 55 (1 more path is too long).\nOperation aborted.");
}

TEST(TransferChecksTest, Pk3AndNewDocumentsTakeTheLongLimit) {
  for (const ArchiveFormat* format : {&DefaultFormat(), static_cast<const ArchiveFormat*>(nullptr)}) {
    Target made(format);
    TestDocument& target = *made.doc;
    TestDocument src;
    Node* a = src.AddFile(src.root(), Name(65534), {});
    Node* b = src.AddFile(src.root(), Name(65535, 'b'), {});
    Items ok{a}, refused{b};
    EXPECT_EQ(Check(target, target.root(), ok, false, false), TransferCheck::Ok);
    EXPECT_EQ(Check(target, target.root(), refused, false, false), TransferCheck::PathTooLong);
  }
}

TEST(TransferChecksTest, PakLeafLimit) {
  Target pak(&PakFormat());
  TestDocument& target = *pak.doc;
  for (int i = 0; i < 4094; ++i) target.AddFile(target.root(), "f" + std::to_string(i), {});
  TestDocument src;
  Node* dir = src.AddDirectory(src.root(), "two");
  src.AddFile(dir, "a", {});
  src.AddFile(dir, "b", {});
  Node* one = src.AddFile(src.root(), "one", {});
  Items two{dir}, three{dir, one};
  EXPECT_EQ(Check(target, target.root(), two, false, false), TransferCheck::Ok);  // 4096
  EXPECT_EQ(Check(target, target.root(), three, false, false), TransferCheck::TooManyFiles);
  EXPECT_EQ(Check(target, target.root(), three, false, true), TransferCheck::TooManyFiles);
  EXPECT_STREQ(TransferCheckMessage(TransferCheck::TooManyFiles),
               "Maximum number of files exceeded.\nOperation aborted.");
  TransferCheckInput input{&target.doc, target.root(), three, false, false};
  Failure limit;
  ASSERT_EQ(CheckTransferItems(input, &limit), TransferCheck::TooManyFiles);
  EXPECT_EQ(TransferCheckText(TransferCheck::TooManyFiles, limit),
            "Maximum number of files exceeded: \"one\" would be entry 4,097, a PAK allows 4,096.\nOperation aborted.");
  // Files replacing their namesakes add nothing.
  target.AddFile(target.root(), "one", {});
  target.AddFile(target.root(), "zz", {});  // 4096 leaves now
  Items replacing{one};
  EXPECT_EQ(Check(target, target.root(), replacing, false, false), TransferCheck::Ok);
}

TEST(TransferChecksTest, Pk3NodeLimitCountsTheRootAndDirectories) {
  Target pk3(&DefaultFormat());
  TestDocument& target = *pk3.doc;
  for (int i = 0; i < 65532; ++i) target.AddFile(target.root(), "f" + std::to_string(i), {});
  // 65533 nodes with the root; a directory with one file makes 65535.
  TestDocument src;
  Node* dir = src.AddDirectory(src.root(), "d");
  src.AddFile(dir, "a", {});
  Node* extra = src.AddFile(src.root(), "extra", {});
  Items ok{dir}, refused{dir, extra};
  EXPECT_EQ(Check(target, target.root(), ok, false, false), TransferCheck::Ok);
  EXPECT_EQ(Check(target, target.root(), refused, false, false), TransferCheck::TooManyFiles);
}

TEST(TransferChecksTest, NameClashAnywhereInAMerge) {
  TestDocument d;
  Node* from = d.AddDirectory(d.root(), "from");
  Node* maps = d.AddDirectory(from, "maps");
  d.AddFile(maps, "level", {});
  Node* to = d.AddDirectory(d.root(), "to");
  Node* toMaps = d.AddDirectory(to, "maps");
  d.AddDirectory(toMaps, "level");
  Items items{maps};
  for (bool move : {false, true}) {
    const TransferCheck got = Check(d, to, items, true, move);
    EXPECT_EQ(got, TransferCheck::NameClash);
    EXPECT_STREQ(TransferCheckCaption(got, move), move ? "Move" : "Copy");
  }
  EXPECT_STREQ(TransferCheckMessage(TransferCheck::NameClash),
               "File and directory share the same name.\nOperation aborted.");
}

TEST(TransferChecksTest, MovingADirectoryIntoItselfOrBelowIt) {
  Target pak(&PakFormat());
  TestDocument& d = *pak.doc;
  Node* a = d.AddDirectory(d.root(), "a");
  Node* b = d.AddDirectory(a, "b");
  Node* c = d.AddDirectory(b, "c");
  d.AddFile(c, "f", {});
  Items items{a};
  EXPECT_EQ(Check(d, c, items, true, true), TransferCheck::MoveIntoChild);
  EXPECT_EQ(Check(d, a, items, true, true), TransferCheck::MoveIntoSelf);
  EXPECT_STREQ(TransferCheckMessage(TransferCheck::MoveIntoChild),
               "Can't move directory to child.\nOperation aborted.");
  EXPECT_STREQ(TransferCheckMessage(TransferCheck::MoveIntoSelf),
               "Can't move directory to self.\nOperation aborted.");
  EXPECT_STREQ(TransferCheckCaption(TransferCheck::MoveIntoSelf, false), "Move");
  // A copy into its own subdirectory is allowed.
  EXPECT_EQ(Check(d, c, items, true, false), TransferCheck::Ok);
}

TEST(TransferChecksTest, MoveWithinOneArchiveIsNeverRefusedForItsCount) {
  Target pak(&PakFormat());
  TestDocument& d = *pak.doc;
  Node* from = d.AddDirectory(d.root(), "from");
  for (int i = 0; i < 4097; ++i) d.AddFile(from, "f" + std::to_string(i), {});
  Node* to = d.AddDirectory(d.root(), "to");
  Items items{from};
  EXPECT_EQ(Check(d, to, items, true, true), TransferCheck::Ok);
  EXPECT_EQ(Check(d, to, items, true, false), TransferCheck::TooManyFiles);
}

TEST(TransferChecksTest, NothingToDoIsRefusedWithoutAMessage) {
  TestDocument d;
  Node* dir = d.AddDirectory(d.root(), "dir");
  Node* file = d.AddFile(dir, "f", {});
  Items items{file};
  EXPECT_EQ(Check(d, dir, items, true, false), TransferCheck::Refused);  // its own folder
  EXPECT_EQ(Check(d, d.root(), items, true, false), TransferCheck::Ok);
  Items none{};
  EXPECT_EQ(Check(d, dir, none, true, false), TransferCheck::Refused);
  EXPECT_EQ(Check(d, nullptr, items, true, false), TransferCheck::Refused);
  EXPECT_EQ(TransferCheckMessage(TransferCheck::Refused), nullptr);
  EXPECT_EQ(TransferCheckMessage(TransferCheck::Ok), nullptr);
  // From another archive, the same-folder rule does not apply.
  TestDocument other;
  EXPECT_EQ(Check(other, other.root(), items, false, false), TransferCheck::Ok);
}
