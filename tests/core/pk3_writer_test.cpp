#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "archive/entry_data.h"
#include "archive/save.h"
#include "archive/save_pipeline.h"
#include "archive/writer_shared.h"
#include "archive/zip_source.h"
#include "archive/zip_writer.h"
#include "tests/core/sample_archives.h"
#include "tests/core/writer_support.h"
#include "transfer/core/transfer_measure.h"

namespace {

// The time and date Python stamped on every entry of the fixtures: 2001-02-03 04:05:06.
const uint16_t kFixtureTime = 4 << 11 | 5 << 5 | 3;
const uint16_t kFixtureDate = 21 << 9 | 2 << 5 | 3;

ZipListing ParseFile(const std::string& path) {
  ZipListing listing = ParseZip(FileBytes(path));
  EXPECT_TRUE(listing.ok) << listing.error;
  return listing;
}

std::map<std::string, ZipListingItem> ByName(const ZipListing& listing) {
  std::map<std::string, ZipListingItem> items;
  for (const ZipListingItem& item : listing.items) items[item.name] = item;
  return items;
}

void ExpectToolsAccept(const std::string& path) {
#ifndef _WIN32
  EXPECT_EQ(ZipToolFailures(path), "") << path;
#endif
}

// The fields every written record has, whatever its entry.
void ExpectCommonFields(const ZipListingItem& item) {
  EXPECT_EQ(item.versionMadeBy, 20) << item.name;
  EXPECT_EQ(item.versionNeeded, 20) << item.name;
  EXPECT_EQ(item.extraLength, 0) << item.name;
  EXPECT_EQ(item.commentLength, 0) << item.name;
  EXPECT_EQ(item.diskStart, 0) << item.name;
  EXPECT_EQ(item.internalAttributes, 0) << item.name;
  EXPECT_EQ(item.externalAttributes, 0u) << item.name;
  EXPECT_TRUE(item.localMatches) << item.name;
}

// The record's MS-DOS stamp lies between two readings of the clock.
void ExpectStampedBetween(const ZipListingItem& item, uint32_t before, uint32_t after) {
  const uint32_t stamp = static_cast<uint32_t>(item.date) << 16 | item.time;
  EXPECT_GE(stamp, before) << item.name;
  EXPECT_LE(stamp, after) << item.name;
}

// Every file node of the document reads from an entry of its source, a PK3.
void ExpectAllFilesInPk3(const TestDocument& doc) {
  ASSERT_NE(doc.doc.source, nullptr);
  EXPECT_EQ(&doc.doc.source->format(), &DefaultFormat());
  EXPECT_NE(dynamic_cast<const ZipSource*>(doc.doc.source.get()), nullptr);
  ExpectEachSavedFile(doc.doc);
}

// What the flag tables say, as the format describes it: each level's flags, the level each
// flag value stands for, and nothing for bits beyond them.
static_assert(ZipFlagsForLevel(0) == 0 && ZipFlagsForLevel(1) == 6 && ZipFlagsForLevel(2) == 6 &&
              ZipFlagsForLevel(3) == 4 && ZipFlagsForLevel(4) == 4 && ZipFlagsForLevel(5) == 0 &&
              ZipFlagsForLevel(6) == 0 && ZipFlagsForLevel(7) == 0 && ZipFlagsForLevel(8) == 2 &&
              ZipFlagsForLevel(9) == 2 && ZipFlagsForLevel(-1) == 0 && ZipFlagsForLevel(12) == 2);
static_assert(ZipLevelForFlags(0) == 6 && ZipLevelForFlags(2) == 9 && ZipLevelForFlags(4) == 3 &&
              ZipLevelForFlags(6) == 1 && ZipLevelForFlags(1) == 0 && ZipLevelForFlags(10) == 0 &&
              ZipLevelForFlags(0x802) == 0);

TEST(Pk3WriterTest, DosDateTimeIsTheLocalClock) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::time_t now = std::time(nullptr);
    const uint32_t value = DosDateTimeNow();
    if (std::time(nullptr) != now) continue;  // the second changed in between
    const std::tm* local = std::localtime(&now);
    const uint32_t date = (local->tm_year - 80) << 9 | (local->tm_mon + 1) << 5 | local->tm_mday;
    const uint32_t time = local->tm_hour << 11 | local->tm_min << 5 | local->tm_sec / 2;
    EXPECT_EQ(value, date << 16 | time);
    return;
  }
  FAIL() << "the clock kept moving";
}

TEST(Pk3WriterTest, DosTimesAndMomentsConvertBothWays) {
  // Even seconds from 1980 to 2107 come back as they were; the year of others is held at
  // the ends of that span.
  std::tm local{};
  local.tm_year = 2003 - 1900, local.tm_mon = 3, local.tm_mday = 5, local.tm_hour = 6, local.tm_min = 7;
  local.tm_sec = 8, local.tm_isdst = -1;
  const int64_t moment = static_cast<int64_t>(std::mktime(&local));
  const uint32_t dos = DosDateTimeOf(moment);
  EXPECT_EQ(dos, static_cast<uint32_t>(23 << 9 | 4 << 5 | 5) << 16 | (6 << 11 | 7 << 5 | 4));
  int64_t back = 0;
  ASSERT_TRUE(MomentOfDosDateTime(dos, &back));
  EXPECT_EQ(back, moment);
  EXPECT_EQ(DosDateTimeOf(moment + 1), dos);  // seconds are halved
  local.tm_year = 1975 - 1900;
  EXPECT_EQ(DosDateTimeOf(static_cast<int64_t>(std::mktime(&local))) >> 25, 0u);
  // A C library whose clock ends in 2038 (the 32-bit Windows one) cannot say: 0.
  local.tm_year = 2120 - 1900;
  const uint32_t far = DosDateTimeOf(static_cast<int64_t>(std::mktime(&local)));
  if (far != 0) {
    EXPECT_EQ(far >> 25, 127u);
  }
  // Fields that name no month, day, hour or second are no moment.
  for (uint32_t bad : {0u, static_cast<uint32_t>(23 << 9 | 13 << 5 | 5) << 16, static_cast<uint32_t>(23 << 9 | 4 << 5) << 16,
                       static_cast<uint32_t>(23 << 9 | 4 << 5 | 5) << 16 | 24 << 11,
                       static_cast<uint32_t>(23 << 9 | 4 << 5 | 5) << 16 | 30})
    EXPECT_FALSE(MomentOfDosDateTime(bad, &back)) << std::hex << bad;
}

TEST(Pk3WriterTest, EmptyRootIsTheEndRecordAlone) {
  ScratchDir dir;
  TestDocument doc;
  RecordingSaveHost window;
  const std::string path = dir.Path("empty.pk3");
  ASSERT_TRUE(SaveAs(doc, DefaultFormat(), path, window));
  std::vector<uint8_t> expected(22, 0);
  expected[0] = 'P';
  expected[1] = 'K';
  expected[2] = 5;
  expected[3] = 6;
  EXPECT_EQ(FileBytes(path), expected);
  EXPECT_EQ(doc.doc.source->Count(), 0u);
  EXPECT_NE(doc.doc.source->file(), nullptr);
  EXPECT_EQ(window.progressOpened, std::vector<uint32_t>{1});
  EXPECT_EQ(window.closes, 1);
  ExpectToolsAccept(path);
}

TEST(Pk3WriterTest, LayoutFollowsTheTreeWalk) {
  ScratchDir dir;
  TestDocument doc;
  Node* maps = doc.AddDirectory(doc.root(), "maps");
  doc.AddFile(maps, "b.bsp", TextBytes(1, 4000));
  doc.AddFile(maps, "a.bsp", Bytes("AA"));
  doc.AddFile(doc.root(), "zero.dat", {});
  doc.AddDirectory(doc.root(), "textures");

  const uint32_t before = DosDateTimeNow();
  RecordingSaveHost window;
  const std::string path = dir.Path("layout.pk3");
  const bool saved = SaveAs(doc, DefaultFormat(), path, window);
  const uint32_t after = DosDateTimeNow();
  ASSERT_TRUE(saved);
  const std::vector<uint8_t> file = FileBytes(path);
  const ZipListing listing = ParseZip(file);
  ASSERT_TRUE(listing.ok) << listing.error;
  const std::vector<std::string> names = {"textures/", "zero.dat", "maps/", "maps/a.bsp", "maps/b.bsp"};
  ASSERT_EQ(listing.items.size(), names.size());
  uint32_t offset = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    const ZipListingItem& item = listing.items[i];
    EXPECT_EQ(item.name, names[i]);
    ExpectCommonFields(item);
    // Local headers follow one another without gaps, in walk order.
    EXPECT_EQ(item.localOffset, offset) << item.name;
    offset += 30 + static_cast<uint32_t>(item.name.size()) + item.compressedSize;
    // Everything here is new: stamped with the time of the save.
    ExpectStampedBetween(item, before, after);
  }
  EXPECT_EQ(listing.centralOffset, offset);
  EXPECT_EQ(listing.entries, 5);

  for (int i : {0, 1, 2}) {
    const ZipListingItem& item = listing.items[i];
    EXPECT_EQ(item.method, 0) << item.name;
    EXPECT_EQ(item.flags, 0) << item.name;
    EXPECT_EQ(item.crc, 0u) << item.name;
    EXPECT_EQ(item.compressedSize, 0u) << item.name;
    EXPECT_EQ(item.uncompressedSize, 0u) << item.name;
  }
  const ZipListingItem& a = listing.items[3];
  EXPECT_EQ(a.method, 0);  // two bytes do not get smaller
  EXPECT_EQ(a.data, Bytes("AA"));
  EXPECT_EQ(a.crc, crc32(0, reinterpret_cast<const Bytef*>("AA"), 2));
  const ZipListingItem& b = listing.items[4];
  const std::vector<uint8_t> text = TextBytes(1, 4000);
  EXPECT_EQ(b.method, 8);
  EXPECT_EQ(b.flags, 0);
  EXPECT_EQ(b.uncompressedSize, 4000u);
  EXPECT_EQ(b.data, RawDeflate(text, 6));
  EXPECT_EQ(b.crc, crc32(0, text.data(), 4000));

  EXPECT_EQ(window.progressOpened, std::vector<uint32_t>{4});
  const std::vector<std::pair<std::string, uint32_t>> items = {
      {"zero.dat", 0}, {"maps/a.bsp", 2}, {"maps/b.bsp", 4000}};
  EXPECT_EQ(window.items, items);
  EXPECT_EQ(window.steps, 3u);

  ExpectAllFilesInPk3(doc);
  EXPECT_EQ(Contents(doc.doc)[4].bytes, text);
  ExpectToolsAccept(path);
}

// What becomes of a source entry of the fixture at one level.
enum class Outcome { Copied, Recompressed, Stored };

// An entry compressed at least as hard as asked (the same level included) keeps its bytes:
// recompressing it would cost time and, with another compressor's stream, often size.
TEST(Pk3WriterTest, CompressedBytesAreCopiedWhenAtLeastAsStrongAsAsked) {
  ScratchDir dir;
  const std::string sourcePath = FixturePath("writer/levels.pk3");
  const std::map<std::string, ZipListingItem> source = ByName(ParseFile(sourcePath));
  ASSERT_EQ(source.at("text/level9.txt").flags, 2);
  ASSERT_EQ(source.at("text/level1.txt").flags, 6);
  ASSERT_EQ(source.at("text/level3.txt").flags, 4);
  ASSERT_EQ(source.at("text/level6.txt").flags, 0);

  const struct {
    int level;
    std::map<std::string, Outcome> outcomes;
  } cases[] = {
      {0, {{"text/level9.txt", Outcome::Stored}, {"text/level6.txt", Outcome::Stored},
           {"text/level1.txt", Outcome::Stored}, {"text/level3.txt", Outcome::Stored}}},
      {1, {{"text/level9.txt", Outcome::Copied}, {"text/level6.txt", Outcome::Copied},
           {"text/level1.txt", Outcome::Copied}, {"text/level3.txt", Outcome::Copied}}},
      {3, {{"text/level9.txt", Outcome::Copied}, {"text/level6.txt", Outcome::Copied},
           {"text/level1.txt", Outcome::Recompressed}, {"text/level3.txt", Outcome::Copied}}},
      {6, {{"text/level9.txt", Outcome::Copied}, {"text/level6.txt", Outcome::Copied},
           {"text/level1.txt", Outcome::Recompressed}, {"text/level3.txt", Outcome::Recompressed}}},
      {9, {{"text/level9.txt", Outcome::Copied}, {"text/level6.txt", Outcome::Recompressed},
           {"text/level1.txt", Outcome::Recompressed}, {"text/level3.txt", Outcome::Recompressed}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("level " + std::to_string(c.level));
    TestDocument doc(sourcePath);
    ASSERT_TRUE(doc.ok());
    RecordingSaveHost window;
    const std::string path = dir.Path("level" + std::to_string(c.level) + ".pk3");
    ASSERT_TRUE(SaveAs(doc, DefaultFormat(), path, window, Options(c.level)));
    const std::map<std::string, ZipListingItem> written = ByName(ParseFile(path));
    for (const auto& [name, outcome] : c.outcomes) {
      SCOPED_TRACE(name);
      const ZipListingItem& from = source.at(name);
      const ZipListingItem& to = written.at(name);
      std::vector<uint8_t> plain;
      ASSERT_TRUE(RawInflate(from.data, from.uncompressedSize, &plain));
      // Entries of a PK3 source keep their stamp and CRC-32 whatever happens to their bytes.
      EXPECT_EQ(to.time, kFixtureTime);
      EXPECT_EQ(to.date, kFixtureDate);
      EXPECT_EQ(to.crc, from.crc);
      EXPECT_EQ(to.uncompressedSize, from.uncompressedSize);
      switch (outcome) {
        case Outcome::Copied:
          // Recompressing would have given other bytes, so equal bytes were copied. At an
          // equal level zlib remakes Python's streams byte for byte: the copy at the level
          // asked is shown below with a stream zlib does not remake.
          if (ZipLevelForFlags(from.flags) != c.level) {
            EXPECT_NE(RawDeflate(plain, c.level), from.data);
          }
          EXPECT_EQ(to.data, from.data);
          EXPECT_EQ(to.flags, from.flags);
          EXPECT_EQ(to.method, 8);
          break;
        case Outcome::Recompressed:
          EXPECT_EQ(to.data, RawDeflate(plain, c.level));
          EXPECT_EQ(to.flags, ZipFlagsForLevel(c.level));
          EXPECT_EQ(to.method, 8);
          break;
        case Outcome::Stored:
          EXPECT_EQ(to.data, plain);
          EXPECT_EQ(to.flags, 0);
          EXPECT_EQ(to.method, 0);
          break;
      }
    }
    // Random bytes do not shrink: stored at every level.
    const ZipListingItem& random = written.at("bin/stored.bin");
    EXPECT_EQ(random.method, 0);
    EXPECT_EQ(random.data, source.at("bin/stored.bin").data);
    ExpectToolsAccept(path);
  }

  // Streams made with zlib's larger memory level, which the writer's does not remake, each
  // flagged at its level: a save at that very level copies them as they are.
  for (int level : {1, 3, 6, 9}) {
    SCOPED_TRACE("the equal level " + std::to_string(level));
    const std::vector<uint8_t> plain = TextBytes(40 + level, 300000);
    ZipPlan plan = DeflatedPlan("text/equal.txt", plain, level);
    plan.stored = RawDeflate(plain, level, 9);
    plan.compressedSize = static_cast<uint32_t>(plan.stored.size());
    plan.flags = ZipFlagsForLevel(level);
    ASSERT_NE(plan.stored, RawDeflate(plain, level));
    const std::string from = dir.Path("equal" + std::to_string(level) + ".pk3");
    ASSERT_TRUE(WriteFileBytes(from, BuildZip({plan})));
    TestDocument doc(from);
    ASSERT_TRUE(doc.ok());
    RecordingSaveHost window;
    const std::string path = dir.Path("equal-saved.pk3");
    ASSERT_TRUE(SaveAs(doc, DefaultFormat(), path, window, Options(level)));
    const std::map<std::string, ZipListingItem> written = ByName(ParseFile(path));
    const ZipListingItem& to = written.at("text/equal.txt");
    EXPECT_EQ(to.data, plan.stored);
    EXPECT_EQ(to.flags, plan.flags);
  }
}

// A source entry is recompressed when its flags claim less than the level asked (bits beyond
// the table claim nothing), and keeps its own bytes after all when that does not make them
// smaller: a save never grows an entry, whoever compressed it.
TEST(Pk3WriterTest, RecompressionKeepsTheStoredBytesUnlessItGains) {
  ScratchDir dir;
  // Deflated whole at zlib's best but flagged as fast: compressed in parts again, at level
  // 9, it comes out a little larger, whether held whole or streamed.
  std::vector<ZipPlan> plans;
  for (uint32_t size : {3u << 20, kStreamedFileSize + 12345u}) {
    plans.push_back(DeflatedPlan("big/" + std::to_string(size) + ".txt", TextBytes(31, size), 9));
    plans.back().flags = ZipFlagsForLevel(1);
  }
  const std::string fastPath = dir.Path("fast.pk3");
  ASSERT_TRUE(WriteFileBytes(fastPath, BuildZip(plans)));
  const struct {
    const char* fixture;
    std::vector<int> levels;
  } sources[] = {
      {"writer/descriptor.pk3", {1, 6, 9}},  // a data descriptor follows the data: flags 8
      {"writer/stronger.pk3", {7, 9}},        // "normal", by an encoder stronger than zlib
      {nullptr, {9}},
  };
  for (const auto& source : sources) {
    const std::string sourcePath = source.fixture ? FixturePath(source.fixture) : fastPath;
    const std::map<std::string, ZipListingItem> from = ByName(ParseFile(sourcePath));
    for (int level : source.levels) {
      for (unsigned threads : {1u, 4u}) {
        SCOPED_TRACE(sourcePath + " at level " + std::to_string(level) + ", threads " + std::to_string(threads));
        TestDocument doc(sourcePath);
        ASSERT_TRUE(doc.ok());
        RecordingSaveHost window;
        const std::string path = dir.Path("kept" + std::to_string(level) + ".pk3");
        ASSERT_TRUE(SaveAs(doc, DefaultFormat(), path, window, Options(level, threads)));
        for (const auto& [name, to] : ByName(ParseFile(path))) {
          if (name.back() == '/') continue;  // the folders' own entries
          SCOPED_TRACE(name);
          const ZipListingItem& was = from.at(name);
          ASSERT_LT(ZipLevelForFlags(was.flags), level);
          std::vector<uint8_t> plain;
          ASSERT_TRUE(RawInflate(was.data, was.uncompressedSize, &plain));
          const std::vector<uint8_t> again = RawDeflate(plain, level);
          EXPECT_EQ(to.crc, was.crc);
          EXPECT_EQ(to.method, 8);
          if (again.size() < was.data.size() && plain.size() < 2 * kDeflatePartSize) {
            EXPECT_EQ(to.data, again);
            EXPECT_EQ(to.flags, ZipFlagsForLevel(level));
          } else {
            // No descriptor is written, so its flag is not either.
            EXPECT_EQ(to.data, was.data);
            EXPECT_EQ(to.flags, was.flags & ~8);
          }
        }
        ExpectToolsAccept(path);
      }
    }
  }
}

TEST(Pk3WriterTest, NewEntriesGetTheCurrentTime) {
  ScratchDir dir;
  TestDocument doc(FixturePath("writer/sample.pak"));
  ASSERT_TRUE(doc.ok());
  doc.AddPath("memory/random16.bin", RandomBytes(16, 16));
  const uint32_t before = DosDateTimeNow();
  RecordingSaveHost window;
  const std::string path = dir.Path("new.pk3");
  const bool saved = SaveAs(doc, DefaultFormat(), path, window, Options(9));
  const uint32_t after = DosDateTimeNow();
  ASSERT_TRUE(saved);
  const ZipListing listing = ParseFile(path);
  ASSERT_EQ(listing.items.size(), 10u);
  for (const ZipListingItem& item : listing.items) {
    ExpectStampedBetween(item, before, after);
    ExpectCommonFields(item);
  }
  const ZipListingItem random = ByName(listing).at("memory/random16.bin");
  EXPECT_EQ(random.method, 0);
  EXPECT_EQ(random.flags, 0);
  EXPECT_EQ(random.data, RandomBytes(16, 16));
  EXPECT_EQ(random.crc, crc32(0, random.data.data(), 16));
  const ZipListingItem text = ByName(listing).at("progs.dat");
  EXPECT_EQ(text.method, 8);
  EXPECT_EQ(text.flags, 2);
  ExpectToolsAccept(path);
}

TEST(Pk3WriterTest, RoundTripsKeepTreeAndBytesAtEveryLevel) {
  ScratchDir dir;
  const struct {
    const char* what;
    std::string fixture;
  } sources[] = {{"PAK to PK3", "writer/sample.pak"},
                 {"PK3 to PK3", "writer/levels.pk3"},
                 {"PK3 with descriptors to PK3", "writer/descriptor.pk3"}};
  for (const auto& source : sources) {
    for (int level : {0, 1, 3, 6, 9}) {
      SCOPED_TRACE(std::string(source.what) + " at level " + std::to_string(level));
      TestDocument doc(FixturePath(source.fixture));
      ASSERT_TRUE(doc.ok());
      doc.AddPath("added/text.txt", TextBytes(level, 20000));
      doc.AddPath("added/empty/", {});
      const std::vector<ItemContent> before = SortedContents(doc.doc);
      RecordingSaveHost window;
      const std::string path = dir.Path("rt" + std::to_string(level) + ".pk3");
      ASSERT_TRUE(SaveAs(doc, DefaultFormat(), path, window, Options(level)))
          << (window.messages.empty() ? "" : window.messages[0]);
      ExpectAllFilesInPk3(doc);
      EXPECT_EQ(SortedContents(doc.doc), before);
      TestDocument reopened(path);
      ASSERT_TRUE(reopened.ok());
      EXPECT_EQ(SortedContents(reopened.doc), before);
      ExpectToolsAccept(path);

      // And on again from the archive just written, as a later Save does.
      const std::string again = dir.Path("again" + std::to_string(level) + ".pk3");
      ASSERT_TRUE(SaveAs(doc, DefaultFormat(), again, window, Options(level)));
      EXPECT_EQ(SortedContents(doc.doc), before);
      EXPECT_EQ(FileBytes(again).size(), FileBytes(path).size());
    }
  }
}

void ExpectFailedSave(TestDocument& doc, const std::string& path, const std::string& message,
                      int level = 6, uint64_t limit = kArchiveSizeLimit, uint32_t cancelAfter = 0,
                      unsigned threads = 0) {
  ExpectFailedSaveOf(doc, DefaultFormat(), path, message, Options(level, threads, limit), cancelAfter);
}

TEST(Pk3WriterTest, FailuresLeaveTheDocumentAsItWas) {
  ScratchDir dir;
  // A source whose deflate streams of a and b are damaged: a save writes the source's
  // entries in their stored order, so a, stored first, is the one named.
  ZipPlan a = DeflatedPlan("maps/a.bsp", TextBytes(1, 3000), 9);
  ZipPlan b = DeflatedPlan("maps/b.bsp", TextBytes(2, 3000), 9);
  ZipPlan c = DeflatedPlan("maps/c.bsp", TextBytes(3, 3000), 9);
  for (size_t i = 0; i < b.stored.size(); i += 5) b.stored[i] ^= 0xA5;
  std::vector<ZipPlan> plans = {a, b, c};
  for (size_t i = 0; i < a.stored.size(); i += 7) plans[0].stored[i] ^= 0x5A;
  for (int i = 0; i < 6; ++i) plans.push_back(DeflatedPlan("more/" + std::to_string(i), TextBytes(i, 200000), 1));
  const std::string damagedPath = dir.Path("damaged.pk3");
  ASSERT_TRUE(WriteFileBytes(damagedPath, BuildZip(plans)));
  for (int level : {0, 9}) {
    for (unsigned threads : {1u, 4u}) {
      SCOPED_TRACE("source entries cannot be inflated, level " + std::to_string(level) + ", threads " +
                   std::to_string(threads));
      TestDocument doc(damagedPath);
      ASSERT_TRUE(doc.ok());
      // Whichever worker finishes first, the first failure in archive order is named.
      ExpectFailedSave(doc, dir.Path("out.pk3"), "Error loading maps/a.bsp: its data is damaged or missing.",
                       level, kArchiveSizeLimit, 0, threads);
    }
  }
  for (unsigned threads : {1u, 4u}) {
    // At level 1 the source's deflated entries are copied as they lie, yet each is still
    // inflated and checked on the way: a damaged one stops the save as a recompressed one
    // would, and so does a stream that inflates well to the wrong CRC-32, or an empty
    // entry whose CRC-32 is not that of no bytes.
    SCOPED_TRACE("entries copied unchanged are checked, threads " + std::to_string(threads));
    TestDocument damaged(damagedPath);
    ASSERT_TRUE(damaged.ok());
    ExpectFailedSave(damaged, dir.Path("out.pk3"), "Error loading maps/a.bsp: its data is damaged or missing.", 1,
                     kArchiveSizeLimit, 0, threads);
    ZipPlan wrong = DeflatedPlan("maps/wrong.bsp", TextBytes(5, 300000), 9);
    wrong.crc ^= 0x00010000;
    ZipPlan empty = StoredPlan("maps/empty.txt", {});
    empty.crc = 0x1234;
    const std::string wrongPath = dir.Path("wrong-crc.pk3");
    for (const std::vector<ZipPlan>& source : {std::vector<ZipPlan>{c, wrong}, std::vector<ZipPlan>{c, empty}}) {
      ASSERT_TRUE(WriteFileBytes(wrongPath, BuildZip(source)));
      TestDocument doc(wrongPath);
      ASSERT_TRUE(doc.ok());
      ExpectFailedSave(doc, dir.Path("out.pk3"),
                       "Error loading " + source[1].name + ": its data does not match its CRC-32 (the archive is damaged).",
                       1, kArchiveSizeLimit, 0, threads);
    }
  }
  {
    // Entries too large to be held are streamed when written: damage found on the way stops
    // the save as it does for any other, with the output removed.
    ZipPlan wrong = DeflatedPlan("maps/wrong.bsp", TextBytes(7, kStreamedFileSize + 4321), 1);
    wrong.crc ^= 0x00000100;
    ZipPlan broken = DeflatedPlan("maps/broken.bsp", TextBytes(8, kStreamedFileSize + 4321), 1);
    for (size_t i = broken.stored.size() / 2; i < broken.stored.size(); i += 4096) broken.stored[i] ^= 0x5A;
    const std::string hugePath = dir.Path("huge.pk3");
    const struct {
      ZipPlan plan;
      const char* why;
    } damages[] = {{wrong, "its data does not match its CRC-32 (the archive is damaged)."},
                   {broken, "its data is damaged or missing."}};
    for (const auto& damage : damages) {
      ASSERT_TRUE(WriteFileBytes(hugePath, BuildZip({c, damage.plan})));
      for (int level : {0, 9}) {
        SCOPED_TRACE("streamed " + damage.plan.name + " at level " + std::to_string(level));
        TestDocument doc(hugePath);
        ASSERT_TRUE(doc.ok());
        ExpectFailedSave(doc, dir.Path("out.pk3"), "Error loading " + damage.plan.name + ": " + damage.why, level);
      }
    }
  }
  {
    // At level 1 the entry is copied without inflating; only its location is checked.
    SCOPED_TRACE("source entry whose data lies beyond the file");
    ZipPlan far = DeflatedPlan("maps/far.bsp", TextBytes(4, 3000), 9);
    far.flags = 2;
    far.localOffset = 0x00100000;
    const std::string farPath = dir.Path("far.pk3");
    ASSERT_TRUE(WriteFileBytes(farPath, BuildZip({a, far})));
    TestDocument doc(farPath);
    ASSERT_TRUE(doc.ok());
    ExpectFailedSave(doc, dir.Path("out.pk3"),
                     "Error loading maps/far.bsp: its data is damaged or missing.", 1);
  }

  TestDocument doc(FixturePath("writer/levels.pk3"));
  ASSERT_TRUE(doc.ok());
  AddBigAndSmall(doc);
  {
    SCOPED_TRACE("output cannot be created");
    const std::string path = dir.Path("no/such/dir/out.pk3");
    ExpectFailedSave(doc, path, "Error opening " + path);
  }
  for (int level : {0, 9}) {
    SCOPED_TRACE("cancelled after the first file and after the last, level " + std::to_string(level));
    ExpectFailedSave(doc, dir.Path("cancelled.pk3"), "", level, kArchiveSizeLimit, 1);
    ExpectFailedSave(doc, dir.Path("cancelled.pk3"), "", level, kArchiveSizeLimit, CountFiles(doc.root()->firstChild()));
  }
  {
    SCOPED_TRACE("archive would pass the size its fields can describe");
    TestDocument probe(FixturePath("writer/levels.pk3"));
    AddBigAndSmall(probe);
    RecordingSaveHost window;
    const std::string path = dir.Path("probe.pk3");
    ASSERT_TRUE(SaveAs(probe, DefaultFormat(), path, window));
    const ZipListing listing = ParseFile(path);
    const uint64_t size = FileBytes(path).size();
    ExpectFailedSave(doc, dir.Path("l1.pk3"), "Error writing PK3 end of directory", 6, size - 1);
    ExpectFailedSave(doc, dir.Path("l2.pk3"), "Error writing PK3 central directory", 6,
                     listing.centralOffset + listing.centralSize - 1);
    ExpectFailedSave(doc, dir.Path("l3.pk3"), "Error writing memory/big.bin", 6, 3 << 20);
    TestDocument exact(FixturePath("writer/levels.pk3"));
    AddBigAndSmall(exact);
    ASSERT_TRUE(SaveAs(exact, DefaultFormat(), dir.Path("exact.pk3"), window, Options(6, 0, size)));
  }
#ifndef _WIN32
  {
    SCOPED_TRACE("disk full");
    ExpectFailedSave(doc, "/dev/full", "Error writing memory/big.bin", 0);
    // Small writes are buffered: the failure shows when the end record is flushed.
    TestDocument smallDoc(FixturePath("writer/levels.pk3"));
    ExpectFailedSave(smallDoc, "/dev/full", "Error writing PK3 end of directory", 9);
    TestDocument hugeDoc(FixturePath("writer/levels.pk3"));
    hugeDoc.AddPath("huge/streamed.txt", TextBytes(9, kStreamedFileSize + 1));
    for (int level : {0, 9}) ExpectFailedSave(hugeDoc, "/dev/full", "Error writing huge/streamed.txt", level);
  }
#endif
}

// The bytes of a ZIP file with the MS-DOS stamps of its local headers and central records
// cleared: two saves of the same document differ in those alone when the clock moves.
std::vector<uint8_t> WithoutStamps(std::vector<uint8_t> bytes) {
  const ZipListing listing = ParseZip(bytes);
  EXPECT_TRUE(listing.ok) << listing.error;
  size_t central = listing.centralOffset;
  for (const ZipListingItem& item : listing.items) {
    std::fill_n(bytes.begin() + item.localOffset + 10, 4, 0);
    std::fill_n(bytes.begin() + central + 12, 4, 0);
    central += 46 + item.name.size() + item.extraLength + item.commentLength;
  }
  return bytes;
}

// packed, a large entry compressed in parts, is one deflate stream of plain, within a
// fraction of a percent of compressing it whole.
void ExpectPartsJoinedIntoOneStream(const std::vector<uint8_t>& packed, const std::vector<uint8_t>& plain,
                                    int level) {
  std::vector<uint8_t> inflated;
  ASSERT_TRUE(RawInflate(packed, plain.size(), &inflated));
  EXPECT_TRUE(inflated == plain);
  const size_t whole = RawDeflate(plain, level).size();
  EXPECT_LE(packed.size(), whole + whole / 200) << whole;
}

TEST(Pk3WriterTest, EveryThreadCountWritesTheSameBytes) {
  ScratchDir dir;
  // Compressed in parts, the last one short.
  const std::vector<uint8_t> big = TextBytes(77, (3 << 20) + 12345);
  // Streamed when written, its parts the same as those of an entry held whole.
  const std::vector<uint8_t> huge = TextBytes(78, kStreamedFileSize + (1 << 20) + 77);
  for (int level : {1, 6, 9}) {
    SCOPED_TRACE("level " + std::to_string(level));
    std::vector<uint8_t> single;
    std::vector<std::pair<std::string, uint32_t>> singleItems;
    for (unsigned threads : {1u, 4u}) {
      SCOPED_TRACE(std::to_string(threads) + " threads");
      // Source entries recompressed and copied, many small entries for the workers to share,
      // one large enough to be compressed in parts, and one that does not shrink.
      TestDocument doc(FixturePath("writer/levels.pk3"));
      ASSERT_TRUE(doc.ok());
      for (int i = 0; i < 40; ++i) doc.AddPath("many/t" + std::to_string(i) + ".txt", TextBytes(i, 1000 + i * 997));
      doc.AddPath("big/text.txt", big);
      doc.AddPath("big/streamed.txt", huge);
      AddBigAndSmall(doc);
      const std::vector<ItemContent> before = SortedContents(doc.doc);
      RecordingSaveHost window;
      const std::string path = dir.Path("t" + std::to_string(threads) + "-" + std::to_string(level) + ".pk3");
      ASSERT_TRUE(SaveAs(doc, DefaultFormat(), path, window, Options(level, threads)))
          << (window.messages.empty() ? "" : window.messages[0]);
      EXPECT_EQ(SortedContents(doc.doc), before);
      const std::vector<uint8_t> bytes = WithoutStamps(FileBytes(path));
      ExpectPartsJoinedIntoOneStream(ByName(ParseZip(bytes)).at("big/text.txt").data, big, level);
      ExpectPartsJoinedIntoOneStream(ByName(ParseZip(bytes)).at("big/streamed.txt").data, huge, level);
      EXPECT_EQ(window.steps, window.items.size());
      if (threads == 1) {
        single = bytes;
        singleItems = window.items;
        continue;
      }
      EXPECT_TRUE(bytes == single);
      // The dialog shows the entries in archive order, whoever compressed them.
      EXPECT_EQ(window.items, singleItems);
      ExpectToolsAccept(path);
    }
  }
}

TEST(SavePipelineTest, BytesInFlightStayWithinTheBudgetOrTwoEntries) {
  SavePipeline pipeline(2, 100);
  const auto push = [&](uint64_t cost) {
    auto item = std::make_unique<SaveItem>();
    item->cost = cost;
    pipeline.Push(std::move(item));
  };
  EXPECT_TRUE(pipeline.Admits(500));  // alone, any entry goes
  push(500);
  EXPECT_TRUE(pipeline.Admits(300));  // and one beside it
  push(300);
  EXPECT_FALSE(pipeline.Admits(0));
  pipeline.PopFront();
  pipeline.PopFront();
  push(60);
  push(30);
  EXPECT_TRUE(pipeline.Admits(10));
  EXPECT_FALSE(pipeline.Admits(11));
  push(10);
  EXPECT_TRUE(pipeline.Admits(0));
  EXPECT_FALSE(pipeline.Admits(1));
  pipeline.PopFront();
  EXPECT_TRUE(pipeline.Admits(60));
  EXPECT_FALSE(pipeline.Admits(61));
  pipeline.PopFront();
  pipeline.PopFront();

  // Work runs on a worker and leaves its result in the entry: a small entry compressed
  // whole, a large one in parts that both workers share, and a large one that does not
  // shrink, which is stored.
  const std::vector<uint8_t> small = TextBytes(3, 100000);
  const std::vector<uint8_t> large = TextBytes(4, (5 << 20) + 777);
  const std::vector<uint8_t> noise = RandomBytes(5, 3 << 20);
  for (const std::vector<uint8_t>* text : {&small, &large, &noise}) {
    SCOPED_TRACE(text->size());
    auto item = std::make_unique<SaveItem>();
    const SharedBytes input = EntryBuffer::Copy(text->data(), text->size());
    ASSERT_NE(input, nullptr);
    item->work.input = input;
    item->work.computeCrc = true;
    item->work.level = 6;
    item->needsWork = true;
    pipeline.Push(std::move(item));
    while (!pipeline.WaitFront(std::chrono::milliseconds(30))) {
    }
    const EntryWork& done = pipeline.Front().work;
    EXPECT_EQ(done.load, EntryLoad::Ok);
    EXPECT_EQ(done.crc, crc32(0, text->data(), static_cast<uInt>(text->size())));
    const std::vector<uint8_t> packed =
        done.packed ? std::vector<uint8_t>(done.packed->data(), done.packed->data() + done.packedSize)
                    : std::vector<uint8_t>();
    if (text == &small) {
      EXPECT_EQ(packed, RawDeflate(small, 6));
    } else if (text == &large) {
      ExpectPartsJoinedIntoOneStream(packed, large, 6);
    } else {
      EXPECT_EQ(done.packed, nullptr);
      // Stored as it is: the plain bytes are the input's own, not a copy.
      EXPECT_EQ(done.plain, input);
    }
    pipeline.PopFront();
  }
}

TEST(Pk3WriterTest, FormatLimitsAreNeverPassed) {
  ScratchDir dir;
  {
    SCOPED_TRACE("65535 nodes with the root");
    TestDocument doc;
    for (int i = 0; i < 65534; ++i) doc.AddFile(doc.root(), "f" + std::to_string(i), {});
    RecordingSaveHost window;
    ASSERT_TRUE(SaveAs(doc, DefaultFormat(), dir.Path("full.pk3"), window));
    EXPECT_EQ(doc.doc.source->Count(), 65534u);
    ExpectToolsAccept(dir.Path("full.pk3"));
    doc.AddFile(doc.root(), "one-more", {});
    ExpectFailedSave(doc, dir.Path("over.pk3"), kMaxFiles);
  }
  {
    SCOPED_TRACE("path lengths");
    TestDocument doc;
    Node* d = doc.AddDirectory(doc.root(), std::string(1000, 'd'));
    Node* file = doc.AddFile(d, std::string(65534 - 1001, 'f'), Bytes("x"));
    RecordingSaveHost window;
    ASSERT_TRUE(SaveAs(doc, DefaultFormat(), dir.Path("long.pk3"), window));
    const ZipSource* saved = dynamic_cast<const ZipSource*>(doc.doc.source.get());
    ASSERT_NE(saved, nullptr);
    ASSERT_NE(file->source(), nullptr);
    EXPECT_EQ(saved->Record(file->source()->index).Get16(zipc::kNameLength), 65534);
    doc.AddFile(d, std::string(65534 - 1000, 'g'), Bytes("y"));
    ExpectFailedSave(doc, dir.Path("longer.pk3"), kMaxPath);
  }
}

#ifndef _WIN32
TEST(Pk3WriterTest, ToolChecksCatchADamagedArchive) {
  ScratchDir dir;
  TestDocument doc;
  doc.AddPath("a/text.txt", TextBytes(5, 5000));
  RecordingSaveHost window;
  const std::string path = dir.Path("good.pk3");
  ASSERT_TRUE(SaveAs(doc, DefaultFormat(), path, window));
  EXPECT_EQ(ZipToolFailures(path), "");
  std::vector<uint8_t> bytes = FileBytes(path);
  const ZipListing listing = ParseZip(bytes);
  ASSERT_EQ(listing.items.size(), 2u);
  // One byte of the deflated data changed: every checker must notice.
  bytes[listing.items[1].localOffset + 30 + 10 + 100] ^= 0x01;
  const std::string bad = dir.Path("bad.pk3");
  ASSERT_TRUE(WriteFileBytes(bad, bytes));
  EXPECT_EQ(ZipToolFailures(bad), "unzip -t, 7z t, bsdtar -xOf, zipfile.testzip");
}
#endif

TEST(Pk3WriterTest, EntriesOutsideTheSource) {
  ScratchDir dir;
  for (const char* source : {"writer/sample.pak", "writer/levels.pk3"}) {
    SCOPED_TRACE(source);
    TestDocument doc(FixturePath(source));
    ASSERT_TRUE(doc.ok());
    // An entry the document's source does not hold, as one of another archive's would be.
    PoseAsForeignEntry(doc, doc.AddPath("maps/foreign.bsp", Bytes("x")));
    ExpectFailedSave(doc, dir.Path("a.pk3"), "No such file maps/foreign.bsp");
  }
}

}  // namespace
